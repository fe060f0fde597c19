// The reserved keywords and the character classes of the syntax.
#include "reader/syntax.hpp"

#include <cctype>

const char* const ckpKeywords[kwCount] = {
    "WRXCHECKPOINT", "WRXo", "WRXlist", "WRXtype", "WRXv",
    "WRXb",          "WRXd", "WRXc",    "WRXsd",   "WRXinc",
};

int tiIsBlank(int c) { return c == ' ' || c == '\t' || c == '\v'; }

// Word characters follow the runtime's tables in the current locale; a value
// outside unsigned char (EOF, or a sign-extended byte) is never one.
int tiIsWordChar(int c) {
    if (c < 0 || c > 255) {
        return 0;
    }
    return c == '_' || std::isalnum(c) ? 1 : 0;
}

int tiIsDigit(int c) {
    if (c < 0 || c > 255) {
        return 0;
    }
    return std::isdigit(c) ? 1 : 0;
}
