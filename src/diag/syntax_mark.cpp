// Showing the last syntax error of a handle: a report line, the faulty line
// and a marker under the faulty place.
#include <cstdint>
#include <cstring>

#include "core/error.hpp"
#include "diag/compose.hpp"
#include "diag/report.hpp"

#include "ckp/ckpx.h"

namespace {
void printMessageLine(const char* message) {
    tiText text;
    tiTextInit(&text);
    tiTextFormat(&text, "%s\n", message);
    tiPrintMsg(nullptr, text.data);
    tiTextFree(&text);
}

// The number shown for the faulty line: every line the reader read knows
// its own physical line number, the first line of a record as well as its
// continuation lines. A line made otherwise shows the running count.
std::int64_t faultyLineNumber(const ckpLine* line) {
    return line->physLine > 0 ? line->physLine : line->lineNumber;
}

// The cursor's offset in the line's text; a cursor outside the text counts
// as standing at its end.
std::size_t cursorOffset(const ckpInfo* info, const ckpLine* line) {
    std::size_t len = std::strlen(line->text);
    const char* cursor = info->read.pos;
    if (cursor == nullptr || cursor < line->text || cursor > line->text + len) {
        return len;
    }
    return static_cast<std::size_t>(cursor - line->text);
}

// The line's text with tabs shown as blanks (so that the marker's columns
// match), without a final line feed. *column receives the count of
// characters before the cursor since the last line feed inside the text.
void printEcho(const ckpLine* line, std::size_t offset, std::size_t* column) {
    char echo[ckpLineSize];
    std::size_t len = std::strlen(line->text);
    std::size_t c = 0;
    for (std::size_t i = 0; i < len; ++i) {
        char ch = line->text[i];
        echo[i] = ch == '\t' ? ' ' : ch;
        if (i < offset) {
            ++c;
            if (ch == '\n' && i + 1 < len) {
                c = 0;
            }
        }
    }
    if (len > 0 && echo[len - 1] == '\n') {
        --len;
    }
    echo[len] = '\0';
    *column = c;
    tiPrintMsg(nullptr, echo);
}

// The message goes left of the caret when it fits there, else right of it.
void printMarker(const char* message, std::size_t column, std::size_t offset) {
    std::size_t width = std::strlen(message) + 3;
    tiText text;
    tiTextInit(&text);
    if (column >= width) {
        tiTextRepeat(&text, ' ', column - width);
        tiTextAppend(&text, message, std::strlen(message));
        tiTextAppend(&text, " --^", 4);
    } else {
        tiTextRepeat(&text, ' ', offset);
        tiTextAppend(&text, "^-- ", 4);
        tiTextAppend(&text, message, std::strlen(message));
    }
    tiPrintMsg(nullptr, text.data);
    tiTextFree(&text);
}
} // namespace

extern "C" {

void ckpSyntax(ckpInfo* info) {
    const char* message =
        info != nullptr && info->record.syntaxMsg != nullptr ? info->record.syntaxMsg : "";
    ckpFile* file = nullptr;
    if (!tiCheckFile(info, tiGuardReport, "ckpSyntax", &file)) {
        printMessageLine(message);
        return;
    }
    const ckpLine* line = info->read.line;
    if (line == nullptr) {
        printMessageLine(message);
        tiPrintMsg(nullptr, "no ckpLine in ckpSyntax\n");
        return;
    }
    if (info->record.syntaxMsg == nullptr) {
        return;
    }
    tiReportLine(file, nullptr, faultyLineNumber(line), "-- Error", "--");
    std::size_t offset = cursorOffset(info, line);
    std::size_t column = 0;
    printEcho(line, offset, &column);
    printMarker(message, column, offset);
}

int ckpxSyntaxError(ckpInfo* info, long long* lineOut, int* columnOut, const char** messageOut,
                    const char** textOut) {
    long long line = 0;
    int column = 0;
    const char* message = nullptr;
    const char* text = nullptr;
    ckpFile* file = nullptr;
    int ok = tiCheckFile(info, tiGuardQuiet, "ckpxSyntaxError", &file);
    const ckpLine* faulty = ok ? info->read.line : nullptr;
    ok = faulty != nullptr && info->record.syntaxMsg != nullptr &&
         info->record.type == ckpTypeSyntax;
    if (ok) {
        line = faultyLineNumber(faulty);
        // The text up to the cursor, counted from the last line feed in it,
        // as the marker counts it.
        std::size_t offset = cursorOffset(info, faulty);
        std::size_t start = 0;
        for (std::size_t i = 0; i < offset; ++i) {
            if (faulty->text[i] == '\n' && faulty->text[i + 1] != '\0') {
                start = i + 1;
            }
        }
        column = static_cast<int>(offset - start) + 1;
        message = info->record.syntaxMsg;
        text = faulty->text;
    }
    if (lineOut != nullptr) {
        *lineOut = line;
    }
    if (columnOut != nullptr) {
        *columnOut = column;
    }
    if (messageOut != nullptr) {
        *messageOut = message;
    }
    if (textOut != nullptr) {
        *textOut = text;
    }
    return ok;
}
}
