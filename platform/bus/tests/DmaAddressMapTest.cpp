// Bus addresses of host memory and the bounds of device transfers through them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/bus/DmaAddressMap.h"

using platform::BusStatus;
using platform::DmaAddressMap;

TEST(DmaAddressMap, AddressesArePageAlignedNonZeroUniqueAndBelow4G)
{
    DmaAddressMap map;
    std::vector<std::vector<unsigned char>> blocks;
    std::vector<uint32_t> buses;
    std::set<uint32_t> seen;
    for (size_t length : {size_t{1}, size_t{4096}, size_t{4097}, size_t{10000}, size_t{3}}) {
        blocks.emplace_back(length);
        uint32_t bus = 0;
        ASSERT_EQ(map.Register(blocks.back().data(), length, bus), BusStatus::Ok);
        EXPECT_NE(bus, 0u);
        EXPECT_EQ(bus % DmaAddressMap::kPageSize, 0u);
        EXPECT_GE(bus, DmaAddressMap::kDefaultPoolBase);
        EXPECT_LE(uint64_t{bus} + length, DmaAddressMap::kDefaultPoolEnd);
        EXPECT_TRUE(seen.insert(bus).second);
        buses.push_back(bus);
    }
    EXPECT_EQ(map.BlockCount(), 5u);
    // No two blocks share a bus address: each block's bytes are its own.
    for (size_t i = 0; i < buses.size(); ++i)
        for (size_t j = 0; j < buses.size(); ++j)
            if (buses[i] < buses[j]) {
                EXPECT_GE(buses[j] - buses[i], blocks[i].size());
            }
    for (size_t i = 0; i < buses.size(); ++i)
        EXPECT_EQ(map.Unregister(buses[i], blocks[i].data(), blocks[i].size()), BusStatus::Ok);
    EXPECT_EQ(map.BlockCount(), 0u);
}

TEST(DmaAddressMap, TransfersStayInsideTheirBlock)
{
    DmaAddressMap map;
    std::vector<unsigned char> host(4096 + 100, 0xEE);
    uint32_t bus = 0;
    ASSERT_EQ(map.Register(host.data(), host.size(), bus), BusStatus::Ok);
    const uint32_t end = bus + static_cast<uint32_t>(host.size());
    const unsigned char two[2] = {1, 2};
    EXPECT_EQ(map.Write(bus, two, 1), BusStatus::Ok);
    EXPECT_EQ(map.Write(end - 1, two + 1, 1), BusStatus::Ok);
    EXPECT_EQ(host.front(), 1);
    EXPECT_EQ(host.back(), 2);
    unsigned char out[2] = {0, 0};
    EXPECT_EQ(map.Read(end - 2, out, 2), BusStatus::Ok);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(out[1], 2);
    std::vector<unsigned char> whole(host.size());
    EXPECT_EQ(map.Read(bus, whole.data(), whole.size()), BusStatus::Ok);
    EXPECT_EQ(whole, host);

    const auto before = host;
    EXPECT_EQ(map.Write(end, two, 1), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Write(end - 1, two, 2), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Write(bus - 1, two, 2), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Write(0, two, 1), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Read(0xFFFFFFFF, out, 2), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Read(bus, out, SIZE_MAX), BusStatus::OutsideMemory);
    EXPECT_EQ(map.Write(bus, nullptr, 1), BusStatus::InvalidArgument);
    EXPECT_EQ(map.Write(0, nullptr, 0), BusStatus::Ok); // nothing moves
    EXPECT_EQ(host, before);
    EXPECT_EQ(map.Unregister(bus, host.data(), host.size()), BusStatus::Ok);
    EXPECT_EQ(map.Read(bus, out, 1), BusStatus::OutsideMemory);
}

TEST(DmaAddressMap, ATransferMayNotRunIntoTheNextBlock)
{
    DmaAddressMap map;
    std::vector<unsigned char> a(4096, 0xAA), b(4096, 0xBB);
    uint32_t busA = 0, busB = 0;
    ASSERT_EQ(map.Register(a.data(), a.size(), busA), BusStatus::Ok);
    ASSERT_EQ(map.Register(b.data(), b.size(), busB), BusStatus::Ok);
    ASSERT_EQ(busB, busA + 4096) << "consecutive blocks are laid back to back";
    const unsigned char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(map.Write(busB - 2, data, 4), BusStatus::CrossesBlocks);
    unsigned char out[4];
    EXPECT_EQ(map.Read(busB - 1, out, 2), BusStatus::CrossesBlocks);
    EXPECT_EQ(a.back(), 0xAA);
    EXPECT_EQ(b.front(), 0xBB);
    EXPECT_EQ(map.Write(busB, data, 4), BusStatus::Ok);
    EXPECT_EQ(b[3], 4);
    EXPECT_EQ(map.Unregister(busA, a.data(), a.size()), BusStatus::Ok);
    EXPECT_EQ(map.Unregister(busB, b.data(), b.size()), BusStatus::Ok);
}

TEST(DmaAddressMap, RegistrationArgumentsAreChecked)
{
    EXPECT_THROW(DmaAddressMap(0, 0x10000), std::invalid_argument);
    EXPECT_THROW(DmaAddressMap(0x1001, 0x10000), std::invalid_argument);
    EXPECT_THROW(DmaAddressMap(0x10000, 0x10000), std::invalid_argument);
    DmaAddressMap map;
    unsigned char host[16];
    uint32_t bus = 1;
    EXPECT_EQ(map.Register(nullptr, 16, bus), BusStatus::InvalidArgument);
    EXPECT_EQ(bus, 0u);
    EXPECT_EQ(map.Register(host, 0, bus), BusStatus::InvalidArgument);
    ASSERT_EQ(map.Register(host, sizeof host, bus), BusStatus::Ok);
    EXPECT_EQ(map.Unregister(bus + 4096, host, sizeof host), BusStatus::NotRegistered);
    EXPECT_EQ(map.Unregister(bus, host + 1, sizeof host), BusStatus::WrongSize);
    EXPECT_EQ(map.Unregister(bus, host, sizeof host - 1), BusStatus::WrongSize);
    EXPECT_EQ(map.BlockCount(), 1u);
    EXPECT_EQ(map.Unregister(bus, host, sizeof host), BusStatus::Ok);
    EXPECT_EQ(map.Unregister(bus, host, sizeof host), BusStatus::NotRegistered);
}

TEST(DmaAddressMap, FreedAddressesComeBackOnlyAfterThePoolWraps)
{
    DmaAddressMap map(0x10000, 0x14000); // four pages
    unsigned char host[3][4096];
    uint32_t bus[3] = {};
    ASSERT_EQ(map.Register(host[0], 4096, bus[0]), BusStatus::Ok);
    ASSERT_EQ(map.Unregister(bus[0], host[0], 4096), BusStatus::Ok);
    ASSERT_EQ(map.Register(host[1], 4096, bus[1]), BusStatus::Ok);
    EXPECT_NE(bus[1], bus[0]);
    ASSERT_EQ(map.Register(host[2], 2 * 4096, bus[2]), BusStatus::Ok);
    uint32_t none = 1;
    EXPECT_EQ(map.Register(host[0], 2 * 4096, none), BusStatus::NoAddressSpace);
    EXPECT_EQ(none, 0u);
    // One page is left, below the cursor: the search wraps round to it.
    ASSERT_EQ(map.Register(host[0], 4096, none), BusStatus::Ok);
    EXPECT_EQ(none, 0x10000u);
    EXPECT_EQ(map.Unregister(none, host[0], 4096), BusStatus::Ok);
    EXPECT_EQ(map.Unregister(bus[1], host[1], 4096), BusStatus::Ok);
    EXPECT_EQ(map.Unregister(bus[2], host[2], 2 * 4096), BusStatus::Ok);
}

// Device threads copy in and out while the driver takes the block away and frees the memory at
// once: no copy may touch it after Unregister returned (the sanitizers watch for it).
TEST(DmaAddressMap, UnregisterWaitsForTransfersInProgress)
{
    DmaAddressMap map;
    for (int round = 0; round < 20; ++round) {
        const size_t length = 64 * 1024;
        auto* host = new unsigned char[length]();
        uint32_t bus = 0;
        ASSERT_EQ(map.Register(host, length, bus), BusStatus::Ok);
        std::atomic<uint64_t> transfers{0};
        std::vector<std::thread> devices;
        for (int t = 0; t < 3; ++t)
            devices.emplace_back([&, t] {
                // Each device works in a third of the block of its own: only the removal is shared.
                const uint32_t share = static_cast<uint32_t>(length / 3);
                std::vector<unsigned char> chunk(4 * 1024, static_cast<unsigned char>(t));
                for (uint32_t offset = 0;; offset = (offset + 1024) % (share - chunk.size())) {
                    const uint32_t at = bus + t * share + offset;
                    const BusStatus status = t == 0 ? map.Read(at, chunk.data(), chunk.size())
                                                    : map.Write(at, chunk.data(), chunk.size());
                    if (status != BusStatus::Ok) {
                        EXPECT_EQ(status, BusStatus::OutsideMemory);
                        return;
                    }
                    ++transfers;
                }
            });
        while (transfers < 50)
            std::this_thread::yield();
        EXPECT_EQ(map.Unregister(bus, host, length), BusStatus::Ok);
        delete[] host;
        for (auto& d : devices)
            d.join();
    }
}
