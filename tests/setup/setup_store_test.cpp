// The setup store: entries in byte order, save, clear and load back, and
// the copies it hands out.
#include <gtest/gtest.h>

#include <string>

#include "common/records.hpp"
#include "common/testutil.hpp"
#include "setup/store.hpp"

TEST(SetupStore, RoundTripKeepsEntriesPropertiesAndByteOrder) {
    ckptest::TempDir dir;
    std::string name = dir.file("s1");
    // Before the setup exists nothing is found or made.
    EXPECT_EQ(ckpSetupGetEntry(name.c_str(), "a"), 0);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "a", nullptr), 0);
    EXPECT_EQ(ckpSetupSetProp(name.c_str(), "a", "p", "v"), 0);
    EXPECT_EQ(ckpSetupGetEntryList(name.c_str()), nullptr);
    ASSERT_EQ(ckpSetupCreate(name.c_str()), 1);
    EXPECT_EQ(ckpSetupGetEntryList(name.c_str()), nullptr);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "b", "cell"), 1);
    for (const char* entry : {"\xc3\xa9t\xc3\xa9", "a", "B", "_", "B1"}) {
        ASSERT_EQ(ckpSetupCreateEntry(name.c_str(), entry, ""), 1) << entry;
    }
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "a", nullptr), 0);
    {
        ckptest::ReportCapture reports;
        EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "", "cell"), 0);
        EXPECT_EQ(reports.joined(),
                  "Error (ckpSetupAddEntry): checkpoint add entry called with no name value.\n");
    }
    EXPECT_EQ(ckpSetupSetProp(name.c_str(), "a", "owner", "alice"), 1);
    EXPECT_EQ(ckpSetupSetProp(name.c_str(), "a", "frozen", nullptr), 1);
    kvoStrlist* list = ckpSetupGetEntryList(name.c_str());
    ASSERT_NE(list, nullptr);
    std::string order;
    for (kvoStrlist* e = list; *e != nullptr; ++e) {
        order += std::string(*e) + " ";
    }
    kvoFreeStrlist(list);
    EXPECT_EQ(order, "B B1 _ a b \xc3\xa9t\xc3\xa9 ");
    ASSERT_EQ(ckpSetupSave(name.c_str(), nullptr), 1);
    EXPECT_EQ(ckptest::readFile(name), "WRXCHECKPOINT=\"1.0\"\nB\nB1\n_\na frozen owner=\"alice\"\n"
                                       "b entrytype=\"cell\"\n\xc3\xa9t\xc3\xa9\n");
    ASSERT_EQ(ckpSetupClear(name.c_str()), 1);
    ASSERT_EQ(ckpSetupLoad(name.c_str()), 1);
    char* value = nullptr;
    ASSERT_EQ(ckpSetupGetProp(name.c_str(), "a", "owner", &value), 1);
    EXPECT_STREQ(value, "alice");
    free(value);
    ASSERT_EQ(ckpSetupGetProp(name.c_str(), "a", "frozen", &value), 1);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(ckpSetupDelEntry(name.c_str(), "zz"), 0);
    EXPECT_EQ(ckpSetupDelProp(name.c_str(), "a", "owner"), 1);
    EXPECT_EQ(ckpSetupClear(name.c_str()), 1);
}

TEST(SetupStore, HandedOutPropertiesAreSortedCopies) {
    ckptest::TempDir dir;
    std::string name = dir.file("copies");
    ASSERT_EQ(ckpSetupCreate(name.c_str()), 1);
    ASSERT_EQ(ckpSetupCreateEntry(name.c_str(), "a", ""), 1);
    // An entry without type has no properties: two arrays of one null each.
    EXPECT_EQ(ckptest::setupProps(name.c_str(), "a"), "");
    ASSERT_EQ(ckpSetupSetProp(name.c_str(), "a", "z", "last"), 1);
    ASSERT_EQ(ckpSetupSetProp(name.c_str(), "a", "Y", "first"), 1);
    ASSERT_EQ(ckpSetupSetProp(name.c_str(), "a", "flag", nullptr), 1);
    char** names = nullptr;
    char** values = nullptr;
    ASSERT_EQ(ckpSetupGetAllProps(name.c_str(), "a", &names, &values), 1);
    ASSERT_NE(names[2], nullptr);
    EXPECT_STREQ(names[0], "Y");
    EXPECT_STREQ(names[1], "flag");
    EXPECT_EQ(values[1], nullptr);
    EXPECT_STREQ(names[2], "z");
    EXPECT_EQ(names[3], nullptr);
    // Changing what was handed out changes nothing in the store.
    names[0][0] = 'X';
    values[0][0] = 'F';
    for (int i = 0; names[i] != nullptr; ++i) {
        free(names[i]);
        free(values[i]);
    }
    free(names);
    free(values);
    char* value = nullptr;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(ckpSetupGetProp(name.c_str(), "a", "Y", &value), 1);
        EXPECT_STREQ(value, "first");
        value[0] = 'x';
        free(value);
    }
    // A missing property leaves the out pointer alone.
    char marker = 'm';
    value = &marker;
    EXPECT_EQ(ckpSetupGetProp(name.c_str(), "a", "none", &value), 0);
    EXPECT_EQ(value, &marker);
    EXPECT_EQ(ckpSetupDelEntry(name.c_str(), "a"), 1);
    EXPECT_EQ(ckpSetupGetEntry(name.c_str(), "a"), 0);
    EXPECT_EQ(ckpSetupClear(name.c_str()), 1);
    EXPECT_EQ(ckpSetupClear(name.c_str()), 0);
}
