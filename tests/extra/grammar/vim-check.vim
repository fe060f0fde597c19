" Run by check-editors.sh: vim -u NONE -N -es -S vim-check.vim -- FILE
" Opens the sample with the checkpoint syntax and compares the syntax group
" at each case's token with the expected one; writes the results to
" $CKP_VIM_RESULT.
let s:cases = [
      \ [1, 'WRXCHECKPOINT', 'ckpHeaderKeyword'],
      \ [2, '; the cells', 'ckpCommentLine'],
      \ [3, 'lib/inv', 'ckpPath'],
      \ [3, 'type', 'ckpName'],
      \ [3, '"cell"', 'ckpValue'],
      \ [3, '; why', 'ckpComment'],
      \ [4, '"my dir/f \" x"', 'ckpQuotedPath'],
      \ [4, '\;', 'ckpEscape'],
      \ [5, 'WRXinc', 'ckpQualifier'],
      \ [6, '\ ', 'ckpContinuation'],
      \ [6, '; note', 'ckpComment'],
      \ [7, '; skipped', 'ckpCommentLine'],
      \ [8, 'next', 'ckpName'],
      \ [9, 'b/c', 'ckpPath'],
      \ [9, 'k2', 'ckpName'],
      \ ]
let s:out = []
for [s:lnum, s:token, s:group] in s:cases
  let s:col = stridx(getline(s:lnum), s:token) + 1
  let s:got = s:col > 0 ? synIDattr(synID(s:lnum, s:col, 1), 'name') : 'no such token'
  call add(s:out, (s:got ==# s:group ? 'ok ' : 'FAIL ') . s:lnum . ' ' . s:token . ': '
        \ . s:group . (s:got ==# s:group ? '' : ', got ' . s:got))
endfor
call writefile(s:out, $CKP_VIM_RESULT)
qall!
