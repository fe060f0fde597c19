// Rewrites at the edges of the syntax: comments of a continued header,
// comments ending in carriage returns, setups without a header, a record
// continued to the end of the file, and what a deleted entry leaves.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"
#include "tool/run_tool.hpp"

namespace {

using ckptest::readFile;
using ckptest::TempDir;
using tooltest::ckp;
using tooltest::Outcome;

using Props = std::vector<std::pair<std::string, ckp::Setup::Value>>;
using Entries = std::vector<std::pair<std::string, Props>>;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

// fmt's output, which must be its own canonical form.
std::string formatted(const TempDir& dir, const std::string& name, const std::string& bytes) {
    dir.write(name, bytes);
    Outcome out = ckp(dir, "fmt " + name);
    EXPECT_EQ(out.code, 0) << out.err;
    dir.write("again-" + name, out.out);
    Outcome check = ckp(dir, "fmt --check again-" + name);
    EXPECT_EQ(check.code, 0) << name << ": " << check.err;
    return out.out;
}

// The entries of a setup file and their properties, as the library loads it.
Entries loaded(const std::string& path) {
    ckp::Setup setup = ckp::Setup::load(path);
    Entries entries;
    for (const std::string& entry : setup.entries()) {
        entries.emplace_back(entry, setup.props(entry));
    }
    setup.clear();
    return entries;
}

TEST(ToolFmt, HeaderCommentsStayBelowItAndCarriageReturnsGo) {
    TempDir dir;
    // A comment line inside a continued header, and a trailing comment that
    // no longer fits once the header is canonical, go below the header.
    EXPECT_EQ(formatted(dir, "h.ckpt", "WRXCHECKPOINT=\"1.0\" \\\n; note\n"), header + "; note\n");
    std::string wide = ";" + std::string(490, 'c');
    EXPECT_EQ(formatted(dir, "w.ckpt", "WRXCHECKPOINT=\"1.0\"" + wide + "\na x\n"),
              header + wide + "\na x\n");
    EXPECT_EQ(formatted(dir, "hw.ckpt", "WRXCHECKPOINT=\"1.0\" \\\n; in\n" + wide + "\n"),
              header + "; in\n" + wide + "\n");

    // Carriage returns that end a comment go: written back they would become
    // part of the line end.
    EXPECT_EQ(formatted(dir, "cr.ckpt", header + "p a=\"1\" ; c\r\r\n; last\r"),
              header + "p a=\"1\" ; c\n; last\n");
    EXPECT_EQ(formatted(dir, "crin.ckpt", header + "p a=\"1\" \\\n; in\r\r\n b=\"2\"\n  ; x\r\r\n"),
              header + "; in\np a=\"1\"\\\nb=\"2\"\n  ; x\n");
}

TEST(ToolSetup, SetupsWithoutHeaderGetOneWhenEdited) {
    TempDir dir;
    dir.write("e.setup", "");
    ASSERT_EQ(ckp(dir, "setup set e.setup a b c").code, 0);
    EXPECT_EQ(readFile(dir.file("e.setup")), header + "a b=\"c\"\n");
    EXPECT_EQ(loaded(dir.file("e.setup")), (Entries{{"a", {{"b", "c"}}}}));

    // Records of syntax version 0 are written in the current syntax, the
    // comments kept.
    dir.write("v.setup", "; old style\nbob 3 static\namy 1 static ; amy\n");
    Outcome set = ckp(dir, "setup set v.setup bob x 1");
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(readFile(dir.file("v.setup")), header + "; old style\n"
                                                      "bob WRXv=\"3\" WRXb=\"static\" x=\"1\"\n"
                                                      "amy WRXv=\"1\" WRXb=\"static\" ; amy\n");
    Props bob{{"WRXb", "static"}, {"WRXv", "3"}, {"x", "1"}};
    Props amy{{"WRXb", "static"}, {"WRXv", "1"}};
    EXPECT_EQ(loaded(dir.file("v.setup")), (Entries{{"amy", amy}, {"bob", bob}}));

    dir.write("d.setup", "; old\nbob 3 static\n");
    ASSERT_EQ(ckp(dir, "setup del d.setup bob").code, 0);
    EXPECT_EQ(readFile(dir.file("d.setup")), header + "; old\n");
    EXPECT_TRUE(loaded(dir.file("d.setup")).empty());
}

TEST(ToolSetup, NewEntryAfterARecordContinuedToTheEnd) {
    TempDir dir;
    struct Case {
        std::string before; // the file
        std::string after;  // it with zz x="1" added
        std::vector<std::string> entries;
    };
    const std::vector<Case> cases = {
        {header + "zed a=\"1\" \\\n", header + "zed a=\"1\" \nzz x=\"1\"\n", {"zed", "zz"}},
        {header + "zed a=\"1\" \\", header + "zed a=\"1\" \nzz x=\"1\"\n", {"zed", "zz"}},
        {header + "zed a=\"1\" \\\n; why\n\n",
         header + "zed a=\"1\" \n; why\n\nzz x=\"1\"\n",
         {"zed", "zz"}},
        {header + "zed a=\"1\" \\\r\n", header + "zed a=\"1\" \r\nzz x=\"1\"\n", {"zed", "zz"}},
        {"WRXCHECKPOINT=\"1.0\" \\\n; top\n",
         "WRXCHECKPOINT=\"1.0\" \n; top\nzz x=\"1\"\n",
         {"zz"}},
    };
    for (const Case& c : cases) {
        dir.write("s.setup", c.before);
        Outcome set = ckp(dir, "setup set s.setup zz x 1");
        ASSERT_EQ(set.code, 0) << set.err;
        EXPECT_EQ(readFile(dir.file("s.setup")), c.after) << c.before;
        ckp::Setup setup = ckp::Setup::load(dir.file("s.setup"));
        EXPECT_EQ(setup.entries(), c.entries) << c.before;
        EXPECT_EQ(setup.get("zz", "x"), std::optional<ckp::Setup::Value>("1")) << c.before;
        setup.clear();
    }
}

TEST(ToolSetup, DeletedEntryLeavesItsComments) {
    TempDir dir;
    dir.write("f.setup", header + "; list\nbob a=\"1\" \\\n; why b\n b=\"2\" ; two\ncy z\n");
    ASSERT_EQ(ckp(dir, "setup del f.setup bob").code, 0);
    EXPECT_EQ(readFile(dir.file("f.setup")), header + "; list\n; why b\n; two\ncy z\n");
    EXPECT_EQ(loaded(dir.file("f.setup")), (Entries{{"cy", {{"z", std::nullopt}}}}));
}

} // namespace
