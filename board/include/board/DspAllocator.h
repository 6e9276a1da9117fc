// The main firmware's DSP memory allocator (commands 1 and 4): two pools, internal and external
// memory, first fit, 256-byte aligned blocks that never cross a 4 MB window page, non-zero handles
// never reused within a boot. Not thread-safe: the command set guards it.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace board {

struct DspBlock {
    uint32_t handle = 0;
    uint32_t address = 0;
    uint32_t length = 0;
    uint32_t memoryType = 0;
    bool flag = false;   // +24 bit 0 of the allocate command
    uint32_t value4 = 0; // +32
    uint32_t value5 = 0; // +36
    bool operator==(const DspBlock&) const = default;
};

class DspAllocator {
public:
    static constexpr uint32_t kInternalType = 0;
    static constexpr uint32_t kExternalType = 1;
    static constexpr uint32_t kInternalBase = 0x0002'0000;
    static constexpr uint32_t kInternalEnd = 0x0004'0000;
    static constexpr uint32_t kExternalBase = 0x8010'0000;
    static constexpr uint32_t kExternalEnd = 0x8400'0000;
    static constexpr uint32_t kAlignment = 256;
    static constexpr uint32_t kPageSize = 0x40'0000; // one window page
    static constexpr uint32_t kMaxBlock = kPageSize;

    // Fills `block` (address, handle and the request's fields) and returns the DSP result: 1, 2 for
    // a bad type or length, 3 when no room is left.
    uint32_t Allocate(const DspBlock& request, DspBlock& block);
    // 1, or 4 when no block has the handle.
    uint32_t Free(uint32_t handle);
    std::optional<DspBlock> Find(uint32_t handle) const;
    // Every block, by handle.
    std::vector<DspBlock> Blocks() const;
    // A new boot: no blocks, handles from 1 again.
    void Clear();

private:
    std::map<uint32_t, DspBlock> m_blocks; // by handle
    uint32_t m_nextHandle = 1;
};

} // namespace board
