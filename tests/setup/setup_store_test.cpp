// The setup store: entries in order, save, clear and load back, dumps.
#include <gtest/gtest.h>

#include <string>

#include "common/testutil.hpp"
#include "setup/store.hpp"

TEST(SetupStore, RoundTripKeepsEntriesPropertiesAndOrder) {
    ckptest::TempDir dir;
    std::string name = dir.file("s1");
    ASSERT_EQ(ckpSetupGetEntry(name.c_str(), "a"), 0);
    ASSERT_EQ(ckpSetupCreate(name.c_str()), 1);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "b", "cell"), 1);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "a", nullptr), 1);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "B", ""), 1);
    EXPECT_EQ(ckpSetupCreateEntry(name.c_str(), "a", nullptr), 0);
    EXPECT_EQ(ckpSetupSetProp(name.c_str(), "a", "owner", "alice"), 1);
    EXPECT_EQ(ckpSetupSetProp(name.c_str(), "a", "frozen", nullptr), 1);
    kvoStrlist* list = ckpSetupGetEntryList(name.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list[0], "B");
    EXPECT_STREQ(list[1], "a");
    EXPECT_STREQ(list[2], "b");
    EXPECT_EQ(list[3], nullptr);
    kvoFreeStrlist(list);
    ASSERT_EQ(ckpSetupSave(name.c_str(), nullptr), 1);
    EXPECT_EQ(ckptest::readFile(name),
              "WRXCHECKPOINT=\"1.0\"\nB\na frozen owner=\"alice\"\nb entrytype=\"cell\"\n");
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

TEST(SetupStore, FailedLoadsLeaveNothingAndBadSavesKeepTheOldFile) {
    ckptest::TempDir dir;
    ckptest::ReportCapture reports;
    std::string bad = dir.write("bad", "WRXCHECKPOINT=\"1.0\"\na x=\"1\nb y=\"2\"\nb z=\"3\"\n");
    EXPECT_EQ(ckpSetupLoad(bad.c_str()), 0);
    EXPECT_EQ(ckpSetupGetEntry(bad.c_str(), "b"), 0);
    EXPECT_NE(reports.joined().find("Error (kvoSetupAddEntry): couldn't add entry to checkpoint."),
              std::string::npos);

    std::string good = dir.write("good", "WRXCHECKPOINT=\"1.0\"\nx\n");
    ASSERT_EQ(ckpSetupLoad(good.c_str()), 1);
    EXPECT_EQ(ckpSetupSetProp(good.c_str(), "x", "bad-name", "v"), 1);
    EXPECT_EQ(ckpSetupSave(good.c_str(), nullptr), 0);
    EXPECT_EQ(ckptest::readFile(good), "WRXCHECKPOINT=\"1.0\"\nx\n");
    EXPECT_EQ(ckpSetupClear(good.c_str()), 1);
}
