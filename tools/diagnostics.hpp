// Syntax errors shown the way compilers show them, so that editors can jump
// to the place: "FILE:LINE:COL: error: MESSAGE", then (unless left out) the
// line and a caret under the faulty character, both set off by " | " so
// that no editor takes them for another place. Or one JSON object per error.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "ckp/ckp.hpp"

namespace ckptool {

struct DiagnosticStyle {
    bool json = false;   // one JSON object per line instead
    bool context = true; // the line and the caret
    bool colour = false; // terminal colours
};

// Texts from the file (its name, the message, the line) are shown with
// their control characters escaped.
void printSyntaxError(std::FILE* out, const ckp::SyntaxError& error,
                      const DiagnosticStyle& style = DiagnosticStyle());

// How many diagnostics of one file are shown to a person; a file with
// thousands of faults (a binary file, one line of megabytes) shows the first
// ones and a count of the rest. JSON output, read by programs, has them all.
inline constexpr long diagnosticsPerFile = 100;

// The syntax errors of one file, printed up to the cap and then counted;
// finish() closes them with "FILE: … and N more errors".
class DiagnosticCap {
  public:
    DiagnosticCap(std::FILE* out, const DiagnosticStyle& style, std::string file);
    void print(const ckp::SyntaxError& error);
    void finish();

  private:
    std::FILE* out_;
    DiagnosticStyle style_;
    std::string file_;
    long shown_ = 0;
    long withheld_ = 0;
};

// What the library's reporter says of a syntax error begins so.
inline constexpr const char* syntaxReportStart = "-- Error on line ";

// The library's messages (one a line) about one file, cut after the first
// diagnosticsPerFile of them (a syntax error's three lines counting as one)
// and closed with "… and N more messages".
std::string capReports(const std::string& reports);

// The column in characters (UTF-8) of a 1-based byte column of text; bytes
// that begin no UTF-8 character count one each.
int characterColumn(const std::string& text, int byteColumn);

// Whether a syntax record's message tells of an include that failed for
// want of file descriptors or memory: a resource failure of this run (exit
// 2), not a fault of the file.
bool resourceFault(const std::string& message);

// Whether terminal colours suit `stream`: it is a terminal and NO_COLOR is
// not set to a non-empty value.
bool coloursSuit(std::FILE* stream);

} // namespace ckptool
