// The record builder: paths, properties, syntax-version-0 fields, the
// cursor left at a fault, qualifiers and the rooted-path rule.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "core/name_hash.hpp"
#include "reader/builder.hpp"
#include "reader/legacy.hpp"
#include "reading.hpp"

using readtest::Props;
using readtest::Reader;
using readtest::v1;

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
    {
        One o("p a=\"1\" b\n");
        EXPECT_EQ(o.type(), ckpTypeObject);
        EXPECT_EQ(o.r.props(), (Props{{"a", "1"}, {"b", "<flag>"}}));
    }
    {
        One o("p a=\"1\"b=\"2\" =\"e\" f=\"\"\n");
        EXPECT_EQ(o.r.props(), (Props{{"a", "1"}, {"b", "2"}, {"", "e"}, {"f", ""}}));
    }
    {
        One o("p a = \\\n \"x\" v=\"a\\\\b\" w=\"a\\qb\" s=\"say \\\"hi\\\"\"\n");
        EXPECT_EQ(o.r.props(),
                  (Props{{"a", "x"}, {"v", "a\\b"}, {"w", "a\\qb"}, {"s", "say \"hi\""}}));
    }
    {
        ckptest::resetErrors();
        One o("p d=\"1\" d=\"2\"\n");
        EXPECT_EQ(o.type(), ckpTypeObject); // a repeat is recorded, not refused
        EXPECT_EQ(o.r.props(), (Props{{"d", "1"}, {"d", "2"}}));
        EXPECT_EQ(o.r.prop("d"), "1");
        EXPECT_STREQ(ckpGetError(), "duplicate \"d\" property");
    }
    {
        // An empty continuation line between property lines: an empty name.
        One o("p a=\"1\" \\\n\\\nb=\"2\"\n");
        EXPECT_EQ(o.r.props(), (Props{{"a", "1"}, {"", "<flag>"}, {"b", "2"}}));
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
    EXPECT_EQ(r.next(), ckpTypeSyntax);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ckpReport(r.info, out, 0, 0, "at", nullptr);
    std::rewind(out);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
    std::fclose(out);
    EXPECT_NE(std::string(line).find("on line 2508 "), std::string::npos) << line; // its last
}

// Records of many properties: repeats are found wherever they stand, the
// first of a name is the one looked up, and nothing carries over to the next
// record or to a second build of the same one.
TEST(Builder, RepeatsInRecordsOfManyProperties) {
    std::string big = "big \\\n";
    for (int i = 0; i < 40; ++i) {
        big += " n" + std::to_string(i) + "=\"" + std::to_string(i) + "\" \\\n";
    }
    big += " n3=\"again\" n39 \\\n n3\n";
    std::string other = "other \\\n";
    for (int i = 0; i < 40; ++i) {
        other += " n" + std::to_string(i) + " \\\n";
    }
    other += " last\n";
    std::string huge = "huge \\\n";
    for (int i = 0; i < 3000; ++i) {
        huge += " h" + std::to_string(i) + " \\\n";
    }
    huge += " h1500\n";
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + big + huge + "small n3 n0=\"x\"\n" + other));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    ckptest::resetErrors();
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(ckptest::resetErrors(), 3);
    EXPECT_STREQ(ckpGetError(), "duplicate \"n3\" property");
    EXPECT_EQ(r.props().size(), 43u);
    EXPECT_EQ(r.prop("n3"), "3");
    EXPECT_EQ(r.prop("n39"), "39");
    EXPECT_EQ(r.prop("n40"), "<none>");
    ckpSetAction(r.info, 1, 2); // built again from the same lines
    ckpGets(r.info);
    EXPECT_EQ(ckptest::resetErrors(), 3);
    EXPECT_EQ(r.props().size(), 43u);
    EXPECT_EQ(r.prop("n3"), "3");
    EXPECT_EQ(r.next(), ckpTypeObject); // large enough that its index is not kept
    EXPECT_EQ(ckptest::resetErrors(), 1);
    EXPECT_STREQ(ckpGetError(), "duplicate \"h1500\" property");
    EXPECT_EQ(r.props().size(), 3001u);
    EXPECT_EQ(r.prop("h2999"), "<flag>");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(ckptest::resetErrors(), 0) << ckpGetError();
    EXPECT_EQ(r.prop("n0"), "x");
    EXPECT_EQ(r.prop("n1"), "<none>");
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(ckptest::resetErrors(), 0) << ckpGetError();
    EXPECT_EQ(r.prop("n20"), "<flag>");
    EXPECT_EQ(r.prop("last"), "<flag>");
    EXPECT_EQ(r.prop("big"), "<none>");
}

// A record of far more properties than lines: the index, first sized by
// the lines, grows while it takes in the names already read.
TEST(Builder, RepeatsOnFewLongLines) {
    std::string wide = "wide";
    for (const char* prefix : {" w", " x"}) {
        for (int i = 0; i < 80; ++i) {
            wide += prefix + std::to_string(i);
        }
        wide += " \\\n"; // 80 names a line
    }
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + wide + " w50 x79=\"x\" \\\n w0\n"));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    ckptest::resetErrors();
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(ckptest::resetErrors(), 3);
    EXPECT_STREQ(ckpGetError(), "duplicate \"w0\" property");
    EXPECT_EQ(r.props().size(), 163u);
    EXPECT_EQ(r.prop("x79"), "<flag>");
    // Names of distinct filter bits: the first lookup, and the index, come
    // only with the repeat, 40 names after the start.
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
    Reader f(dir.write("g", v1 + distinct + " \\\n d0\n"));
    ASSERT_NE(f.info, nullptr);
    EXPECT_EQ(f.next(), ckpTypeHeader);
    ckptest::resetErrors();
    EXPECT_EQ(f.next(), ckpTypeObject);
    EXPECT_EQ(ckptest::resetErrors(), 1);
    EXPECT_STREQ(ckpGetError(), "duplicate \"d0\" property");
    EXPECT_EQ(f.props().size(), 41u);
}

TEST(Builder, PropertyFaults) {
    struct Case {
        const char* record;
        const char* message;
        long column;
        int props; // properties kept
    };
    const Case cases[] = {
        {"p a=\n", "missing '\"' for property value", 4, 0},
        {"p ok=\"1\" bad-name=\"1\"\n", "illegal character in property name", 12, 1},
        {"p a=\"open\n", "missing '\"' for property value", 9, 0},
        {"p a=x\n", "missing '\"' for property value", 4, 0},
        {"p a\"x\"\n", "illegal character in property name", 3, 0},
    };
    for (const Case& c : cases) {
        One o(c.record);
        EXPECT_EQ(o.type(), ckpTypeSyntax) << c.record;
        EXPECT_EQ(o.r.syntaxMsg(), c.message) << c.record;
        EXPECT_STREQ(ckpGetError(), c.message) << c.record;
        EXPECT_EQ(o.r.column(), c.column) << c.record;
        EXPECT_EQ(static_cast<int>(o.r.props().size()), c.props) << c.record;
    }
}

TEST(Builder, Paths) {
    struct Case {
        const char* record;
        const char* path;
    };
    const Case cases[] = {
        {"\"a \\\"q\\\" b\" x\n", "a \"q\" b"},
        {"\\\"abc\n", "\"abc"},
        {"ab\\\"c\n", "ab\\\"c"},
        {"\"my dir/f x\" a=\"1\"\n", "my dir/f x"},
        {"a\\b\\\\c\n", "a\\b\\\\c"},
        {"\\\n  second\n", "second"},
    };
    for (const Case& c : cases) {
        One o(c.record);
        EXPECT_EQ(o.type(), ckpTypeObject) << c.record;
        EXPECT_EQ(o.r.path(), c.path) << c.record;
    }
    {
        One o("\"\" a=\"1\"\n");
        EXPECT_EQ(o.type(), ckpTypeNone);
        EXPECT_EQ(o.r.path(), "");
    }
    {
        One o("\"my dir\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.syntaxMsg(), "missing '\"' in path name");
        EXPECT_EQ(o.r.column(), 7);
    }
}

TEST(Builder, LegacyFields) {
    {
        One o("lib/cell 3 STATIC rollback 5.1 checkout\n", false);
        EXPECT_EQ(o.type(), ckpTypeObject);
        EXPECT_EQ(o.r.props(), (Props{{"WRXv", "3"},
                                      {"WRXb", "static"},
                                      {"WRXo", "reset_default"},
                                      {CKP_PROP_PYXE_VERSION, "5.1"},
                                      {"WRXo", "co"}}));
    }
    {
        One o("p 12 Dynamic branch 4.20\n", false);
        EXPECT_EQ(o.r.props(),
                  (Props{{"WRXv", "12"}, {"WRXb", "dynamic"}, {CKP_PROP_PYXE_VERSION, "4.20"}}));
    }
    {
        One o("p 12 dynamic\n", false);
        EXPECT_EQ(o.type(), ckpTypeObject);
        EXPECT_EQ(o.r.props().size(), 2U);
    }
}

TEST(Builder, LegacyFieldFaults) {
    struct Case {
        const char* record;
        const char* message;
        long column;
    };
    const Case cases[] = {
        {"p\n", "missing <WRX_version>", 1},
        {"p 12\n", "missing <binding>", 4},
        {"p x1 static\n", "use <non-negative integer> for <WRX_version>", 2},
        {"p 1x static\n", "use <non-negative integer> for <WRX_version>", 3},
        {"p 1 fixed\n", "use static or dynamic for <binding>", 4},
        {"p 1 static 4\n", "use <major>.<minor> for <PYXE_version>", 11},
        {"p 1 static rollback 4.\n", "use <major>.<minor> for <PYXE_version>", 20},
        {"p 1 static branch 4.2 checkout extra\n", "unrecognized field", 31},
        {"p 1 static 4.2 other\n", "unrecognized field", 15},
        {"p \\\n 1 static\n", "missing <WRX_version>", 2},
    };
    for (const Case& c : cases) {
        One o(c.record, false);
        EXPECT_EQ(o.type(), ckpTypeSyntax) << c.record;
        EXPECT_EQ(o.r.syntaxMsg(), c.message) << c.record;
        EXPECT_EQ(o.r.column(), c.column) << c.record;
        EXPECT_EQ(o.r.cursorLine(), 0) << c.record;
    }
}

TEST(Builder, VersionPairs) {
    EXPECT_EQ(tiIsVersionPair("10.02"), 1);
    EXPECT_EQ(tiIsVersionPair("1."), 0);
    EXPECT_EQ(tiIsVersionPair(".1"), 0);
    EXPECT_EQ(tiIsVersionPair("1.2.3"), 0);
    EXPECT_EQ(tiIsVersionPair("1.2x"), 0);
    EXPECT_EQ(tiIsVersionPair(nullptr), 0);
}

TEST(Builder, RootedPathsByRecordKind) {
    {
        One o("/abs WRXc\n");
        EXPECT_EQ(o.type(), ckpTypeConfigPath);
        EXPECT_STREQ(ckpGetConfigPath(o.r.info), "/abs");
    }
    {
        One o("/abs WRXsd\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.syntaxMsg(), "use relative path name");
        EXPECT_EQ(o.r.column(), 0);
    }
    {
        One o("/abs WRXsd\n", true, 1);
        EXPECT_EQ(o.type(), ckpTypeSubDir);
        EXPECT_STREQ(ckpGetSubDir(o.r.info), "/abs");
    }
    {
        One o("/abs 1 static\n", false);
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.syntaxMsg(), "use relative path name");
    }
    {
        One o("/abs.ckp WRXinc\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax); // the rooted rule holds for includes
    }
}

TEST(Builder, QualifierPlacesAndConflicts) {
    {
        // A qualifier on the second line types the record.
        One o("sub \\\n WRXsd\n");
        EXPECT_EQ(o.type(), ckpTypeSubDir);
    }
    {
        One o("p WRXc WRXsd\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.syntaxMsg(), "conflicting path quailifier properties");
        EXPECT_STREQ(ckpGetConfigPath(o.r.info), "p");
        EXPECT_STREQ(ckpGetSubDir(o.r.info), "p");
        EXPECT_EQ(o.r.column(), 7); // on the qualifier that made the conflict
    }
    {
        One o("p WRXc=\"v\" x WRXc\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.column(), 2);
    }
    {
        One o("p WRXinc WRXsd\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
    }
    {
        // The conflicting qualifier on a continuation line: the head end.
        One o("path \\\n WRXsd WRXc\n");
        EXPECT_EQ(o.type(), ckpTypeSyntax);
        EXPECT_EQ(o.r.cursorLine(), 0);
        EXPECT_EQ(o.r.column(), 4);
    }
    {
        // Reserved names are ordinary properties; qualifier values are ignored.
        One o("p WRXv=\"1\" WRXlist WRXc=\"ignored\"\n");
        EXPECT_EQ(o.type(), ckpTypeConfigPath);
    }
}
