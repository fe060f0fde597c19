// Properties, lines and generators on a handle's current record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/testutil.hpp"
#include "core/handle.hpp"
#include "core/memory.hpp"
#include "core/props.hpp"
#include "core/record.hpp"

namespace {
// A handle with one file of `lines` empty lines, as a reader would hold it.
struct Record {
    ckpInfo* info = tiNewInfo();
    Record(int lines) {
        tiNewFile(info, "f", 1, nullptr);
        for (int i = 0; i < lines; ++i) {
            tiNewLine(info->file);
        }
    }
    ~Record() { tiFreeInfo(info); }
    ckpLine* line(int i) const {
        ckpLine* l = info->file->firstLine;
        while (i-- > 0) {
            l = l->next;
        }
        return l;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        ckpProp* p = info->file->firstLine->firstProp;
        for (ckpLine* l = info->file->firstLine; p == nullptr && l != nullptr; l = l->next) {
            p = l->firstProp;
        }
        for (; p != nullptr; p = tiNextProp(p)) {
            out.emplace_back(p->name != nullptr ? p->name : "(null)");
        }
        return out;
    }
    // Starts a generator at the record's first property, as ckpGenProp does.
    int startGenerator(ckpProp* at) {
        int n = info->walks.count + 1;
        auto** gens = static_cast<ckpProp**>(tiAlloc(sizeof(ckpProp*) * (n + 1)));
        for (int i = 0; i < n; ++i) {
            gens[i] = info->walks.cursors != nullptr ? info->walks.cursors[i] : nullptr;
        }
        gens[n] = at;
        tiFree(info->walks.cursors);
        info->walks.cursors = gens;
        info->walks.count = n;
        return n;
    }
};
} // namespace

TEST(Properties, DuplicatesAreRecordedButKept) {
    ckptest::resetErrors();
    Record r(1);
    tiAddProp(r.line(0), 1, "a", "1");
    EXPECT_EQ(ckpGetNumError(), 0);
    tiAddProp(r.line(0), 1, "a", "2");
    EXPECT_EQ(ckpGetNumError(), 1);
    EXPECT_STREQ(ckpGetError(), "duplicate \"a\" property");
    EXPECT_EQ(r.names(), (std::vector<std::string>{"a", "a"}));
    EXPECT_STREQ(tiFindProp(r.info, "a")->value, "1");
    EXPECT_EQ(tiFindProp(r.info, "b"), nullptr);
    // Without the check nothing is recorded.
    tiAddProp(r.line(0), 0, "a", nullptr);
    EXPECT_EQ(ckpGetNumError(), 0);
}

TEST(Properties, WalkAndFreeAcrossLines) {
    Record r(3);
    ckpProp* p1 = tiAddProp(r.line(0), 0, "p1", nullptr);
    ckpProp* p3 = tiAddProp(r.line(2), 0, "p3", "x");
    ckpProp* p2 = tiAddProp(r.line(0), 0, "p2", nullptr);
    EXPECT_EQ(tiNextProp(p1), p2);
    EXPECT_EQ(tiNextProp(p2), p3); // skips the empty second line
    EXPECT_EQ(tiNextProp(p3), nullptr);
    EXPECT_EQ(tiFindProp(r.info, "p3"), p3);

    int g = r.startGenerator(p2);
    int h = r.startGenerator(p3);
    tiFreeProp(p2);
    EXPECT_EQ(r.info->walks.cursors[g], p3); // moved on, across the line boundary
    tiFreeProp(p3);
    EXPECT_EQ(r.info->walks.cursors[g], nullptr); // exhausted
    EXPECT_EQ(r.info->walks.cursors[h], nullptr);
    EXPECT_EQ(r.line(2)->firstProp, nullptr);
    EXPECT_EQ(r.line(2)->lastProp, nullptr);
    EXPECT_EQ(r.names(), (std::vector<std::string>{"p1"}));
}

TEST(Properties, FreeingTheTailKeepsTheListLinked) {
    Record r(1);
    tiAddProp(r.line(0), 0, "1", nullptr);
    tiAddProp(r.line(0), 0, "2", nullptr);
    ckpProp* third = tiAddProp(r.line(0), 0, "3", nullptr);
    tiFreeProp(third);
    tiAddProp(r.line(0), 0, "4", nullptr);
    EXPECT_EQ(r.names(), (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_STREQ(r.line(0)->lastProp->name, "4");
    EXPECT_EQ(tiFreeProp(nullptr), 0);
}

TEST(Lines, FreeingUnlinksFromEitherEnd) {
    Record r(3);
    ckpLine* middle = r.line(1);
    ckpLine* last = r.line(2);
    tiFreeLine(last);
    EXPECT_EQ(r.info->file->lastLine, middle);
    EXPECT_EQ(middle->next, nullptr);
    tiFreeLine(r.line(0));
    EXPECT_EQ(r.info->file->firstLine, middle);
    EXPECT_EQ(r.info->file->lastLine, middle);
}

TEST(Files, StackPushAndFree) {
    ckpInfo* info = tiNewInfo();
    ckpFile* bottom = tiNewFile(info, "main", 1, nullptr);
    ckpFile* top = tiNewFile(info, "inc", 2, nullptr);
    EXPECT_EQ(info->file, top);
    EXPECT_EQ(top->prev, bottom);
    EXPECT_EQ(top->syntax, -3);
    EXPECT_STREQ(top->name, "inc");
    EXPECT_EQ(tiFreeFile(top, "r"), nullptr);
    EXPECT_EQ(info->file, bottom);
    tiFreeInfo(info);
}

TEST(Files, ShownNames) {
    ckpFile f{};
    f.stream = stdin;
    EXPECT_STREQ(tiFileShownName(&f), "stdin");
    f.stream = stdout;
    EXPECT_STREQ(tiFileShownName(&f), "stdout");
    f.stream = stderr;
    EXPECT_STREQ(tiFileShownName(&f), "stderr");
    f.stream = nullptr;
    EXPECT_STREQ(tiFileShownName(&f), "file");
    char name[] = "a/b";
    f.name = name;
    EXPECT_STREQ(tiFileShownName(&f), "a/b");
}
