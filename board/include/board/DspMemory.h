// The DSP's 32-bit address space as sparse memory: 64 KB chunks made on the first write that stores
// anything but zeros; bytes never written read 0. Thread-safe; every access is bounds-checked
// against the 32-bit space.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace board {

class DspMemory {
public:
    static constexpr uint32_t kChunkShift = 16;
    static constexpr uint32_t kChunkSize = 1u << kChunkShift;

    // Copy `length` bytes at `address`; a range past 0xFFFFFFFF throws std::out_of_range and
    // touches nothing.
    void Read(uint32_t address, void* data, size_t length) const;
    void Write(uint32_t address, const void* data, size_t length);
    void Fill(uint32_t address, uint8_t value, size_t length);

    uint32_t Read32(uint32_t address) const;
    void Write32(uint32_t address, uint32_t value);

    // How many chunks hold memory (for tests of the sparseness).
    size_t ChunkCount() const;

private:
    using Chunk = std::array<uint8_t, kChunkSize>;
    static void Check(uint32_t address, size_t length);

    mutable std::mutex m_lock;
    std::unordered_map<uint32_t, std::unique_ptr<Chunk>> m_chunks; // by address >> kChunkShift
};

} // namespace board
