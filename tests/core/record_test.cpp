// The record buffer: new records, appended text, popping and deep copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/props.hpp"
#include "core/record.hpp"

namespace {
ckpInfo* handleWithLines(int lines, int firstNumber) {
    ckpInfo* info = tiNewInfo();
    tiNewFile(info, "f", 1, nullptr);
    for (int i = 0; i < lines; ++i) {
        ckpLine* l = tiNewLine(info->file);
        std::snprintf(l->text, ckpLineSize, "line%d", i);
        tiAddProp(l, 0, ckptest::cat("p", std::to_string(i)).c_str(), "v");
    }
    info->file->firstLine->lineNumber = firstNumber;
    return info;
}
} // namespace

TEST(RecordBuffer, NewRecordKeepsTheCountOnTheReusedLine) {
    ckpInfo* info = handleWithLines(3, 12);
    ckpLine* first = info->file->firstLine;
    ckpFile* file = nullptr;
    ckpLine* line = nullptr;
    ASSERT_EQ(tiNewRecord(info, "ckpGets", 0, &file, &line), 1);
    EXPECT_EQ(line, first); // the first line is the one reused
    EXPECT_EQ(file->firstLine, file->lastLine);
    EXPECT_EQ(line->lineNumber, 12);
    EXPECT_EQ(line->text[0], '\0');
    EXPECT_EQ(line->firstProp, nullptr);
    EXPECT_EQ(info->curLine, line);
    EXPECT_EQ(info->write.pos, line->text);

    line->lineNumber = 7;
    ASSERT_EQ(tiNewRecord(info, "ckpCreateObj", 1, nullptr, &line), 1);
    EXPECT_EQ(line->lineNumber, 8);
    tiFreeInfo(info);

    ckptest::resetErrors();
    EXPECT_EQ(tiNewRecord(nullptr, "ckpRecord", 1, nullptr, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no ckpInfo in ckpRecord");
}

TEST(RecordBuffer, AppendNeverRunsPastTheLine) {
    ckpInfo* info = handleWithLines(1, 0);
    tiNewRecord(info, "t", 1, nullptr, nullptr);
    tiAppendText(info, "abc");
    tiAppendText(info, nullptr);
    tiAppendText(info, "def");
    EXPECT_STREQ(info->file->firstLine->text, "abcdef");
    std::string huge(2000, 'z');
    tiAppendText(info, huge.c_str());
    EXPECT_EQ(std::strlen(info->file->firstLine->text), 511u);
    tiFreeInfo(info);
}

TEST(RecordBuffer, CopyIsDeepNumberedAndCutAtTheHead) {
    ckpInfo* src = handleWithLines(3, 40);
    ckpLine* first = src->file->firstLine;
    first->headEnd = first->text + 4; // "line" | "0"
    first->continued = 1;
    src->type = ckpTypeObject;
    tiReplaceStr(&src->objPath, "obj");
    tiReplaceStr(&src->configPath, "cfg");

    ckpInfo* dst = handleWithLines(1, 4);
    tiReplaceStr(&dst->subDir, "old");
    dst->walks.cursors = static_cast<ckpProp**>(tiAlloc(2 * sizeof(ckpProp*)));
    dst->walks.count = 1;
    ASSERT_EQ(tiCopy(src, dst), 1);

    ckpLine* l = dst->file->firstLine;
    EXPECT_STREQ(l->text, "line");
    EXPECT_EQ(l->headEnd, l->text + 4);
    EXPECT_EQ(l->lineNumber, 4);
    EXPECT_EQ(l->continued, 1);
    EXPECT_EQ(l->next->lineNumber, 5);
    EXPECT_EQ(l->next->next->lineNumber, 6);
    // Continuation lines carry only their properties after a copy.
    EXPECT_STREQ(l->next->text, "");
    int n = 0;
    for (ckpProp* p = l->firstProp; p != nullptr; p = tiNextProp(p)) {
        EXPECT_EQ(std::string(p->name), ckptest::cat("p", std::to_string(n++)));
    }
    EXPECT_EQ(n, 3);
    EXPECT_EQ(dst->type, ckpTypeObject);
    EXPECT_STREQ(dst->objPath, "obj");
    EXPECT_STREQ(dst->configPath, "cfg");
    EXPECT_EQ(dst->subDir, nullptr);
    EXPECT_EQ(dst->walks.count, 0);
    EXPECT_EQ(dst->walks.cursors, nullptr);
    EXPECT_EQ(dst->curLine, l);
    EXPECT_EQ(dst->write.line, dst->file->lastLine);
    // The source is untouched.
    EXPECT_STREQ(src->file->firstLine->text, "line0");
    EXPECT_NE(src->file->firstLine->firstProp, l->firstProp);
    tiFreeInfo(src);
    tiFreeInfo(dst);
}

TEST(RecordBuffer, CopyChecksBothSides) {
    ckptest::resetErrors();
    ckpInfo* a = handleWithLines(1, 0);
    ckpInfo* empty = tiNewInfo();
    EXPECT_EQ(tiCopy(nullptr, a), 0);
    EXPECT_STREQ(ckpGetError(), "no source ckpInfo in tiCopy");
    EXPECT_EQ(tiCopy(empty, a), 0);
    EXPECT_STREQ(ckpGetError(), "no source ckpFile in tiCopy");
    EXPECT_EQ(tiCopy(a, nullptr), 0);
    EXPECT_STREQ(ckpGetError(), "no destination ckpInfo in tiCopy");
    EXPECT_EQ(tiCopy(a, empty), 0);
    EXPECT_STREQ(ckpGetError(), "no destination ckpFile in tiCopy");
    EXPECT_EQ(tiCopy(a, a), 0);
    EXPECT_STREQ(a->file->firstLine->text, "line0");
    tiFreeInfo(a);
    tiFreeInfo(empty);
}

TEST(RecordBuffer, PopReturnsToTheIncluder) {
    ckpInfo* info = handleWithLines(2, 9);
    ckpFile* includer = info->file;
    tiNewFile(info, "inc", 2, nullptr);
    tiNewLine(info->file);
    ckpFile* file = nullptr;
    ASSERT_EQ(tiPopFile(info, "ckpGets", 0, &file, nullptr), 1);
    EXPECT_EQ(file, includer);
    EXPECT_EQ(info->file, includer);
    EXPECT_EQ(includer->firstLine, includer->lastLine);
    EXPECT_EQ(includer->firstLine->lineNumber, 9);
    // On the main file a pop only starts a new record.
    ASSERT_EQ(tiPopFile(info, "ckpGets", 0, &file, nullptr), 1);
    EXPECT_EQ(info->file, includer);
    tiFreeInfo(info);
}
