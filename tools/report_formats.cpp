#include "report_formats.hpp"

#include <filesystem>
#include <system_error>

#include "commands.hpp"
#include "escape.hpp"

namespace ckptool {
namespace {

// The same file named two ways (named and included, "./a" and "a") is one.
std::string fileKey(const std::string& file) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::weakly_canonical(file, error);
    return error ? file : path.generic_string();
}

const char* severityName(Severity severity) {
    return severity == Severity::Error     ? "error"
           : severity == Severity::Warning ? "warning"
                                           : "note";
}

std::string fileShown(const std::string& file) {
    return file.empty() || file == "-" ? "stdin" : file;
}

// Escapes the runner's workflow-command data; properties also escape ':'
// and ','.
std::string githubEscaped(const std::string& text, bool property) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        case ':':
            out += property ? "%3A" : ":";
            break;
        case ',':
            out += property ? "%2C" : ",";
            break;
        default:
            out += c;
        }
    }
    return out;
}

const char* ruleOf(const ckp::SyntaxError& error, Severity severity) {
    if (severity == Severity::Warning) {
        return "long-line";
    }
    if (severity == Severity::Note) {
        return "no-header";
    }
    return error.message == "binary file" ? "binary-file" : "syntax-error";
}

nlohmann::json sarifResult(const ckp::SyntaxError& error, Severity severity) {
    nlohmann::json region = nlohmann::json::object();
    if (error.line > 0) {
        region["startLine"] = error.line;
    }
    int column = characterColumn(error.text, error.column);
    if (column > 0) {
        region["startColumn"] = column;
    }
    if (!error.text.empty()) {
        region["snippet"] = {{"text", error.text}};
    }
    nlohmann::json location = {
        {"physicalLocation",
         {{"artifactLocation", {{"uri", sarifUri(fileShown(error.file))}}}, {"region", region}}}};
    return {{"ruleId", ruleOf(error, severity)},
            {"level", severityName(severity)},
            {"message", {{"text", error.message}}},
            {"locations", nlohmann::json::array({location})}};
}

nlohmann::json sarifDocument(const nlohmann::json& results) {
    nlohmann::json rule = {
        {"id", "syntax-error"},
        {"name", "SyntaxError"},
        {"shortDescription", {{"text", "A record that the checkpoint reader does not accept"}}},
        {"defaultConfiguration", {{"level", "error"}}}};
    nlohmann::json driver = {
        {"name", "ckp"}, {"version", CKP_TOOL_VERSION}, {"rules", nlohmann::json::array({rule})}};
    nlohmann::json run = {
        {"tool", {{"driver", driver}}}, {"columnKind", "unicodeCodePoints"}, {"results", results}};
    return {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
            {"version", "2.1.0"},
            {"runs", nlohmann::json::array({run})}};
}

} // namespace

ReportFormat reportFormatNamed(const std::string& name) {
    if (name == "json") {
        return ReportFormat::Json;
    }
    if (name == "github") {
        return ReportFormat::Github;
    }
    return name == "sarif" ? ReportFormat::Sarif : ReportFormat::Gcc;
}

std::string githubAnnotation(const ckp::SyntaxError& error, Severity severity) {
    const char* command = severity == Severity::Note ? "notice" : severityName(severity);
    std::string out =
        std::string("::") + command + " file=" + githubEscaped(fileShown(error.file), true);
    if (error.line > 0) {
        out += ",line=" + std::to_string(error.line);
    }
    int column = characterColumn(error.text, error.column);
    if (column > 0) {
        out += ",col=" + std::to_string(column);
    }
    return out + "::" + githubEscaped(error.message, false);
}

std::string sarifUri(const std::string& file) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : std::filesystem::path(file).generic_string()) {
        auto byte = static_cast<unsigned char>(c);
        bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                     (byte >= '0' && byte <= '9') ||
                     std::string_view("-._~/").find(c) != std::string_view::npos;
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

DiagnosticReport::DiagnosticReport(std::FILE* out, ReportFormat format,
                                   const DiagnosticStyle& style, bool quiet)
    : out_(out), format_(format), style_(style), quiet_(quiet) {
    style_.json = format == ReportFormat::Json;
}

bool DiagnosticReport::add(const ckp::SyntaxError& error, Severity severity, bool context) {
    if (!shown_.emplace(fileKey(error.file), error.line, error.column, error.message).second) {
        return false;
    }
    if (severity == Severity::Error) {
        ++errors_;
        filesWithErrors_.insert(fileKey(error.file));
    }
    if (quiet_) {
        return true;
    }
    if (format_ == ReportFormat::Gcc && severity == Severity::Error &&
        ++shownPerFile_[fileKey(error.file)] > diagnosticsPerFile) {
        ++withheldPerFile_[error.file];
        return true;
    }
    switch (format_) {
    case ReportFormat::Gcc:
    case ReportFormat::Json:
        if (severity == Severity::Error) {
            DiagnosticStyle style = style_;
            style.context = style.context && context;
            printSyntaxError(out_, error, style);
        } else {
            printAdvice(error, severity);
        }
        break;
    case ReportFormat::Github:
        std::fprintf(out_, "%s\n", githubAnnotation(error, severity).c_str());
        break;
    case ReportFormat::Sarif:
        sarifResults_.push_back(sarifResult(error, severity));
        break;
    }
    return true;
}

// A warning or note: its place and text, without the line and caret.
void DiagnosticReport::printAdvice(const ckp::SyntaxError& error, Severity severity) {
    std::string place = fileShown(error.file) + ":" + std::to_string(error.line) + ":";
    if (error.column > 0) {
        place += std::to_string(error.column) + ":";
    }
    if (format_ == ReportFormat::Json) {
        nlohmann::json one = {{"file", fileShown(error.file)}, {"line", error.line},
                              {"column", error.column},        {"severity", severityName(severity)},
                              {"message", error.message},      {"text", ""}};
        std::fprintf(out_, "%s\n",
                     one.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    const char* on = style_.colour ? "\033[1m" : "";
    const char* off = style_.colour ? "\033[0m" : "";
    const char* tint = !style_.colour                  ? ""
                       : severity == Severity::Warning ? "\033[1;35m"
                                                       : "\033[1;36m";
    std::fprintf(out_, "%s%s%s %s%s:%s %s\n", on, escapeControls(place).c_str(), off, tint,
                 severityName(severity), off, escapeControls(error.message).c_str());
}

void DiagnosticReport::closeFiles() {
    for (const auto& [file, withheld] : withheldPerFile_) {
        std::fprintf(out_, "%s: \u2026 and %ld more error%s\n",
                     escapeControls(fileShown(file)).c_str(), withheld, withheld == 1 ? "" : "s");
    }
    withheldPerFile_.clear();
}

void DiagnosticReport::finish() {
    if (format_ == ReportFormat::Sarif && !quiet_) {
        std::string text = sarifDocument(sarifResults_)
                               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(out_, "%s\n", text.c_str());
    }
}

} // namespace ckptool
