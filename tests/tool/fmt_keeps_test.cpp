// fmt keeps every file that the reader takes: the same records (type, path,
// properties), the same comments, and its output is its own canonical
// form. Shown on files made from the syntax's awkward pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

// Each record of the file itself as "TYPE PATH NAME[=VALUE]...", its
// comments and a header without properties (which fmt gives a file without
// one) left out; nullopt when a record is faulty.
std::optional<std::vector<std::string>> recordsOf(const std::string& path) {
    std::vector<std::string> records;
    ckp::Reader reader(path);
    for (const ckp::Record& record : reader) {
        ckp::Type type = record.type();
        if (type == ckp::Type::Syntax || type == ckp::Type::Error) {
            return std::nullopt;
        }
        std::string text =
            std::to_string(static_cast<int>(type)) + " [" + std::string(record.path()) + "]";
        std::size_t bare = text.size();
        for (const ckp::Property& p : record.props()) {
            text += " " + std::string(p.name) + (p.has_value ? "=" + std::string(p.value) : "");
        }
        bool bareHeader = type == ckp::Type::Header && text.size() == bare;
        if (type != ckp::Type::Comment && !bareHeader) {
            records.push_back(text);
        }
    }
    return records;
}

// Every comment, from the first ';' that no backslash escapes to the end of
// its line, carriage returns at the end left out; sorted. (The lines made
// here stay shorter than the reader's pieces.)
std::vector<std::string> commentsOf(const std::string& bytes) {
    std::vector<std::string> comments;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        std::string line = bytes.substr(at, end - at);
        at = end + 1;
        for (std::size_t semi = line.find(';'); semi != std::string::npos;
             semi = line.find(';', semi + 1)) {
            if (semi == 0 || line[semi - 1] != '\\') {
                std::string comment = line.substr(semi);
                comment.erase(comment.find_last_not_of('\r') + 1);
                comments.push_back(comment);
                break;
            }
        }
    }
    std::sort(comments.begin(), comments.end());
    return comments;
}

// Formats `bytes` when the reader takes them and checks what fmt must keep.
// Returns whether the file was taken.
bool formatsFaithfully(const TempDir& dir, const std::string& bytes) {
    std::string in = dir.write("in.ckpt", bytes);
    std::optional<std::vector<std::string>> before = recordsOf(in);
    if (!before || ckp(dir, "check -q in.ckpt").code != 0) {
        return false;
    }
    Outcome fmt = ckp(dir, "fmt in.ckpt -o out.ckpt");
    EXPECT_EQ(fmt.code, 0) << bytes << fmt.err;
    std::string out = ckptest::readFile(dir.file("out.ckpt"));
    EXPECT_EQ(recordsOf(dir.file("out.ckpt")), before) << bytes << "\n--\n" << out;
    EXPECT_EQ(commentsOf(out), commentsOf(bytes)) << bytes << "\n--\n" << out;
    EXPECT_EQ(ckp(dir, "fmt --check out.ckpt").code, 0) << bytes << "\n--\n" << out;
    return true;
}

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

// Files put together from the pieces where reading and writing differ most;
// a fixed seed, so that a failure can be run again.
TEST(ToolFmtKeeps, GeneratedFilesKeepTheirRecordsAndComments) {
    const std::vector<std::string> pieces = {
        "a",      "b=\"1\"",    "x",         "\\",        "\\\\",   " ",     "\n",
        "\"\"",   "\"p q\"",    "; c",       "=",         "=\"v\"", "\r",    "\t",
        "\\;",    "\v",         "\"v\\\\\"", "\\\n",      "WRXc",   "WRXsd", "3",
        "static", "\"a\\\"b\"", "\n\n",      "=\"\\\"\"", "\\ \n",
    };
    TempDir dir;
    std::uint32_t state = 12345;
    auto next = [&](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    int taken = 0;
    for (int i = 0; i < 300; ++i) {
        std::string file = next(4) == 0 ? "" : header;
        for (std::uint32_t n = 1 + next(14); n > 0; --n) {
            file += pieces[next(static_cast<std::uint32_t>(pieces.size()))];
        }
        taken += formatsFaithfully(dir, file) ? 1 : 0;
    }
    EXPECT_GT(taken, 80); // enough of them read without a fault to mean something
}

} // namespace
