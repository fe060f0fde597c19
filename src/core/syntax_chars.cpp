// The reserved keywords and the character classes of the syntax.
#include "core/syntax_chars.hpp"

#include <cctype>

const char* const ckpKeywords[kwCount] = {
    "WRXCHECKPOINT", "WRXo", "WRXlist", "WRXtype", "WRXv",
    "WRXb",          "WRXd", "WRXc",    "WRXsd",   "WRXinc",
};

// Beyond ASCII the current locale's tables decide; a value outside unsigned
// char (EOF, or a sign-extended byte) is never a word character.
int tiIsWordCharOutsideAscii(int c) {
    if (c < 0 || c > 255) {
        return 0;
    }
    return std::isalnum(c) ? 1 : 0;
}
