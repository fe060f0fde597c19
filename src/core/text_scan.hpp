// Text operations by the character classes of the syntax: finding, skipping
// and reading numbers in a line's text.
#pragma once

// Text operations on a text of either constness (char or const char), each
// returning a pointer into the same text; a null or empty text comes back
// unchanged.
// The first c in text, or its end when there is none (or c is 0).
template <class Char> Char* tiFindChar(int c, Char* text);
// Past the blanks (blank, tab, vertical tab) at the start of text.
template <class Char> Char* tiSkipBlanks(Char* text);
// Past the run of characters other than blanks at the start of text.
template <class Char> Char* tiSkipWord(Char* text);
// Past the run of word characters at the start of text.
template <class Char> Char* tiSkipName(Char* text);
// Reads a run of digits at *pos as a decimal value, INT_MAX for one that
// does not fit an int, and moves *pos past it; returns def and leaves *pos
// when there is no digit.
template <class Char> int tiScanInt(Char** pos, int def);
