// The host buffers of the private memory requests: an entry is taken out only by its own bus
// address, cookie and length together, and not while a copy pins it; a copy's range must lie inside
// one entry, to the byte; the table is bounded; a cookie is never handed out twice while live, and
// none is left behind.
#include "TraceTestSupport.h"

#include <algorithm>
#include <vector>

#include "hostbuffertable.h"
#include "km/pointercookie.h"

namespace {

using tracetest::TraceTest;

PHYSICAL_ADDRESS Bus(LONGLONG value)
{
    PHYSICAL_ADDRESS address;
    address.QuadPart = value;
    return address;
}

class HostBufferTableTest : public TraceTest {};

TEST_F(HostBufferTableTest, AnEntryLeavesOnlyWithAllThreeWords)
{
    HostBufferTable table;
    alignas(8) static UCHAR memory[4096];
    ULONG cookie = 0;
    ASSERT_EQ(table.Add(memory, Bus(0x10000), sizeof(memory), &cookie), STATUS_SUCCESS);
    EXPECT_NE(cookie, 0u);
    PVOID address = memory;
    EXPECT_EQ(table.Remove(Bus(0x10000), cookie + 1, 4096, &address), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(address, nullptr);
    EXPECT_EQ(table.Remove(Bus(0x10008), cookie, 4096, &address), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(table.Remove(Bus(0x10000), cookie, 4095, &address), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(table.Remove(Bus(0x10000), 0, 4096, &address), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(table.Remove(Bus(0x10000), cookie, 4096, &address), STATUS_SUCCESS);
    EXPECT_EQ(address, memory);
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.Remove(Bus(0x10000), cookie, 4096, &address), STATUS_INVALID_PARAMETER) << "gone after the first";
    EXPECT_EQ(standin::PointerCookie::Resolve(cookie, &table), nullptr) << "its cookie is dropped";
}

TEST_F(HostBufferTableTest, CopyRangesMustLieInsideOneEntry)
{
    HostBufferTable table;
    alignas(8) static UCHAR first[256];
    alignas(8) static UCHAR second[256];
    ULONG firstCookie = 0;
    ULONG secondCookie = 0;
    ASSERT_EQ(table.Add(first, Bus(0x1000), 256, &firstCookie), STATUS_SUCCESS);
    ASSERT_EQ(table.Add(second, Bus(0x1100), 256, &secondCookie), STATUS_SUCCESS);
    const auto inside = [&](ULONG busAddress, ULONG length) {
        ULONG pinned = 0;
        if (!table.PinRange(busAddress, length, &pinned)) {
            EXPECT_EQ(pinned, 0u);
            return false;
        }
        EXPECT_TRUE(pinned == firstCookie || pinned == secondCookie);
        table.Unpin(pinned);
        return true;
    };
    EXPECT_TRUE(inside(0x1000, 256));
    EXPECT_TRUE(inside(0x10FF, 1));
    EXPECT_TRUE(inside(0x1100, 0));
    EXPECT_FALSE(inside(0x10FF, 2)) << "two adjacent entries are not one range";
    EXPECT_FALSE(inside(0x0FFF, 2));
    EXPECT_FALSE(inside(0x1100, 0xFFFFFFFF)) << "no 32-bit wrap";
    EXPECT_FALSE(inside(0x1201, 0));
    table.Clear();
    EXPECT_FALSE(inside(0x1000, 1));
}

TEST_F(HostBufferTableTest, APinnedEntryStaysUntilEveryPinEnds)
{
    HostBufferTable table;
    alignas(8) static UCHAR memory[512];
    ULONG cookie = 0;
    ASSERT_EQ(table.Add(memory, Bus(0x8000), sizeof(memory), &cookie), STATUS_SUCCESS);
    ULONG pinned = 0;
    ULONG again = 0;
    ASSERT_TRUE(table.PinRange(0x8010, 16, &pinned));
    ASSERT_TRUE(table.PinRange(0x8100, 256, &again));
    EXPECT_EQ(pinned, cookie);
    EXPECT_EQ(again, cookie);
    PVOID address = memory;
    EXPECT_EQ(table.Remove(Bus(0x8000), cookie, 512, &address), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(address, nullptr);
    table.Unpin(pinned);
    EXPECT_EQ(table.Remove(Bus(0x8000), cookie, 512, &address), STATUS_INVALID_DEVICE_STATE) << "one pin left";
    // A wrong cookie ends no pin.
    table.Unpin(cookie + 1);
    table.Unpin(0);
    EXPECT_EQ(table.Remove(Bus(0x8000), cookie, 512, &address), STATUS_INVALID_DEVICE_STATE);
    table.Unpin(again);
    EXPECT_EQ(table.Remove(Bus(0x8000), cookie, 512, &address), STATUS_SUCCESS);
    EXPECT_EQ(address, memory);
    // Stop and removal clear pinned entries too (no request runs then).
    ASSERT_EQ(table.Add(memory, Bus(0x8000), sizeof(memory), &cookie), STATUS_SUCCESS);
    ASSERT_TRUE(table.PinRange(0x8000, 1, &pinned));
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
}

TEST_F(HostBufferTableTest, TheTableIsBoundedAndRefusesNothingToRecord)
{
    HostBufferTable table;
    static UCHAR memory[HostBufferTable::kMaximumEntries + 1][16];
    std::vector<ULONG> cookies;
    for (ULONG i = 0; i < HostBufferTable::kMaximumEntries; ++i) {
        ULONG cookie = 0;
        ASSERT_EQ(table.Add(memory[i], Bus(0x100000 + 16 * i), 16, &cookie), STATUS_SUCCESS);
        cookies.push_back(cookie);
    }
    std::sort(cookies.begin(), cookies.end());
    EXPECT_EQ(std::adjacent_find(cookies.begin(), cookies.end()), cookies.end()) << "cookies are unique";
    ULONG cookie = 1;
    EXPECT_EQ(table.Add(memory[HostBufferTable::kMaximumEntries], Bus(0x200000), 16, &cookie),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(table.Add(nullptr, Bus(0x300000), 16, &cookie), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(table.Add(memory[0], Bus(0x300000), 0, &cookie), STATUS_INVALID_PARAMETER);
    // The destructor drops every cookie still live: the verifier's leak check sees none.
}

} // namespace
