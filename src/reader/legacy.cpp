// The positional fields of a syntax-version-0 record, all on the line that
// holds the path: <WRX_version> <binding> [rollback|branch]
// [<PYXE_version> [checkout]].
#include "reader/legacy.hpp"

#include "core/error.hpp"
#include "core/props.hpp"
#include "core/strmatch.hpp"
#include "core/syntax_chars.hpp"
#include "reader/scanner.hpp"

namespace {
// Field words are compared case-blind by the shared matcher.
bool isWord(const char* word, const char* expected) {
    return tiStrMatch(word, "*", expected) != 0;
}

// Adds a field property on the current line; when it cannot be made the
// cursor goes to the field's word and the record is a syntax error.
int addField(ckpInfo* info, const char* name, const char* value, char* word) {
    if (tiAddProp(info->read.line, tiWarnDup, name, value) != nullptr) {
        return 1;
    }
    info->read.pos = word;
    tiSetSyntax(info, nullptr);
    return 0;
}

int parseVersionNumber(ckpInfo* info) {
    char buffer[ckpLineSize];
    int n = 0;
    char* start = tiSkipBlanks(info->read.pos);
    char* p = start;
    for (; *p != '\0' && !tiIsBlank(uc(p)); ++p) {
        if (!tiIsDigit(uc(p))) {
            info->read.pos = p;
            tiSetSyntax(info, "use <non-negative integer> for <WRX_version>");
            return 0;
        }
        buffer[n++] = *p;
    }
    info->read.pos = p;
    if (n == 0) {
        tiSetSyntax(info, "missing <WRX_version>");
        return 0;
    }
    buffer[n] = '\0';
    return addField(info, ckpKeywords[kwV], buffer, start);
}

int parseBinding(ckpInfo* info) {
    char word[ckpLineSize];
    char* start = tiGetWord(info, word);
    if (start == nullptr) {
        tiSetSyntax(info, "missing <binding>");
        return 0;
    }
    const char* binding = isWord(word, "static")    ? "static"
                          : isWord(word, "dynamic") ? "dynamic"
                                                    : nullptr;
    if (binding == nullptr) {
        info->read.pos = start;
        tiSetSyntax(info, "use static or dynamic for <binding>");
        return 0;
    }
    return addField(info, ckpKeywords[kwB], binding, start);
}
} // namespace

int tiIsVersionPair(const char* text) {
    if (text == nullptr || !tiIsDigit(uc(text))) {
        return 0;
    }
    while (tiIsDigit(uc(text))) {
        ++text;
    }
    if (*text != '.' || !tiIsDigit(uc(text + 1))) {
        return 0;
    }
    ++text;
    while (tiIsDigit(uc(text))) {
        ++text;
    }
    return *text == '\0' ? 1 : 0;
}

int tiParseLegacy(ckpInfo* info) {
    if (!parseVersionNumber(info) || !parseBinding(info)) {
        return 0;
    }
    char word[ckpLineSize];
    char* start = tiGetWord(info, word);
    if (start == nullptr) {
        return 1;
    }
    bool usedUp = false;
    if (isWord(word, "rollback")) {
        if (!addField(info, ckpKeywords[kwO], "reset_default", start)) {
            return 0;
        }
        usedUp = true;
    } else if (isWord(word, "branch")) {
        usedUp = true;
    }
    if (usedUp) {
        start = tiGetWord(info, word);
        if (start == nullptr) {
            return 1;
        }
    }
    if (!tiIsVersionPair(word)) {
        info->read.pos = start;
        tiSetSyntax(info, "use <major>.<minor> for <PYXE_version>");
        return 0;
    }
    if (!addField(info, CKP_PROP_PYXE_VERSION, word, start)) {
        return 0;
    }
    start = tiGetWord(info, word);
    if (start == nullptr) {
        return 1;
    }
    if (isWord(word, "checkout")) {
        if (!addField(info, ckpKeywords[kwO], "co", start)) {
            return 0;
        }
    } else {
        info->read.pos = start;
    }
    info->read.pos = tiSkipBlanks(info->read.pos);
    if (*info->read.pos == '\0') {
        return 1;
    }
    tiSetSyntax(info, "unrecognized field");
    return 0;
}
