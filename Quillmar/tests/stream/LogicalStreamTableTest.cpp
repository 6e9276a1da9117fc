// The device's table of live logical streams: handles of slot and generation, rundown references,
// and the removal that waits until every reference taken before it is given back.
#include <gtest/gtest.h>

#include "logicalstreamtable.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The table never looks at what it holds: any distinct addresses do.
LogicalStream* Fake(int i)
{
    static char streams[LogicalStreamTable::kSlots + 4];
    return reinterpret_cast<LogicalStream*>(&streams[i]);
}

// Inserted and published, as a stream whose construction has ended.
LogicalStreamHandle Insert(LogicalStreamTable& table, LogicalStream* stream)
{
    const LogicalStreamHandle handle = table.Insert(stream);
    table.Publish(handle);
    return handle;
}

TEST(LogicalStreamTable, AStreamStillBeingBuiltIsOutOfReachUntilPublished)
{
    LogicalStreamTable table;
    const LogicalStreamHandle handle = table.Insert(Fake(0));
    ASSERT_FALSE(handle.IsNull());
    EXPECT_EQ(table.Reference(handle), nullptr);
    EXPECT_TRUE(table.HandleOfSlot(handle.Slot()).IsNull());
    EXPECT_EQ(table.GetCount(), 1u); // the slot is taken all the same
    table.Publish(handle);
    EXPECT_EQ(table.HandleOfSlot(handle.Slot()), handle);
    EXPECT_EQ(table.Reference(handle), Fake(0));
    table.Dereference(handle);
    table.Remove(handle);
    // A slot used again starts unpublished.
    const LogicalStreamHandle next = table.Insert(Fake(1));
    EXPECT_EQ(table.Reference(next), nullptr);
    table.Remove(next);
}

TEST(LogicalStreamTable, HandlesNameTheirStreamUntilTheSlotsRunOut)
{
    LogicalStreamTable table;
    std::vector<LogicalStreamHandle> handles;
    for (ULONG i = 0; i < LogicalStreamTable::kSlots; ++i) {
        const LogicalStreamHandle handle = Insert(table, Fake(i));
        ASSERT_FALSE(handle.IsNull()) << i;
        EXPECT_EQ(handle.Slot(), i);
        handles.push_back(handle);
    }
    EXPECT_TRUE(table.Insert(Fake(LogicalStreamTable::kSlots)).IsNull());
    EXPECT_TRUE(table.Insert(nullptr).IsNull());
    EXPECT_EQ(table.GetCount(), LogicalStreamTable::kSlots);
    for (ULONG i = 0; i < handles.size(); ++i) {
        EXPECT_EQ(table.Reference(handles[i]), Fake(i));
        EXPECT_EQ(table.GetReferenceCount(handles[i]), 1u);
        table.Dereference(handles[i]);
        table.Remove(handles[i]);
    }
    EXPECT_EQ(table.GetCount(), 0u);
}

TEST(LogicalStreamTable, NullForeignAndOutOfRangeHandlesAreRefused)
{
    LogicalStreamTable table;
    const LogicalStreamHandle handle = Insert(table, Fake(0));
    EXPECT_EQ(table.Reference(LogicalStreamHandle{}), nullptr);
    EXPECT_EQ(table.Reference(LogicalStreamHandle::Make(200, handle.Generation())), nullptr);
    EXPECT_EQ(table.Reference(LogicalStreamHandle::Make(0, handle.Generation() + 1)), nullptr);
    EXPECT_EQ(table.Reference(LogicalStreamHandle::Make(1, handle.Generation())), nullptr); // empty slot
    EXPECT_FALSE(table.IsLive(LogicalStreamHandle{}));
    // A reference given back that was never taken changes nothing.
    table.Dereference(handle);
    EXPECT_EQ(table.GetReferenceCount(handle), 0u);
    table.Remove(handle);
}

TEST(LogicalStreamTable, ARemovedStreamsHandleStaysStaleWhenItsSlotIsReused)
{
    LogicalStreamTable table;
    const LogicalStreamHandle first = Insert(table, Fake(0));
    table.Remove(first);
    EXPECT_FALSE(table.IsLive(first));
    const LogicalStreamHandle second = Insert(table, Fake(1));
    EXPECT_EQ(second.Slot(), first.Slot());
    EXPECT_NE(second.value, first.value);
    EXPECT_EQ(table.Reference(first), nullptr);
    EXPECT_EQ(table.Reference(second), Fake(1));
    table.Dereference(second);
    // Removing the stale handle leaves the new stream alone.
    table.Remove(first);
    EXPECT_TRUE(table.IsLive(second));
    table.Remove(second);
}

TEST(LogicalStreamTable, RevokeRefusesNewReferencesAndTheRundownWaitsForTheOldOnes)
{
    LogicalStreamTable table;
    const LogicalStreamHandle handle = Insert(table, Fake(0));
    ASSERT_EQ(table.Reference(handle), Fake(0));
    ASSERT_EQ(table.Reference(handle), Fake(0));
    EXPECT_TRUE(table.Revoke(handle));
    EXPECT_FALSE(table.Revoke(handle));
    EXPECT_FALSE(table.IsLive(handle));
    EXPECT_EQ(table.Reference(handle), nullptr);
    EXPECT_EQ(table.GetReferenceCount(handle), 2u);

    std::atomic<int> released{0};
    std::atomic<bool> removed{false};
    int releasedWhenRemoved = -1;
    std::thread remover([&] {
        table.AwaitRundown(handle);
        releasedWhenRemoved = released.load();
        removed = true;
    });
    table.Dereference(handle);
    ++released;
    EXPECT_FALSE(removed.load()); // one reference is still held
    ++released;
    table.Dereference(handle);
    remover.join();
    EXPECT_EQ(releasedWhenRemoved, 2);
    EXPECT_EQ(table.GetCount(), 0u);
}

TEST(LogicalStreamTable, ReferencesRacingARemovalAllEndBeforeItReturns)
{
    LogicalStreamTable table;
    const LogicalStreamHandle handle = Insert(table, Fake(0));
    std::atomic<bool> go{false};
    std::atomic<int> afterRemoval{0};
    std::atomic<bool> removalDone{false};
    std::vector<std::thread> users;
    for (int t = 0; t < 4; ++t)
        users.emplace_back([&] {
            while (!go.load()) {
            }
            for (int i = 0; i < 2000; ++i) {
                LogicalStreamReference reference(&table, handle);
                if (!reference)
                    break;
                if (removalDone.load())
                    ++afterRemoval; // a reference alive after the removal returned
            }
        });
    go = true;
    table.Remove(handle);
    removalDone = true;
    for (auto& user : users)
        user.join();
    EXPECT_EQ(afterRemoval.load(), 0);
    EXPECT_EQ(table.GetCount(), 0u);
}

} // namespace
