// A path name as the head text of a record being written.
#pragma once

#include <cstddef>

#include "core/types.hpp"

// A path name as the head text of a record, from one pass over it: its
// form (quoted when it holds a blank, tab or vertical tab), its length, and
// the characters it takes as head text with the blank that may follow it.
// Refused when it cannot be written so that it reads back unchanged: empty
// (a record without path has no kind), with a line feed, with a semicolon
// that has no backslash before it, or both quoted and ending in a backslash.
struct tPathText {
    enum Form { Refused, Plain, Quoted };
    const char* path;
    std::size_t length;
    std::size_t size;
    Form form;
};
tPathText tiPathText(const char* path);
// True for a head text that must not end its line: a final backslash would
// continue it, a final carriage return would be taken as part of the line
// end.
bool tiHeadNeedsBlank(const char* text);
// Where the reader ends the content of the line text: at its first ';'
// that has no backslash before it (a trailing comment), else at its end.
const char* tiContentEnd(const char* text);
// Makes the path the head text of the current record; 0 without a line, for
// a refused path, or when the text would not fit the line (callers test its
// size first).
int tiSetPath(ckpInfo* info, const tPathText& text);
