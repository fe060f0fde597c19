// One entry found by reading a setup file once must be what a load of the
// file holds, and a file whose load fails or needs the whole setup must not
// be answered from the read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ckp/ckp.hpp"
#include "common/testutil.hpp"
#include "setup_find.hpp"

namespace {

using ckptool::findEntry;
using ckptool::FoundEntry;

const std::string header = "WRXCHECKPOINT=\"1.0\"\n";

std::string manyProps() {
    std::string record = "wide";
    for (int i = 40; i-- > 0;) {
        record += " p" + std::to_string(i % 25) + "=\"" + std::to_string(i) + "\"";
    }
    return record + " flag\n";
}

struct FindCase {
    const char* what;
    std::string bytes;
    const char* entry;
    bool sure;
};

TEST(SetupFind, AgreesWithTheLoadedSetup) {
    const std::vector<FindCase> cases = {
        {"ascending, properties out of order, repeated, flag and empty value",
         header + "a x=\"1\"\nb z=\"2\" a=\"\" z=\"3\" m\nc\n", "b", true},
        {"descending", header + "c\nb k=\"v\"\na\n", "b", true},
        {"missing entry", header + "a\nc\n", "b", true},
        {"no entries", header, "b", true},
        {"comments, continuation and a rooted path",
         header + "; top\n/r/a k=\"1\" \\\n  j=\"2\" ; tail\n/r/b\n", "/r/a", true},
        {"forty properties, some repeated", header + "a\n" + manyProps() + "z\n", "wide", true},
        {"names out of order need the whole setup", header + "b\na k=\"1\"\nc\n", "a", false},
        {"entry given twice", header + "a k=\"1\"\na k=\"2\"\n", "a", false},
        {"entry given twice apart", header + "a\nb\nc\nb\n", "b", false},
        {"syntax error after the entry", header + "a k=\"1\"\nb k=\"\n", "a", false},
        {"a second header", header + "a\n" + header + "b\n", "a", false},
        {"no header", "a k=\"1\"\n", "a", false},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.what);
        ckptest::TempDir dir;
        std::string file = dir.write("s.setup", c.bytes);
        FoundEntry found = findEntry(file, c.entry);
        EXPECT_EQ(found.sure, c.sure);
        std::optional<ckp::Setup> loaded;
        try {
            loaded = ckp::Setup::load(file);
        } catch (const ckp::Error&) {
            EXPECT_FALSE(found.sure) << "the load fails";
            continue;
        }
        if (found.sure) {
            ASSERT_EQ(found.props.has_value(), loaded->has_entry(c.entry));
            if (found.props) {
                EXPECT_EQ(*found.props, loaded->props(c.entry));
            }
        }
        loaded->clear();
    }
}

} // namespace
