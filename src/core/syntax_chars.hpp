// Constants of the checkpoint file syntax and the reserved keyword table.
#pragma once

// The reserved keywords; their order is their index.
enum ckpKeyword {
    kwCheckpoint = 0, // "WRXCHECKPOINT", the header keyword
    kwO = 1,          // "WRXo", operation of a syntax-0 record
    kwList = 2,       // "WRXlist", reserved
    kwType = 3,       // "WRXtype", reserved
    kwV = 4,          // "WRXv", version number of a syntax-0 record
    kwB = 5,          // "WRXb", binding of a syntax-0 record
    kwD = 6,          // "WRXd", reserved
    kwC = 7,          // "WRXc", path qualifier: config path
    kwSd = 8,         // "WRXsd", path qualifier: subdirectory
    kwInc = 9,        // "WRXinc", path qualifier: include record
    kwCount = 10
};

// The keywords' texts, by ckpKeyword.
extern const char* const ckpKeywords[kwCount];

// Character classes of the syntax. Word characters follow the runtime's
// character tables (isalnum) plus '_'. They are asked for every character
// read, so the ASCII range is answered inline; the locale decides the rest.

// 1 for a blank, tab or vertical tab.
inline int tiIsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\v';
}
// 1 for a word character beyond ASCII (up to 255) by the locale's tables.
int tiIsWordCharOutsideAscii(int c);
// 1 for a word character: a letter or digit, or '_'.
inline int tiIsWordChar(int c) {
    if (c >= 0 && c < 0x80) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_'
                   ? 1
                   : 0;
    }
    return tiIsWordCharOutsideAscii(c);
}
// 1 for an ASCII digit.
inline int tiIsDigit(int c) {
    return c >= '0' && c <= '9' ? 1 : 0;
}
// The character at p as the classes above take it (0..255).
inline int uc(const char* p) {
    return static_cast<unsigned char>(*p);
}
