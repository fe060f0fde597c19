" Checkpoint files: *.ckpt, *.Ckpt and setup files.
autocmd BufNewFile,BufRead *.ckpt,*.Ckpt,*.setup setfiletype checkpoint
