// ckp json: the records of a file as JSON, one object per record.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "ckp/ckp.hpp"
#include "commands.hpp"
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

nlohmann::json recordJson(const ckp::Record& record) {
    nlohmann::json out = nlohmann::json::object();
    out["type"] = typeName(record.type());
    out["file"] = text(record.file());
    if (hasPath(record.type())) {
        out["path"] = text(record.path());
    }
    nlohmann::json props = nlohmann::json::array();
    for (const ckp::Property& p : record.props()) {
        props.push_back({text(p.name), p.has_value ? nlohmann::json(text(p.value)) : nullptr});
    }
    out["props"] = std::move(props);
    if (record.type() == ckp::Type::Syntax) {
        ckp::SyntaxError error = record.syntax_error();
        out["line"] = error.line;
        out["column"] = error.column;
        out["error"] = error.message;
    } else {
        out["line"] = record.line();
    }
    return out;
}

// Bytes that are not UTF-8 (a file in a legacy code page) become U+FFFD
// rather than ending the output.
std::string dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

int runJson(const JsonOptions& options) {
    nlohmann::json all = nlohmann::json::array();
    try {
        ckp::Reader reader(options.file);
        bool afterHeader = false;
        for (const ckp::Record& record : reader) {
            // An included file's header record is handed out twice in a
            // row; it is one record of that file.
            bool header = record.type() == ckp::Type::Header;
            bool repeat = header && afterHeader;
            afterHeader = header;
            if (repeat) {
                continue;
            }
            nlohmann::json one = recordJson(record);
            if (options.array) {
                all.push_back(std::move(one));
            } else {
                std::printf("%s\n", dump(one).c_str());
                checkStdout();
            }
        }
    } catch (const ckp::Error& e) {
        std::fflush(stdout);
        throw ToolError(aboutFile(options.file, e.what()));
    }
    if (options.array) {
        std::printf("%s\n", dump(all).c_str());
        checkStdout();
    }
    return exitOk;
}

} // namespace ckptool
