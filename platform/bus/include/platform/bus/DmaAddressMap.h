// The bus addresses of host memory that devices may reach by DMA. The kernel registers each block of
// DMA memory (a common buffer) and gets a 32-bit bus address for it; device models then read and
// write host memory only through this map, by bus address and length, checked against the blocks.
//
// Bus addresses are page-aligned, never 0, unique among live blocks and come from a pool below 4 GB
// (by default 0x01000000 up to 0xE0000000, leaving the top of the 32-bit space to device ranges).
// They are handed out next-fit, so the address of a block just unregistered is not given to the next
// one: a device that keeps using a stale address meets no block rather than someone else's memory.
//
// Thread-safe: device threads transfer while the driver registers and unregisters. Unregistering a
// block waits for transfers already copying to or from it, so the host memory may be freed as soon as
// Unregister returns; a transfer that starts later fails.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/bus/BusStatus.h"

namespace platform {

class AddressAllocator;

class DmaAddressMap {
public:
    static constexpr uint32_t kPageSize = 4096;
    static constexpr uint32_t kDefaultPoolBase = 0x0100'0000;
    static constexpr uint32_t kDefaultPoolEnd = 0xE000'0000;

    // A pool [poolBase, poolEnd): poolBase page-aligned and non-zero, poolEnd above it; throws
    // std::invalid_argument otherwise.
    explicit DmaAddressMap(uint32_t poolBase = kDefaultPoolBase, uint32_t poolEnd = kDefaultPoolEnd);
    ~DmaAddressMap();
    DmaAddressMap(const DmaAddressMap&) = delete;
    DmaAddressMap& operator=(const DmaAddressMap&) = delete;

    // Registers `length` bytes of host memory at `host` (InvalidArgument for null or length 0,
    // NoAddressSpace when the pool has no room) and sets `busAddress` (0 on failure).
    BusStatus Register(void* host, size_t length, uint32_t& busAddress);
    // Unregisters the block at `busAddress`, which must have been registered with exactly this host
    // memory and length (NotRegistered, WrongSize and the block kept otherwise).
    BusStatus Unregister(uint32_t busAddress, const void* host, size_t length);

    // Device transfers. The bytes [busAddress, busAddress + length) must lie inside one block; a
    // transfer that strays outside every block (OutsideMemory) or runs into another block
    // (CrossesBlocks) touches nothing. Length 0 moves nothing and succeeds.
    BusStatus Read(uint32_t busAddress, void* data, size_t length);        // host memory -> device
    BusStatus Write(uint32_t busAddress, const void* data, size_t length); // device -> host memory

    size_t BlockCount() const;

private:
    struct Block;
    BusStatus Enter(uint32_t busAddress, size_t length, std::shared_ptr<Block>& block);

    mutable std::mutex m_lock;
    std::map<uint32_t, std::shared_ptr<Block>> m_blocks; // by bus address
    std::unique_ptr<AddressAllocator> m_addresses;
};

} // namespace platform
