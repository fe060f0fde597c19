// Text operations by the character classes of the syntax, shared by the
// reader's scanner and the writer.
#include "core/text_scan.hpp"

#include <cstring>
#include <limits>

#include "core/syntax_chars.hpp"

namespace {
bool isEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}
} // namespace

// The text operations take a text of either constness and hand back a
// pointer into it of the same constness; both kinds are made here.
template <class Char> Char* tiFindChar(int c, Char* text) {
    if (isEmpty(text)) {
        return text;
    }
    Char* hit = std::strchr(text, c);
    return hit != nullptr && c != '\0' ? hit : text + std::strlen(text);
}

template <class Char> Char* tiSkipBlanks(Char* text) {
    if (isEmpty(text)) {
        return text;
    }
    while (tiIsBlank(uc(text))) {
        ++text;
    }
    return text;
}

template <class Char> Char* tiSkipWord(Char* text) {
    if (isEmpty(text)) {
        return text;
    }
    while (*text != '\0' && !tiIsBlank(uc(text))) {
        ++text;
    }
    return text;
}

template <class Char> Char* tiSkipName(Char* text) {
    if (isEmpty(text)) {
        return text;
    }
    while (tiIsWordChar(uc(text))) {
        ++text;
    }
    return text;
}

template <class Char> int tiScanInt(Char** pos, int def) {
    if (pos == nullptr || *pos == nullptr || !tiIsDigit(uc(*pos))) {
        return def;
    }
    // A number too large for an int reads as INT_MAX: wrapped, it could
    // pass for a small one (4294967297 for 1).
    constexpr int most = std::numeric_limits<int>::max();
    int value = 0;
    Char* p = *pos;
    for (; tiIsDigit(uc(p)); ++p) {
        int digit = *p - '0';
        value = value > (most - digit) / 10 ? most : value * 10 + digit;
    }
    *pos = p;
    return value;
}

template char* tiFindChar(int c, char* text);
template const char* tiFindChar(int c, const char* text);
template char* tiSkipBlanks(char* text);
template const char* tiSkipBlanks(const char* text);
template char* tiSkipWord(char* text);
template const char* tiSkipWord(const char* text);
template char* tiSkipName(char* text);
template const char* tiSkipName(const char* text);
template int tiScanInt(char** pos, int def);
template int tiScanInt(const char** pos, int def);
