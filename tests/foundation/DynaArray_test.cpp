#include "foundation/DynaArray.h"
#include "foundation/OutOfMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using foundation::TDynaArray;

namespace {

// A plain record as the line tracer keeps them.
struct Seg {
    std::int32_t x1, y1, x2, y2;
    bool newpoly;
};

// A record that owns memory, as the dictionary rows do (texts beyond the
// short-string buffer so that a byte copy would share or leak heap blocks).
struct Owning {
    std::u16string a, b;
};

std::u16string longText(int i) {
    return u"dictionary row text that does not fit a small buffer #" +
           std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
           std::u16string(static_cast<std::size_t>(i % 7), u'x');
}

// Appends n records; record i gets x1 = 1000 + i, y1 = i.
void fill(TDynaArray<Seg>& a, int n) {
    const auto start = static_cast<int>(a.count());
    for (int i = start; i < start + n; ++i) {
        Seg* s = a.Add();
        ASSERT_NE(s, nullptr);
        s->x1 = 1000 + i;
        s->y1 = i;
        s->x2 = -1;
        s->y2 = -2;
        s->newpoly = true;
    }
}

std::vector<std::int32_t> keys(TDynaArray<Seg>& a) {
    std::vector<std::int32_t> v;
    for (const Seg& s : a)
        v.push_back(s.x1);
    return v;
}

bool isZero(const Seg& s) {
    return s.x1 == 0 && s.y1 == 0 && s.x2 == 0 && s.y2 == 0 && !s.newpoly;
}

constexpr std::uint32_t Block = 100 * sizeof(Seg);

class DynaArrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        foundation::setOutOfMemoryHandler([this](const std::string& t) { messages.push_back(t); });
    }
    void TearDown() override {
        foundation::setBlockLimitForTesting(std::numeric_limits<std::size_t>::max());
        foundation::setOutOfMemoryHandler({});
    }

    Seg* aseg = reinterpret_cast<Seg*>(0x1); // the array must clear it at creation
    std::vector<std::string> messages;
};

TEST_F(DynaArrayTest, CreationClearsTheOwnersPointer) {
    TDynaArray<Seg> a(&aseg);
    EXPECT_EQ(aseg, nullptr);
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(a.aobjnr(), -1);
    EXPECT_EQ(a.amemsize(), 0u);
    EXPECT_EQ(a.aobj(), nullptr);
}

TEST_F(DynaArrayTest, GrowsInStepsOfHundredRecords) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 1);
    EXPECT_EQ(a.amemsize(), Block);
    fill(a, 99);
    EXPECT_EQ(a.count(), 100u);
    EXPECT_EQ(a.amemsize(), Block);

    Seg* s = a.Add(); // the 101st moves everything into a block of 200
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.amemsize(), 2 * Block);
    EXPECT_TRUE(isZero(*s));
    EXPECT_EQ(aseg, s);
    EXPECT_EQ(a.aobjnr(), 100);
    for (std::uint32_t i = 0; i < 100; ++i)
        ASSERT_EQ(a[i].x1, static_cast<std::int32_t>(1000 + i));

    fill(a, 100); // 201 records: 300, never doubled
    EXPECT_EQ(a.amemsize(), 3 * Block);
}

TEST_F(DynaArrayTest, ShrinksInStepsOfHundredRecords) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 101);
    a.Delete(0);
    EXPECT_EQ(a.count(), 100u);
    EXPECT_EQ(a.amemsize(), Block);
    EXPECT_EQ(a[0].x1, 1001);
    EXPECT_EQ(a[99].x1, 1100);
}

TEST_F(DynaArrayTest, DeletingTheLastRecordReleasesTheBlock) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 1);
    a.Delete(0);
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(a.amemsize(), 0u);
    EXPECT_EQ(aseg, nullptr);
    Seg* s = a.Add();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.amemsize(), Block);
    EXPECT_TRUE(isZero(*s));
}

TEST_F(DynaArrayTest, DeleteMovesFollowersDownAndLeavesNoCurrentRecord) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 5);
    a.GetObject(3);
    a.Delete(1);
    EXPECT_EQ(keys(a), (std::vector<std::int32_t>{1000, 1002, 1003, 1004}));
    EXPECT_EQ(a.aobjnr(), -1);
    EXPECT_EQ(a.aobj(), nullptr);
    EXPECT_EQ(aseg, nullptr);
    EXPECT_FALSE(a.WhileNext()); // the walk has nothing to continue from
}

struct BadIndex {
    const char* name;
    int records;
    std::int32_t nr;
};

class DeleteIgnoresTest : public DynaArrayTest, public ::testing::WithParamInterface<BadIndex> {};

TEST_P(DeleteIgnoresTest, ArrayAndCursorStay) {
    const BadIndex c = GetParam();
    TDynaArray<Seg> a(&aseg);
    fill(a, c.records);
    if (c.records > 0)
        a.GetObject(0);
    Seg* before = aseg;
    const auto k = keys(a);
    a.Delete(c.nr);
    EXPECT_EQ(keys(a), k);
    EXPECT_EQ(aseg, before);
    EXPECT_EQ(a.aobjnr(), c.records > 0 ? 0 : -1);
}

INSTANTIATE_TEST_SUITE_P(Bounds, DeleteIgnoresTest,
                         ::testing::Values(BadIndex{"MinusOne", 3, -1}, BadIndex{"Count", 3, 3},
                                           BadIndex{"ZeroOnEmpty", 0, 0},
                                           BadIndex{"Huge", 3, std::numeric_limits<int>::max()}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(DynaArrayTest, InsertAtCountAppends) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 3);
    Seg* s = a.Insert(3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.count(), 4u);
    EXPECT_EQ(s, &a[3]);
    EXPECT_TRUE(isZero(*s));
    EXPECT_EQ(aseg, s);
}

TEST_F(DynaArrayTest, InsertOutsideReturnsNullAndChangesNothing) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 3);
    a.GetObject(1);
    for (std::int32_t nr : {4, -1, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(a.Insert(nr), nullptr) << nr;
        EXPECT_EQ(keys(a), (std::vector<std::int32_t>{1000, 1001, 1002}));
        EXPECT_EQ(aseg, &a[1]);
    }
}

TEST_F(DynaArrayTest, InsertInTheMiddleShiftsAndZeroesTheNewRecord) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 5);
    a.Delete(4); // the slot behind the records held a record before
    Seg* s = a.Insert(1);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(isZero(*s));
    EXPECT_EQ(keys(a), (std::vector<std::int32_t>{1000, 0, 1001, 1002, 1003}));
    EXPECT_EQ(a.aobjnr(), 1);
    EXPECT_EQ(aseg, &a[1]);
}

TEST_F(DynaArrayTest, InsertAcrossABlockBoundary) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 100);
    Seg* s = a.Insert(0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.amemsize(), 2 * Block);
    EXPECT_TRUE(isZero(a[0]));
    EXPECT_EQ(a[1].x1, 1000);
    EXPECT_EQ(a[100].x1, 1099);
}

TEST_F(DynaArrayTest, ChangeSwapsAndMakesTheSecondCurrent) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 6);
    a.Change(2, 5);
    EXPECT_EQ(keys(a), (std::vector<std::int32_t>{1000, 1001, 1005, 1003, 1004, 1002}));
    EXPECT_EQ(a.aobjnr(), 5);
    EXPECT_EQ(aseg, &a[5]);
    EXPECT_EQ(aseg->x1, 1002);

    a.Change(3, 3);
    EXPECT_EQ(aseg, &a[3]);

    a.Change(1, 6); // one index outside: nothing happens
    a.Change(-1, 0);
    EXPECT_EQ(keys(a), (std::vector<std::int32_t>{1000, 1001, 1005, 1003, 1004, 1002}));
    EXPECT_EQ(aseg, &a[3]);
}

TEST_F(DynaArrayTest, ClearReleasesEverything) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 150);
    a.Clear();
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(a.amemsize(), 0u);
    EXPECT_EQ(a.aobjnr(), -1);
    EXPECT_EQ(aseg, nullptr);
    a.First();
    EXPECT_FALSE(a.WhileNext());
}

struct WalkCase {
    int records;
    int steps;
    bool lastResult;
    int current; // record the owner's pointer addresses afterwards
    std::int32_t aobjnr;
};

class WhileNextTest : public DynaArrayTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WhileNextTest, FirstThenSteps) {
    const WalkCase c = GetParam();
    TDynaArray<Seg> a(&aseg);
    fill(a, c.records);
    a.First();
    bool r = true;
    for (int i = 0; i < c.steps; ++i)
        r = a.WhileNext();
    EXPECT_EQ(r, c.lastResult);
    EXPECT_EQ(aseg, &a[static_cast<std::uint32_t>(c.current)]);
    EXPECT_EQ(a.aobjnr(), c.aobjnr);
}

INSTANTIATE_TEST_SUITE_P(Arrays, WhileNextTest,
                         ::testing::Values(WalkCase{5, 3, true, 2, 3}, WalkCase{3, 3, true, 2, 3},
                                           WalkCase{3, 4, false, 2, 3}, WalkCase{1, 1, true, 0, 1}),
                         [](const ::testing::TestParamInfo<WalkCase>& i) {
                             return "Records" + std::to_string(i.param.records) + "Steps" +
                                    std::to_string(i.param.steps);
                         });

TEST_F(DynaArrayTest, WalkVisitsAllInOrderWithIndexOneBehind) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 5);
    std::vector<std::int32_t> seen;
    a.First();
    while (a.WhileNext()) {
        EXPECT_EQ(aseg->y1, a.aobjnr() - 1);
        seen.push_back(aseg->x1);
    }
    EXPECT_EQ(seen, (std::vector<std::int32_t>{1000, 1001, 1002, 1003, 1004}));
}

TEST_F(DynaArrayTest, FirstOnAnEmptyArrayKeepsTheCursorIndex) {
    TDynaArray<Seg> a(&aseg);
    a.First();
    EXPECT_EQ(a.aobjnr(), -1);
    EXPECT_FALSE(a.WhileNext());
    EXPECT_FALSE(a.Next());
    EXPECT_EQ(aseg, nullptr);
}

TEST_F(DynaArrayTest, NextStartsAtZeroAndStopsAtTheEnd) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 3);
    a.Delete(2); // no current record now, two left
    ASSERT_EQ(a.aobjnr(), -1);
    EXPECT_TRUE(a.Next());
    EXPECT_EQ(a.aobjnr(), 0);
    EXPECT_EQ(aseg, &a[0]);
    EXPECT_TRUE(a.Next());
    EXPECT_EQ(aseg, &a[1]);
    EXPECT_FALSE(a.Next());
    EXPECT_EQ(a.aobjnr(), 1);
    EXPECT_EQ(aseg, &a[1]);
}

TEST_F(DynaArrayTest, GetObjectMovesTheCursor) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 4);
    EXPECT_EQ(a.GetObject(2), &a[2]);
    EXPECT_EQ(aseg, &a[2]);
    EXPECT_EQ(a.aobjnr(), 2);
    EXPECT_EQ(a.GetObject(4), nullptr); // beyond the records: cursor stays
    EXPECT_EQ(aseg, &a[2]);
}

TEST_F(DynaArrayTest, WorksWithoutAnOwnerPointer) {
    TDynaArray<Seg> a;
    Seg* s = a.Add();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(a.aobj(), s);
}

TEST_F(DynaArrayTest, RecordsThatOwnTextsSurviveGrowthInsertDeleteAndChange) {
    Owning* arow = nullptr;
    TDynaArray<Owning> a(&arow);
    std::vector<std::u16string> expect;
    for (int i = 0; i < 250; ++i) {
        Owning* r = (i % 3 == 0) ? a.Insert(static_cast<std::int32_t>(a.count() / 2)) : a.Add();
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(r->a.empty());
        r->a = longText(i);
        r->b = r->a + u" b";
        expect.insert(expect.begin() + (arow - a.begin()), r->a);
    }
    for (int k = 0; k < 160; ++k) {
        const auto nr = static_cast<std::int32_t>(static_cast<std::uint32_t>(k * 37) % a.count());
        a.Delete(nr);
        expect.erase(expect.begin() + nr);
    }
    a.Change(0, static_cast<std::int32_t>(a.count() - 1));
    std::swap(expect.front(), expect.back());
    ASSERT_EQ(a.count(), expect.size());
    EXPECT_EQ(a.amemsize(), 100u * sizeof(Owning));
    for (std::uint32_t i = 0; i < a.count(); ++i) {
        EXPECT_EQ(a[i].a, expect[i]) << i;
        EXPECT_EQ(a[i].b, expect[i] + u" b") << i;
    }
}

TEST_F(DynaArrayTest, AppendManyUsesOneBlockOfTheUsualSize) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 3);
    a[2].x1 = 77;
    Seg* first = a.Append(250);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, &a[3]);
    EXPECT_EQ(a.count(), 253u);
    EXPECT_EQ(a.amemsize(), 3 * Block);
    EXPECT_EQ(a[2].x1, 77);
    for (std::uint32_t i = 3; i < 253; ++i)
        ASSERT_TRUE(isZero(a[i])) << i;
    EXPECT_EQ(aseg, &a[252]);
    EXPECT_EQ(a.aobjnr(), 252);

    Seg* more = a.Append(47); // fits the block: 300 records exactly
    ASSERT_NE(more, nullptr);
    EXPECT_EQ(a.amemsize(), 3 * Block);
    EXPECT_EQ(a.Append(0), nullptr);
    EXPECT_EQ(a.count(), 300u);
}

// Out of memory: the text goes to the handler and the array stays as it was.
TEST_F(DynaArrayTest, FirstBlockFailureReportsError1) {
    TDynaArray<Seg> a(&aseg);
    foundation::setBlockLimitForTesting(Block - 1);
    EXPECT_EQ(a.Add(), nullptr);
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(a.amemsize(), 0u);
    EXPECT_EQ(aseg, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error 1 while trying to allocate " + std::to_string(Block) +
                               " bytes of RAM. Not enough memory.");
}

TEST_F(DynaArrayTest, GrowingFailureReportsError2AndKeepsTheRecords) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 100);
    a.GetObject(7);
    foundation::setBlockLimitForTesting(Block);
    EXPECT_EQ(a.Add(), nullptr);
    EXPECT_EQ(a.Insert(50), nullptr);
    EXPECT_EQ(a.Append(5), nullptr);
    EXPECT_EQ(a.count(), 100u);
    EXPECT_EQ(a.amemsize(), Block);
    EXPECT_EQ(aseg, &a[7]);
    EXPECT_EQ(a[50].x1, 1050);
    EXPECT_EQ(a[99].x1, 1099);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Error 2 while trying to allocate " + std::to_string(2 * Block) +
                               " bytes of RAM. Not enough memory.");
}

TEST_F(DynaArrayTest, ShrinkingFailureReportsError3AndDeletesNothing) {
    TDynaArray<Seg> a(&aseg);
    fill(a, 101);
    foundation::setBlockLimitForTesting(Block - 1);
    a.Delete(0);
    EXPECT_EQ(a.count(), 101u);
    EXPECT_EQ(a.amemsize(), 2 * Block);
    EXPECT_EQ(a[0].x1, 1000);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error 3 while trying to allocate " + std::to_string(Block) +
                               " bytes of RAM. Not enough memory.");
    foundation::setBlockLimitForTesting(std::numeric_limits<std::size_t>::max());
    a.Delete(0); // works again once memory is back
    EXPECT_EQ(a.count(), 100u);
}

} // namespace
