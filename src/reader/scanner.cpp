// The line scanner: a cursor over the lines of the current record that skips
// blanks, reads words and tokens and crosses into a continuation line only
// where a line ends and is continued.
#include "reader/scanner.hpp"

#include <cstring>

#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/syntax_chars.hpp"

namespace {
bool isEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}
} // namespace

int tiNextLine(ckpInfo* info, int skip) {
    ckpLine* line = info->read.line;
    if (line == nullptr || !line->continued || line->next == nullptr) {
        return 0;
    }
    info->read.line = line->next;
    info->read.pos = skip ? tiSkipBlanks(line->next->text) : line->next->text;
    return 1;
}

int tiPeekSlow(ckpInfo* info, int c) {
    if (info == nullptr || info->read.line == nullptr || info->read.pos == nullptr) {
        return 0;
    }
    info->read.pos = tiSkipBlanks(info->read.pos);
    // Only one line end is crossed per call: an empty continuation line
    // leaves the cursor at its end.
    if (*info->read.pos == '\0' && !tiNextLine(info, tiSkipLeadingBlanks)) {
        return 0;
    }
    if (c == 0) {
        return 1;
    }
    return uc(info->read.pos) == (c & 0xFF) ? 1 : 0;
}

char* tiGetWord(ckpInfo* info, char* buffer) {
    buffer[0] = '\0';
    if (info == nullptr || info->read.pos == nullptr) {
        return nullptr;
    }
    info->read.pos = tiSkipBlanks(info->read.pos);
    char* start = info->read.pos;
    int n = 0;
    // A line's text holds at most 511 characters, so a 512-byte buffer
    // always takes the word; the bound keeps that true whatever the text.
    while (*info->read.pos != '\0' && !tiIsBlank(uc(info->read.pos)) && n < ckpLineSize - 1) {
        buffer[n++] = *info->read.pos++;
    }
    buffer[n] = '\0';
    return n > 0 ? start : nullptr;
}

namespace {
// One token character against one text character under the mode's rule.
bool tokenCharMatches(char rule, int token, int text) {
    switch (rule) {
    case '.':
        return token == text;
    case 'L':
        return (token >= 'A' && token <= 'Z' ? token + 32 : token) == text;
    case 'U':
        return (token >= 'a' && token <= 'z' ? token - 32 : token) == text;
    default: {
        int t = token >= 'a' && token <= 'z' ? token - 32 : token;
        int x = text >= 'a' && text <= 'z' ? text - 32 : text;
        return t == x;
    }
    }
}
} // namespace

int tiMatchToken(ckpInfo* info, const char* mode, const char* token) {
    if (info == nullptr || info->read.pos == nullptr || token == nullptr) {
        return 0;
    }
    info->read.pos = tiSkipBlanks(info->read.pos);
    if (isEmpty(mode)) {
        mode = "*+";
    }
    const char* text = info->read.pos;
    const char* t = token;
    for (; *t != '\0'; ++t, ++text) {
        if (*text == '\0' || !tokenCharMatches(mode[0], uc(t), uc(text))) {
            return 0;
        }
    }
    if (tiIsWordChar(uc(text))) {
        return 0;
    }
    if (mode[1] == '+') {
        info->read.pos += t - token; // text and token were walked together
    }
    return 1;
}

namespace {
void restore(ckpInfo* info, ckpLine* line, char* pos) {
    info->read.line = line;
    info->read.pos = pos;
}

// Places the cursor on a value after the token's name: past `=` and the
// opening quote when both follow, else just after the name.
void stepToValue(ckpInfo* info) {
    info->read.pos = tiSkipName(info->read.pos);
    ckpLine* line = info->read.line;
    char* afterName = info->read.pos;
    if (tiPeek(info, '=')) {
        ++info->read.pos;
        if (tiPeek(info, '"')) {
            ++info->read.pos;
            return;
        }
    }
    restore(info, line, afterName);
}
} // namespace

int tiScanForToken(ckpInfo* info, const char* token, int wantValue) {
    ckpLine* first = info->files.top->firstLine;
    char* fallback = first->headEnd != nullptr ? first->headEnd : first->text;
    info->read.line = first;
    info->read.pos = tiSkipBlanks(first->text);
    if (*info->read.pos == '\0') {
        restore(info, first, fallback);
        return 0;
    }
    while (!tiMatchToken(info, ".-", token)) {
        info->read.pos = tiSkipWord(info->read.pos);
        if (*info->read.pos == '\0') {
            restore(info, first, fallback);
            return 0;
        }
    }
    if (wantValue) {
        stepToValue(info);
    }
    return 1;
}

void tiSetSyntax(ckpInfo* info, const char* message) {
    if (info == nullptr) {
        tiPrintMsg(nullptr, "no ti_struct in tiSetSyntax");
        return;
    }
    info->record.type = ckpTypeSyntax;
    const char* text = isEmpty(message) ? tiErrorText() : message;
    if (!tiReplaceStr(&info->record.syntaxMsg, text)) {
        // Without memory for the copy the message is still recorded.
        tiSetError(text);
        return;
    }
    tiSetError(info->record.syntaxMsg);
}
