// The record builder: paths, properties, syntax-version-0 fields, the
// cursor left at a fault, qualifiers and the rooted-path rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "core/name_hash.hpp"
#include "reading.hpp"

using readtest::Props;
using readtest::Reader;
using readtest::v1;
using Trace = std::vector<std::string>;

namespace {
// The single data record of a file of the given syntax.
struct One {
    ckptest::TempDir dir;
    Reader r;
    One(const std::string& record, bool header = true, int roots = 0) {
        r.info = ckpOpen(dir.write("f", (header ? v1 : std::string()) + record).c_str(), "R");
        if (r.info != nullptr) {
            ckpSetRootsAreOK(r.info, roots);
            r.next();
            r.next();
        }
    }
    int type() { return ckpGetType(r.info); }
};
} // namespace

TEST(Builder, Properties) {
    const struct {
        const char* record;
        Props props;
        bool header = true;
    } cases[] = {
        {"p a=\"1\" b\n", {{"a", "1"}, {"b", "<flag>"}}},
        {"p a=\"1\"b=\"2\" =\"e\" f=\"\"\n", {{"a", "1"}, {"b", "2"}, {"", "e"}, {"f", ""}}},
        {"p a = \\\n \"x\" v=\"a\\\\b\" w=\"a\\qb\" s=\"say \\\"hi\\\"\"\n",
         {{"a", "x"}, {"v", "a\\b"}, {"w", "a\\qb"}, {"s", "say \"hi\""}}},
        // An empty continuation line between property lines: an empty name.
        {"p a=\"1\" \\\n\\\nb=\"2\"\n", {{"a", "1"}, {"", "<flag>"}, {"b", "2"}}},
        // The positional fields of a file without header.
        {"lib/cell 3 STATIC rollback 5.1 checkout\n",
         {{"WRXv", "3"},
          {"WRXb", "static"},
          {"WRXo", "reset_default"},
          {CKP_PROP_PYXE_VERSION, "5.1"},
          {"WRXo", "co"}},
         false},
        {"p 12 Dynamic branch 14.20\n",
         {{"WRXv", "12"}, {"WRXb", "dynamic"}, {CKP_PROP_PYXE_VERSION, "14.20"}},
         false},
        {"p 12 dynamic\n", {{"WRXv", "12"}, {"WRXb", "dynamic"}}, false},
    };
    for (const auto& c : cases) {
        One o(c.record, c.header);
        EXPECT_EQ(o.type(), ckpTypeObject) << c.record;
        EXPECT_EQ(o.r.props(), c.props) << c.record;
    }
}

// A repeated name is told of before any fault that follows it in the
// record, wherever the two stand: one after the other, far apart, or the
// fault in the repeated property's own value.
TEST(Builder, RepeatsAreToldBeforeAFault) {
    std::string many;
    for (int i = 0; i < 30; ++i) {
        many += " m" + std::to_string(i);
    }
    const struct {
        std::string record;
        std::string fault;
    } cases[] = {
        {"p a a b=x\n", "missing '\"' for property value"},
        {"p a a b=\"x\n", "missing '\"' for property value"},
        {"p a a=\"x\n", "missing '\"' for property value"},
        {"p a a b# c\n", "illegal character in property name"},
        {"p" + many + " m7 z?\n", "illegal character in property name"},
        {"p" + many + " m29=\"x\n", "missing '\"' for property value"},
    };
    for (const auto& c : cases) {
        ckptest::resetErrors();
        One o(c.record);
        EXPECT_EQ(o.type(), ckpTypeSyntax) << c.record;
        EXPECT_EQ(o.r.syntaxMsg(), c.fault) << c.record;
        EXPECT_EQ(ckpGetError(), c.fault) << c.record;    // the fault is the last
        EXPECT_EQ(ckptest::resetErrors(), 2) << c.record; // the repeat, then the fault
    }
}

// Values of every length up to a line's, with an escape or the closing
// quote at every place: each reads back whole, however it stands against
// the end of its line's room.
TEST(Builder, ValuesOfEveryLength) {
    for (int n = 0; n < 24; ++n) {
        for (int at = 0; at <= n; ++at) {
            std::string plain(static_cast<std::size_t>(n), 'v');
            std::string text = plain;
            std::string want = plain;
            if (at < n) {
                text.replace(static_cast<std::size_t>(at), 1, "\\\"");
                want[static_cast<std::size_t>(at)] = '"';
            }
            One o("p k=\"" + text + "\"\n");
            EXPECT_EQ(o.r.prop("k"), want) << text;
        }
    }
    // A value that ends where the line's room ends, on a continuation line
    // cut down to its text.
    for (int pad = 490; pad <= 504; ++pad) {
        std::string value(static_cast<std::size_t>(pad), 'w');
        One o("p \\\n k=\"" + value + "\"\n");
        EXPECT_EQ(o.r.prop("k"), value) << pad;
    }
}

// A record larger than any chunk of the reader's arenas: every string handed
// out stays whole and in place until the record changes, the records after
// it read as before, and the lines of a faulty record after it are counted
// on.
TEST(Builder, RecordsLargerThanTheArenas) {
    auto valueOf = [](int i) {
        return std::string(480, static_cast<char>('a' + i % 26)) + std::to_string(i);
    };
    std::string big = "big \\\n";
    for (int i = 0; i < 2500; ++i) {
        big += " k" + std::to_string(i) + "=\"" + valueOf(i) + "\" \\\n";
    }
    big += " end\n";
    ckptest::TempDir dir;
    std::string path = dir.write("f", v1 + big + "s a=\"1\"\nt \\\n b=\"2\" \\\n c# \\\n d\n");
    Reader r(path);
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeObject);
    std::vector<std::pair<char*, char*>> handed;
    int id = 0;
    char* name = nullptr;
    char* value = nullptr;
    while (ckpGenProp(r.info, &id, &name, &value)) {
        handed.emplace_back(name, value);
    }
    ASSERT_EQ(handed.size(), 2501u);
    EXPECT_EQ(r.prop("k1999"), valueOf(1999));
    for (int i = 0; i < 2500; ++i) {
        EXPECT_EQ(handed[static_cast<std::size_t>(i)].first, "k" + std::to_string(i));
        EXPECT_EQ(handed[static_cast<std::size_t>(i)].second, valueOf(i)) << i;
    }
    EXPECT_EQ(handed.back().second, nullptr);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.props(), (Props{{"a", "1"}}));
    EXPECT_EQ(readtest::trace(r, 1, true),
              (Trace{"syntax illegal character in property name@2508"}));
}

// Repeated names in records of few properties or of many, on many lines or
// on few long ones, or of names of distinct filter bits (the first lookup,
// and the index, come only with the repeat, 40 names after the start): a
// repeat is recorded, not refused, wherever it stands; the first of a name is
// the one looked up; nothing carries over to the next record or to a second
// build of the same one.
TEST(Builder, RepeatsInRecordsOfManyProperties) {
    std::string big = "big \\\n";
    std::string other = "other \\\n";
    for (int i = 0; i < 40; ++i) {
        big += " n" + std::to_string(i) + "=\"" + std::to_string(i) + "\" \\\n";
        other += " n" + std::to_string(i) + " \\\n";
    }
    std::string huge = "huge \\\n";
    for (int i = 0; i < 3000; ++i) {
        huge += " h" + std::to_string(i) + " \\\n";
    }
    std::string wide = "wide";
    for (const char* prefix : {" w", " x"}) {
        for (int i = 0; i < 80; ++i) {
            wide += prefix + std::to_string(i);
        }
        wide += " \\\n"; // 80 names a line
    }
    std::string distinct = "few";
    std::uint64_t bits = 0;
    for (int i = 0, n = 0; n < 40; ++i) {
        std::string name = "d" + std::to_string(i);
        std::uint64_t bit = tiNameBit(nameHash(name.c_str()));
        if ((bits & bit) == 0) {
            bits |= bit;
            distinct += " " + name;
            ++n;
        }
    }
    const struct {
        std::string record;
        int repeats;
        const char* repeated;
        std::size_t props;
        Props lookups;
    } cases[] = {
        {big + " n3=\"again\" n39 \\\n n3\n",
         3,
         "n3",
         43,
         {{"n3", "3"}, {"n39", "39"}, {"n40", "<none>"}}},
        {huge + " h1500\n", 1, "h1500", 3001, {{"h2999", "<flag>"}}},
        {"small n3 n0=\"x\"\n", 0, "", 2, {{"n0", "x"}, {"n1", "<none>"}}},
        {"p d=\"1\" d=\"2\"\n", 1, "d", 2, {{"d", "1"}}},
        {other + " last\n", 0, "", 41, {{"n20", "<flag>"}, {"last", "<flag>"}, {"big", "<none>"}}},
        {wide + " w50 x79=\"x\" \\\n w0\n", 3, "w0", 163, {{"x79", "<flag>"}}},
        {distinct + " \\\n d0\n", 1, "d0", 41, {}},
    };
    std::string all = v1;
    for (const auto& c : cases) {
        all += c.record;
    }
    ckptest::TempDir dir;
    Reader r(dir.write("f", all));
    EXPECT_EQ(r.next(), ckpTypeHeader);
    ckptest::resetErrors();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record.substr(0, 20));
        for (int build = 0; build < 2; ++build) {
            if (build == 1) {
                ckpSetAction(r.info, 1, 2); // built again from the same lines
                ckpGets(r.info);
            } else {
                EXPECT_EQ(r.next(), ckpTypeObject);
            }
            EXPECT_EQ(ckptest::resetErrors(), c.repeats);
            if (c.repeats > 0) {
                EXPECT_EQ(ckpGetError(), "duplicate \"" + std::string(c.repeated) + "\" property");
            }
            EXPECT_EQ(r.props().size(), c.props);
            for (const auto& [name, value] : c.lookups) {
                EXPECT_EQ(r.prop(name.c_str()), value) << name;
            }
        }
    }
}

// Records of one line or a few, what they read as: their type, their path
// or their fault's message, its column and its line in the record.
TEST(Builder, RecordsAndTheirFaults) {
    struct Case {
        std::string record;
        int type;
        std::string shown; // the path, or the message of a fault
        long column = -1;  // of the fault
        int props = -1;    // properties kept at a fault, where that is checked
        bool header = true;
        int roots = 0;
        int faultLine = 0;
    };
    const std::string quote = "missing '\"' for property value";
    const std::string name = "illegal character in property name";
    const std::string pyxe = "use <major>.<minor> for <PYXE_version>";
    const std::string version = "use <non-negative integer> for <WRX_version>";
    const std::string rooted = "use relative path name";
    const std::string conflict = "conflicting path quailifier properties";
    const Case cases[] = {
        {"p a=\n", ckpTypeSyntax, quote, 4, 0},
        {"p ok=\"1\" bad-name=\"1\"\n", ckpTypeSyntax, name, 12, 1},
        {"p a=\"open\n", ckpTypeSyntax, quote, 9, 0},
        {"p a=x\n", ckpTypeSyntax, quote, 4, 0},
        {"p a\"x\"\n", ckpTypeSyntax, name, 3, 0},
        {"\"a \\\"q\\\" b\" x\n", ckpTypeObject, "a \"q\" b"},
        {"\\\"abc\n", ckpTypeObject, "\"abc"},
        {"ab\\\"c\n", ckpTypeObject, "ab\\\"c"},
        {"\"my dir/f x\" a=\"1\"\n", ckpTypeObject, "my dir/f x"},
        {"a\\b\\\\c\n", ckpTypeObject, "a\\b\\\\c"},
        {"\\\n  second\n", ckpTypeObject, "second"},
        {"\"\" a=\"1\"\n", ckpTypeNone, ""},
        {"\"my dir\n", ckpTypeSyntax, "missing '\"' in path name", 7},
        {"p\n", ckpTypeSyntax, "missing <WRX_version>", 1, -1, false},
        {"p 12\n", ckpTypeSyntax, "missing <binding>", 4, -1, false},
        {"p x1 static\n", ckpTypeSyntax, version, 2, -1, false},
        {"p 1x static\n", ckpTypeSyntax, version, 3, -1, false},
        {"p 1 fixed\n", ckpTypeSyntax, "use static or dynamic for <binding>", 4, -1, false},
        {"p 1 static 4\n", ckpTypeSyntax, pyxe, 11, -1, false},
        {"p 1 static .1\n", ckpTypeSyntax, pyxe, 11, -1, false},
        {"p 1 static 1.2.3\n", ckpTypeSyntax, pyxe, 11, -1, false},
        {"p 1 static 1.2x\n", ckpTypeSyntax, pyxe, 11, -1, false},
        {"p 1 static rollback 4.\n", ckpTypeSyntax, pyxe, 20, -1, false},
        {"p 1 static branch 4.2 checkout extra\n", ckpTypeSyntax, "unrecognized field", 31, -1,
         false},
        {"p 1 static 4.2 other\n", ckpTypeSyntax, "unrecognized field", 15, -1, false},
        {"p \\\n 1 static\n", ckpTypeSyntax, "missing <WRX_version>", 2, -1, false},
        // The rooted-path rule by record kind.
        {"/abs WRXc\n", ckpTypeConfigPath, "/abs"},
        {"/abs WRXsd\n", ckpTypeSyntax, rooted, 0},
        {"/abs WRXsd\n", ckpTypeSubDir, "/abs", -1, -1, true, 1},
        {"/abs 1 static\n", ckpTypeSyntax, rooted, 0, -1, false},
        {"/abs.ckp WRXinc\n", ckpTypeSyntax, rooted, 0},
        // Qualifiers: on a second line too; a conflict is marked on the
        // qualifier that made it, at the head's end when that is on a
        // continuation line; values are ignored, reserved names are ordinary.
        {"sub \\\n WRXsd\n", ckpTypeSubDir, "sub"},
        {"p WRXc WRXsd\n", ckpTypeSyntax, conflict, 7},
        {"p WRXc WRXsdx WRXsd\n", ckpTypeSyntax, conflict, 14},
        {"p WRXc=\"v\" x WRXc\n", ckpTypeSyntax, conflict, 2},
        {"p WRXinc WRXsd\n", ckpTypeSyntax, conflict, 9},
        {"path \\\n WRXsd WRXc\n", ckpTypeSyntax, conflict, 4},
        {"p WRXv=\"1\" WRXlist WRXc=\"ignored\"\n", ckpTypeConfigPath, "p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        One o(c.record, c.header, c.roots);
        EXPECT_EQ(o.type(), c.type);
        if (c.type == ckpTypeSyntax) {
            EXPECT_EQ(o.r.syntaxMsg(), c.shown);
            EXPECT_EQ(ckpGetError(), c.shown);
            EXPECT_EQ(o.r.column(), c.column);
            EXPECT_EQ(o.r.cursorLine(), c.faultLine);
            if (c.props >= 0) {
                EXPECT_EQ(static_cast<int>(o.r.props().size()), c.props);
            }
        } else {
            EXPECT_EQ(o.r.path(), c.shown);
        }
    }
    One both("p WRXc WRXsd\n");
    EXPECT_STREQ(ckpGetConfigPath(both.r.info), "p");
    EXPECT_STREQ(ckpGetSubDir(both.r.info), "p");
}
