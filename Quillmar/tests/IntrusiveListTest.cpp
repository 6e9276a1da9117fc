// IntrusiveList: elements in, out and walked through a link at an offset inside them.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "kernel/intrusivelist.h"

namespace {

struct Record {
    int value;
    char padding[20];
    IntrusiveListLink link;
};

std::vector<int> Values(const IntrusiveList& list)
{
    std::vector<int> values;
    for (void* e = list.First(); e; e = list.Next(e))
        values.push_back(static_cast<Record*>(e)->value);
    return values;
}

} // namespace

TEST(IntrusiveList, EmptyListAnswersNull)
{
    IntrusiveList list;
    list.Initialize(offsetof(Record, link));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_EQ(list.RemoveHead(), nullptr);
    EXPECT_EQ(list.RemoveTail(), nullptr);
    EXPECT_EQ(list.Next(nullptr), nullptr);
    EXPECT_EQ(list.Count(), 0u);
    list.InsertTail(nullptr);
    EXPECT_EQ(list.Count(), 0u);
}

TEST(IntrusiveList, InsertWalkAndRemoveByElement)
{
    Record r[4] = {{1, {}, {}}, {2, {}, {}}, {3, {}, {}}, {4, {}, {}}};
    IntrusiveList list(offsetof(Record, link));
    for (auto& record : r)
        list.InsertTail(&record);
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_EQ(Values(list), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(list.Next(&r[3]), nullptr);

    EXPECT_EQ(list.RemoveHead(), &r[0]);
    EXPECT_EQ(list.RemoveTail(), &r[3]);
    EXPECT_EQ(Values(list), (std::vector<int>{2, 3}));

    list.Remove(&r[2]);
    EXPECT_EQ(Values(list), (std::vector<int>{2}));
    list.Remove(&r[2]); // on no list any more: left alone
    list.Remove(&r[0]);
    EXPECT_EQ(list.Count(), 1u);

    list.InsertTail(&r[0]); // a removed element can go on again
    EXPECT_EQ(Values(list), (std::vector<int>{2, 1}));
    EXPECT_EQ(list.RemoveHead(), &r[1]);
    EXPECT_EQ(list.RemoveHead(), &r[0]);
    EXPECT_TRUE(list.IsEmpty());
}

TEST(IntrusiveList, InitializeForgetsTheElements)
{
    Record a{5, {}, {}};
    IntrusiveList list(offsetof(Record, link));
    list.InsertTail(&a);
    list.Initialize(offsetof(Record, link));
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.First(), nullptr);
}
