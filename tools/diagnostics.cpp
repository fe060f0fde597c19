#include "diagnostics.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "escape.hpp"

namespace ckptool {
namespace {

const char* const bold = "\033[1m";
const char* const red = "\033[1;31m";
const char* const green = "\033[1;32m";
const char* const plain = "\033[0m";

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Whether bytes [from, from + n) of text form one well-made UTF-8 sequence.
bool wholeCharacter(const std::string& text, std::size_t from, std::size_t n) {
    if (from + n > text.size()) {
        return false;
    }
    for (std::size_t i = 1; i < n; ++i) {
        if (!continuationByte(text[from + i])) {
            return false;
        }
    }
    return true;
}

std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    return lead >= 0xC2 && lead <= 0xDF ? 2 : 1;
}

void printJson(std::FILE* out, const ckp::SyntaxError& error) {
    int column = characterColumn(error.text, error.column);
    nlohmann::json one = {{"file", error.file},  {"line", error.line},       {"column", column},
                          {"severity", "error"}, {"message", error.message}, {"text", error.text}};
    std::string text = one.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

} // namespace

int characterColumn(const std::string& text, int byteColumn) {
    if (byteColumn <= 0) {
        return byteColumn;
    }
    auto want = static_cast<std::size_t>(byteColumn - 1);
    std::size_t end = std::min(want, text.size());
    std::size_t at = 0;
    int column = 1;
    while (at < end) {
        std::size_t n = sequenceLength(static_cast<unsigned char>(text[at]));
        at += n > 1 && wholeCharacter(text, at, n) ? n : 1;
        ++column;
    }
    // A column past the end of the text counts on in bytes.
    return column + static_cast<int>(want > at ? want - at : 0);
}

bool coloursSuit(std::FILE* stream) {
    const char* noColour = std::getenv("NO_COLOR");
    return (noColour == nullptr || noColour[0] == '\0') && isatty(fileno(stream)) != 0;
}

void printSyntaxError(std::FILE* out, const ckp::SyntaxError& error, const DiagnosticStyle& style) {
    if (style.json) {
        printJson(out, error);
        return;
    }
    int column = characterColumn(error.text, error.column);
    const char* on = style.colour ? bold : "";
    const char* off = style.colour ? plain : "";
    std::string place = escapeControls(error.file) + ":" + std::to_string(error.line) + ":";
    if (column > 0) {
        place += std::to_string(column) + ":";
    }
    std::fprintf(out, "%s%s%s %serror:%s %s\n", on, place.c_str(), off, style.colour ? red : "",
                 off, escapeControls(error.message).c_str());
    if (!style.context || (error.text.empty() && column <= 0)) {
        return;
    }
    std::string text = escapeControls(error.text);
    std::fprintf(out, " %5lld | %s\n", error.line, text.c_str());
    if (column > 0) {
        // The caret stands under the faulty character as the line is shown,
        // its escapes being wider than the characters they stand for.
        auto before = static_cast<std::size_t>(error.column - 1);
        std::string shown = escapeControls(
            std::string_view(error.text).substr(0, std::min(before, error.text.size())));
        int width = characterColumn(shown, static_cast<int>(shown.size()) + 1) - 1;
        width += static_cast<int>(before > error.text.size() ? before - error.text.size() : 0);
        std::string caret(static_cast<std::size_t>(width), ' ');
        std::fprintf(out, "       | %s%s^%s\n", caret.c_str(), style.colour ? green : "", off);
    }
}

DiagnosticCap::DiagnosticCap(std::FILE* out, const DiagnosticStyle& style, std::string file)
    : out_(out), style_(style), file_(std::move(file)) {}

void DiagnosticCap::print(const ckp::SyntaxError& error) {
    if (!style_.json && shown_ >= diagnosticsPerFile) {
        ++withheld_;
        return;
    }
    ++shown_;
    printSyntaxError(out_, error, style_);
}

void DiagnosticCap::finish() {
    if (withheld_ > 0) {
        std::fprintf(out_, "%s: \u2026 and %ld more error%s\n", escapeControls(file_).c_str(),
                     withheld_, withheld_ == 1 ? "" : "s");
        withheld_ = 0;
    }
}

std::string capReports(const std::string& reports) {
    std::string out;
    long groups = 0;
    long linesLeft = 0; // of the report being read
    std::size_t at = 0;
    while (at < reports.size()) {
        std::size_t end = std::min(reports.find('\n', at), reports.size());
        std::string_view line = std::string_view(reports).substr(at, end - at);
        if (linesLeft == 0) {
            // A syntax error is reported in three lines: the place, the line
            // and its marker.
            linesLeft = line.starts_with(syntaxReportStart) ? 3 : 1;
            ++groups;
        }
        --linesLeft;
        if (groups <= diagnosticsPerFile) {
            out += at == 0 ? "" : "\n";
            out += line;
        }
        at = end + 1;
    }
    long withheld = std::max(0L, groups - diagnosticsPerFile);
    if (withheld > 0) {
        out += "\n\u2026 and " + std::to_string(withheld) + " more message" +
               (withheld == 1 ? "" : "s");
    }
    return out;
}

bool resourceFault(const std::string& message) {
    for (int errnum : {EMFILE, ENFILE, ENOMEM}) {
        std::string reason = std::string(": ") + std::strerror(errnum);
        if (message.size() >= reason.size() &&
            message.compare(message.size() - reason.size(), reason.size(), reason) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace ckptool
