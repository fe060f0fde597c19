// Reports framed with the current file's name and line number, and the
// printing of the current record's text.
#include <cinttypes>

#include "core/error.hpp"
#include "core/handle.hpp"
#include "diag/compose.hpp"
#include "diag/report.hpp"

#include "ckp/ckpx.h"

namespace {
int printText(std::FILE* stream, tiText* text) {
    int result = tiPrintMsg(stream, text->data);
    tiTextFree(text);
    return result;
}

// Prints the record's first line (allLines: every line) through
// tiPrintMsg, each text ending in a line feed. 0 when a print failed.
int printRecord(const ckpLine* first, std::FILE* stream, int allLines) {
    int ok = 1;
    for (const ckpLine* line = first; line != nullptr; line = allLines ? line->next : nullptr) {
        // A line holds up to 511 characters: with its line feed the text
        // outgrows a 512-byte buffer, so it is composed in a growing one.
        tiText text;
        tiTextInit(&text);
        tiTextFormat(&text, "%s\n", line->text);
        if (printText(stream, &text) < 0) {
            ok = 0;
        }
    }
    return ok;
}
} // namespace

int tiReportLine(const ckpFile* file, std::FILE* stream, std::int64_t number, const char* before,
                 const char* after) {
    tiText text;
    tiTextInit(&text);
    tiTextFormat(&text, "%s on line %" PRId64 " of \"%s\" %s", before, number,
                 tiFileShownName(file), after);
    return printText(stream, &text);
}

extern "C" {

int ckpReport(ckpInfo* info, FILE* stream, int allLines, int recordPos, const char* before,
              const char* after) {
    if (before == nullptr) {
        before = "";
    }
    if (after == nullptr) {
        after = "";
    }
    ckpFile* file = nullptr;
    ckpLine* first = nullptr;
    if (!tiCheckLine(info, tiGuardQuiet, "ckpReport", &file, &first)) {
        tiText text;
        tiTextInit(&text);
        tiTextFormat(&text, "%s (%s) %s", before, tiErrorText(), after);
        printText(stream, &text);
        return 0;
    }
    int ok = 1;
    if (recordPos < 0 && !printRecord(first, stream, allLines)) {
        ok = 0;
    }
    if (tiReportLine(file, stream, first->lineNumber, before, after) < 0) {
        ok = 0;
    }
    if (recordPos > 0 && !printRecord(first, stream, allLines)) {
        ok = 0;
    }
    return ok;
}

int ckpxRecordLines(ckpInfo* info, long long* firstOut, long long* lastOut) {
    long long first = 0;
    long long last = 0;
    ckpFile* file = nullptr;
    ckpLine* line = nullptr;
    int ok = tiCheckLine(info, tiGuardQuiet, "ckpxRecordLines", &file, &line);
    if (ok) {
        // The file's first line counts the lines read; each line the reader
        // read knows its own number.
        last = line->lineNumber;
        first = line->physLine > 0 && line->physLine <= last ? line->physLine : last;
    }
    if (firstOut != nullptr) {
        *firstOut = first;
    }
    if (lastOut != nullptr) {
        *lastOut = last;
    }
    return ok;
}
}
