" Vim syntax file for checkpoint files (*.ckpt, *.Ckpt, *.setup): a header
" record, then records of a path and properties, with ';' comments and
" backslash continuation.
if exists('b:current_syntax')
  finish
endif

" Of items that match at the same place, the one defined last wins: general
" items come first, the path of a record and the header after them.
syntax match ckpComment /;.*$/ contains=@Spell
syntax match ckpCommentLine /^[ \t\x0b]*;.*$/ contains=@Spell

syntax match ckpName /\<[A-Za-z0-9_]\+\>/ contained
syntax match ckpQualifier /\<\(WRXinc\|WRXc\|WRXsd\)\>=\@!/ contained
syntax match ckpAssign /=\ze"/ contained
syntax region ckpValue start=/"/ skip=/\\./ end=/"\|\ze;\|$/ contained oneline
      \ contains=ckpEscape
syntax match ckpEscape /\\["\\;]/ contained
syntax match ckpContinuation /\\[ \t\x0b]*\ze\(;.*\)\=$/ contained
      \ nextgroup=ckpComment skipwhite
syntax cluster ckpBody
      \ contains=ckpContinuation,ckpCommentLine,ckpQualifier,ckpName,ckpAssign,ckpValue

" A record runs from its path to a line end that no backslash continues;
" comment and blank lines inside a continued record belong to it. A comment
" that follows no continuing backslash ends the record.
syntax region ckpRecord matchgroup=ckpPath
      \ start=/^[ \t\x0b]*\zs\(\\;\|[^ \t\x0b;\\"]\)\(\\;\|[^ \t\x0b;]\)*/
      \ skip=/\\[ \t\x0b]*\(;.*\)\=$\|^[ \t\x0b]*\(;.*\)\=$/ end=/$\|\\\@<!\ze;/
      \ contains=@ckpBody keepend
syntax region ckpRecord matchgroup=ckpQuotedPath start=/^[ \t\x0b]*\zs"\(\\"\|[^"]\)*"/
      \ skip=/\\[ \t\x0b]*\(;.*\)\=$\|^[ \t\x0b]*\(;.*\)\=$/ end=/$\|\\\@<!\ze;/
      \ contains=@ckpBody keepend
syntax region ckpHeader matchgroup=ckpHeaderKeyword start=/^WRXCHECKPOINT\ze=/
      \ skip=/\\[ \t\x0b]*\(;.*\)\=$\|^[ \t\x0b]*\(;.*\)\=$/ end=/$\|\\\@<!\ze;/
      \ contains=@ckpBody keepend

highlight default link ckpComment Comment
highlight default link ckpCommentLine Comment
highlight default link ckpHeaderKeyword PreProc
highlight default link ckpPath Identifier
highlight default link ckpQuotedPath Identifier
highlight default link ckpContinuation Special
highlight default link ckpQualifier Keyword
highlight default link ckpName Type
highlight default link ckpAssign Operator
highlight default link ckpValue String
highlight default link ckpEscape SpecialChar

let b:current_syntax = 'checkpoint'
