// ckp json: the records of files as JSON, one object per record.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "ckp/ckp.hpp"
#include "commands.hpp"
#include "diagnostics.hpp"
#include "output.hpp"

namespace ckptool {
namespace {

const char* typeName(ckp::Type type) {
    switch (type) {
    case ckp::Type::None:
        return "none";
    case ckp::Type::Comment:
        return "comment";
    case ckp::Type::Error:
        return "error";
    case ckp::Type::Syntax:
        return "syntax";
    case ckp::Type::Header:
        return "header";
    case ckp::Type::Include:
        return "include";
    case ckp::Type::Object:
        return "object";
    case ckp::Type::ConfigPath:
        return "configpath";
    case ckp::Type::SubDir:
        return "subdir";
    case ckp::Type::EndInclude:
        return "endinclude";
    case ckp::Type::End:
        return "end";
    }
    return "unknown";
}

std::string text(std::string_view view) {
    return std::string(view);
}

// Records that name a path; the others leave the last path on the handle.
bool hasPath(ckp::Type type) {
    return type == ckp::Type::None || type == ckp::Type::Object || type == ckp::Type::Include ||
           type == ckp::Type::ConfigPath || type == ckp::Type::SubDir || type == ckp::Type::Syntax;
}

// The first and last physical line of each record. Records partition the
// lines of their file, so a record begins after the one before it in the
// same file; an included file starts again at line 1.
class LineSpans {
  public:
    std::pair<long long, long long> of(const ckp::Record& record) {
        ckp::Type type = record.type();
        long long last = record.line();
        if (type == ckp::Type::EndInclude) {
            if (before_.size() > 1) {
                before_.pop_back();
            }
            return {last, last};
        }
        long long& before = before_.back();
        long long first = last > before ? before + 1 : last;
        before = std::max(before, last);
        if (type == ckp::Type::Include) {
            before_.push_back(0);
        }
        return {first, last};
    }

  private:
    std::vector<long long> before_{0};
};

// A comment record's line as the reader holds it: the library prints it
// ahead of the "on line N" report line.
std::string commentText(const ckp::Record& record) {
    std::FILE* scratch = std::tmpfile();
    if (scratch == nullptr) {
        return std::string();
    }
    ckpReport(record.handle(), scratch, 0, -1, "", "");
    std::rewind(scratch);
    std::string all;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, scratch)) > 0) {
        all.append(buffer, n);
    }
    std::fclose(scratch);
    // The line is printed with a line end, and the report line after it.
    std::size_t report = all.rfind("\n on line ");
    std::string line = report == std::string::npos ? std::string() : all.substr(0, report);
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

int syntaxVersion(const ckp::Record& record) {
    int version = -1;
    ckpGetSyntax(record.handle(), nullptr, &version);
    return version;
}

nlohmann::json recordJson(const ckp::Record& record, std::pair<long long, long long> lines) {
    nlohmann::json out = nlohmann::json::object();
    ckp::Type type = record.type();
    out["type"] = typeName(type);
    // Standard input is named as the library names it in its reports.
    std::string_view file = record.file();
    out["file"] = file.empty() ? std::string("stdin") : text(file);
    if (hasPath(type)) {
        out["path"] = text(record.path());
    }
    nlohmann::json props = nlohmann::json::array();
    for (const ckp::Property& p : record.props()) {
        props.push_back({text(p.name), p.has_value ? nlohmann::json(text(p.value)) : nullptr});
    }
    out["props"] = std::move(props);
    out["line"] = lines.first;
    out["end_line"] = lines.second;
    if (type == ckp::Type::Syntax) {
        // The line of a syntax record is the one that holds the fault.
        ckp::SyntaxError error = record.syntax_error();
        out["line"] = error.line;
        out["column"] = characterColumn(error.text, error.column);
        out["error"] = error.message;
    } else if (type == ckp::Type::Comment) {
        out["text"] = commentText(record);
    } else if (type == ckp::Type::Header) {
        out["version"] = syntaxVersion(record);
    }
    return out;
}

// Bytes that are not UTF-8 (a file in a legacy code page) become U+FFFD
// rather than ending the output.
std::string dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Prints the records of one file, one object a line or, for --array, as
// elements of the one array that runJson opened (the same bytes as the
// whole array dumped at once, but never held in memory); returns the number
// of syntax errors; `failed` is set when one of them was a resource failure.
long jsonFile(const std::string& file, bool array, bool& first, bool& failed) {
    ckp::Reader reader(isStdout(file) ? std::string() : file);
    LineSpans spans;
    long errors = 0;
    bool afterHeader = false;
    for (const ckp::Record& record : reader) {
        // An included file's header record is handed out twice in a row;
        // it is one record of that file.
        bool header = record.type() == ckp::Type::Header;
        bool repeat = header && afterHeader;
        afterHeader = header;
        if (repeat) {
            continue;
        }
        if (record.type() == ckp::Type::Syntax) {
            ++errors;
            failed = failed || resourceFault(record.syntax_error().message);
        }
        std::string one = dump(recordJson(record, spans.of(record)));
        if (array) {
            std::printf("%s%s", first ? "" : ",", one.c_str());
        } else {
            std::printf("%s\n", one.c_str());
        }
        first = false;
        checkStdout();
    }
    return errors;
}

} // namespace

int runJson(const JsonOptions& options) {
    long errors = 0;
    bool first = true;
    bool failed = false;
    if (options.array) {
        std::printf("[");
    }
    for (const std::string& file : options.files) {
        try {
            errors += jsonFile(file, options.array, first, failed);
        } catch (const ckp::Error& e) {
            std::fflush(stdout);
            throw ToolError(aboutFile(file, e.what()));
        }
    }
    if (options.array) {
        std::printf("]\n");
        checkStdout();
    }
    if (failed) {
        return exitFailure;
    }
    return errors > 0 ? exitFindings : exitOk;
}

} // namespace ckptool
