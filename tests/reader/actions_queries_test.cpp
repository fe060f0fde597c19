// One-shot actions of ckpGets, property queries and generators.
#include <gtest/gtest.h>

#include <string>

#include "common/testutil.hpp"
#include "reading.hpp"

using readtest::Props;
using readtest::Reader;
using readtest::v1;

TEST(Actions, OneShotActions) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a x=\"1\"\nb WRXc\nc\n"));
    ASSERT_NE(r.info, nullptr);
    EXPECT_EQ(r.next(), ckpTypeHeader);
    EXPECT_EQ(r.next(), ckpTypeObject);
    // 4: the held record once more, then reading goes on.
    ckpSetAction(r.info, 1, 4);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.path(), "a");
    // 2 on a built record builds it anew, without repeating its properties.
    ckptest::resetErrors();
    ckpSetAction(r.info, 1, 2);
    EXPECT_EQ(r.next(), ckpTypeObject);
    EXPECT_EQ(r.props(), (Props{{"x", "1"}}));
    EXPECT_EQ(ckpGetNumError(), 0);
    // actionSet other than 1: no effect.
    ckpSetAction(r.info, 0, 4);
    EXPECT_EQ(r.next(), ckpTypeConfigPath);
    EXPECT_EQ(r.path(), "b");
    // 1: raw, neither built nor typed; 2 builds it; 3 types it.
    ckpSetAction(r.info, 1, 1);
    EXPECT_EQ(r.next(), ckpTypeNone);
    EXPECT_EQ(r.text(), "c");
    EXPECT_EQ(r.path(), "b");
    ckpSetAction(r.info, 1, 2);
    EXPECT_EQ(r.next(), ckpTypeNone);
    EXPECT_EQ(r.path(), "c");
    ckpSetAction(r.info, 1, 3);
    EXPECT_EQ(r.next(), ckpTypeObject);
    // Codes above 5 read on; a plain read at the end gives 0.
    ckpSetAction(r.info, 1, 9);
    EXPECT_EQ(r.next(), ckpTypeEnd);
    EXPECT_EQ(ckpGets(r.info), 0);
    ckpSetAction(r.info, 1, 5);
    EXPECT_EQ(ckpGets(r.info), 0);
    ckpSetAction(r.info, 1, 4);
    EXPECT_EQ(ckpGets(r.info), 1);
    EXPECT_EQ(ckpGetType(r.info), ckpTypeEnd);
    EXPECT_EQ(ckpGets(nullptr), 0);
}

TEST(Queries, PropertiesAndPaths) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a d=\"1\" f d=\"2\"\n"));
    ASSERT_NE(r.info, nullptr);
    r.next();
    r.next();
    char* value = reinterpret_cast<char*>(1);
    EXPECT_EQ(ckpGetProp(r.info, "d", &value), 1);
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(ckpGetProp(r.info, "f", &value), 1);
    EXPECT_EQ(value, nullptr);
    ckptest::resetErrors();
    EXPECT_EQ(ckpGetProp(r.info, "D", &value), 0); // names are exact
    EXPECT_EQ(ckpGetNumError(), 0);
    EXPECT_EQ(ckpGetProp(r.info, "", &value), 0);
    EXPECT_STREQ(ckpGetError(), "no property name in ckpGetProp");
    EXPECT_EQ(ckpGetProp(nullptr, "d", &value), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpGetProp");
    EXPECT_EQ(ckpGetProp(r.info, "d", nullptr), 1);

    EXPECT_EQ(ckpGetType(nullptr), ckpTypeError);
    EXPECT_STREQ(ckpGetError(), "no ti_struct in ckpGetType");
    EXPECT_STREQ(ckpGetConfigPath(nullptr), "<unknown>");
    EXPECT_EQ(ckpGetSubDir(nullptr), nullptr);
    EXPECT_EQ(ckpGetObjPath(nullptr), nullptr);
    EXPECT_EQ(ckpGetConfigPath(r.info), nullptr);
    EXPECT_STREQ(ckpGetObjPath(r.info), "a");
}

// Generators walk one record's properties independently, in line order;
// the next record ends every one of them, and bad ids are refused.
TEST(Queries, Generators) {
    ckptest::TempDir dir;
    Reader r(dir.write("f", v1 + "a \\\n x=\"1\" y \\\n z=\"3\"\nbare\n"));
    ASSERT_NE(r.info, nullptr);
    r.next();
    r.next();
    // Properties on the second and third lines only, in line order.
    EXPECT_EQ(r.props(), (Props{{"x", "1"}, {"y", "<flag>"}, {"z", "3"}}));

    int one = 0;
    int two = 0;
    char* name = nullptr;
    char* value = nullptr;
    ASSERT_EQ(ckpGenProp(r.info, &one, &name, &value), 1);
    EXPECT_EQ(one, 2);
    ASSERT_EQ(ckpGenProp(r.info, &two, &name, nullptr), 1);
    EXPECT_EQ(two, 3);
    EXPECT_STREQ(name, "x");
    ASSERT_EQ(ckpGenProp(r.info, &one, nullptr, &value), 1);
    EXPECT_EQ(value, nullptr); // y
    ASSERT_EQ(ckpGenProp(r.info, &one, &name, &value), 1);
    EXPECT_STREQ(name, "z");
    EXPECT_EQ(ckpGenProp(r.info, &one, &name, &value), 0);
    EXPECT_EQ(one, 0);
    EXPECT_EQ(name, nullptr);
    ASSERT_EQ(ckpGenProp(r.info, &two, &name, &value), 1);
    EXPECT_STREQ(name, "y");

    int bad = 7;
    EXPECT_EQ(ckpGenProp(r.info, &bad, &name, &value), 0);
    EXPECT_STREQ(ckpGetError(), "illegal property generator id");
    bad = -1;
    EXPECT_EQ(ckpGenProp(r.info, &bad, &name, &value), 0);
    EXPECT_EQ(ckpGenProp(r.info, nullptr, &name, &value), 0);
    EXPECT_EQ(ckpGenProp(nullptr, &bad, &name, &value), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpGenProp");

    EXPECT_EQ(r.next(), ckpTypeObject);
    ckptest::resetErrors();
    EXPECT_EQ(ckpGenProp(r.info, &two, &name, &value), 0);
    EXPECT_STREQ(ckpGetError(), "illegal property generator id");
    // A record without properties: the walk ends at once, a slot is taken.
    int id = 0;
    EXPECT_EQ(ckpGenProp(r.info, &id, &name, &value), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(ckpGetNumError(), 1);
}
