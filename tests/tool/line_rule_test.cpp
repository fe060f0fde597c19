// One rule for a record's lines: `ckp json`'s line and end_line are those
// of the C++ Record, for every record (a syntax record too, whose fault has
// its own line in the error).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;

struct Lines {
    std::string type;
    long long line;
    long long endLine;
    long long errorLine;
    bool operator==(const Lines&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Lines& l) {
    return out << l.type << " " << l.line << "-" << l.endLine << " (" << l.errorLine << ")";
}

std::vector<Lines> fromJson(const std::string& text) {
    std::vector<Lines> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        nlohmann::json record = nlohmann::json::parse(line);
        out.push_back(
            {record["type"], record["line"], record["end_line"], record.value("error_line", 0LL)});
    }
    return out;
}

const char* typeName(ckp::Type type) {
    switch (type) {
    case ckp::Type::Header:
        return "header";
    case ckp::Type::Comment:
        return "comment";
    case ckp::Type::Syntax:
        return "syntax";
    case ckp::Type::Include:
        return "include";
    case ckp::Type::EndInclude:
        return "endinclude";
    case ckp::Type::None:
        return "none";
    case ckp::Type::ConfigPath:
        return "configpath";
    case ckp::Type::SubDir:
        return "subdir";
    default:
        return "object";
    }
}

// As `ckp json` does: an included file's header, handed out twice, is one.
std::vector<Lines> fromCxx(const std::string& file) {
    std::vector<Lines> out;
    ckp::Reader reader(file);
    bool afterHeader = false;
    for (const ckp::Record& record : reader) {
        bool header = record.type() == ckp::Type::Header;
        if (!(header && afterHeader)) {
            long long errorLine =
                record.type() == ckp::Type::Syntax ? record.syntax_error().line : 0;
            out.push_back({typeName(record.type()), record.line(), record.end_line(), errorLine});
        }
        afterHeader = header;
    }
    return out;
}

TEST(LineRule, JsonAndCxxRecordsAgree) {
    TempDir dir;
    dir.write("sub.ckpt", "WRXCHECKPOINT=\"1.0\"\n; sub\ns/a k=\"1\" \\\n  j=\"2\"\n");
    const char* files[][2] = {
        {"main.ckpt", "WRXCHECKPOINT=\"1.0\" owner=\"me\"\n"
                      "; note\n"
                      "\n"
                      "a x=\"1\" flag \\\n"
                      "  ; inside\n"
                      "\n"
                      "  y=\"\"\n"
                      "bad \\\n"
                      "  k=\"open\n"
                      "sub.ckpt WRXinc\n"
                      "missing.ckpt WRXinc\n"
                      "conf WRXc\n"
                      "\"\" none=\"1\"\n"
                      "z q=\"a\\;b\"\n"},
        {"old.ckpt", " \\\np 1 static \\\n x\nq 2 dynamic\n\n; end\n"},
        {"crlf.ckpt", "WRXCHECKPOINT=\"1.0\"\r\na k=\"v\" \\\r\n  m=\"w\"\r\nb c=\"open\r\n"},
    };
    for (const auto& [name, bytes] : files) {
        std::string path = dir.write(name, bytes);
        tooltest::Outcome json = tooltest::ckp(dir, std::string("json ") + name);
        ASSERT_NE(json.code, 2) << name << json.err;
        EXPECT_EQ(fromCxx(path), fromJson(json.out)) << name;
    }
}

} // namespace
