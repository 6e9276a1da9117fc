// Sparse DSP memory: chunk lookup and the copies that cross chunk boundaries.
#include "board/DspMemory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "LittleEndian.h"

namespace board {

void DspMemory::Check(uint32_t address, size_t length)
{
    if (uint64_t{address} + length > (uint64_t{1} << 32))
        throw std::out_of_range("DSP memory access runs past address 0xFFFFFFFF");
}

void DspMemory::Read(uint32_t address, void* data, size_t length) const
{
    Check(address, length);
    auto* out = static_cast<uint8_t*>(data);
    std::lock_guard lock(m_lock);
    uint64_t at = address;
    while (length > 0) {
        const uint32_t offset = static_cast<uint32_t>(at) & (kChunkSize - 1);
        const size_t piece = std::min<size_t>(length, kChunkSize - offset);
        auto chunk = m_chunks.find(static_cast<uint32_t>(at >> kChunkShift));
        if (chunk == m_chunks.end())
            std::memset(out, 0, piece);
        else
            std::memcpy(out, chunk->second->data() + offset, piece);
        out += piece;
        at += piece;
        length -= piece;
    }
}

void DspMemory::Write(uint32_t address, const void* data, size_t length)
{
    Check(address, length);
    const auto* in = static_cast<const uint8_t*>(data);
    std::lock_guard lock(m_lock);
    uint64_t at = address;
    while (length > 0) {
        const uint32_t offset = static_cast<uint32_t>(at) & (kChunkSize - 1);
        const size_t piece = std::min<size_t>(length, kChunkSize - offset);
        const uint32_t index = static_cast<uint32_t>(at >> kChunkShift);
        auto chunk = m_chunks.find(index);
        if (chunk != m_chunks.end()) {
            std::memcpy(chunk->second->data() + offset, in, piece);
        } else if (std::any_of(in, in + piece, [](uint8_t b) { return b != 0; })) {
            // Zeros into memory never written change nothing, so zeroing large ranges stays cheap.
            auto fresh = std::make_unique<Chunk>();
            fresh->fill(0);
            std::memcpy(fresh->data() + offset, in, piece);
            m_chunks.emplace(index, std::move(fresh));
        }
        in += piece;
        at += piece;
        length -= piece;
    }
}

void DspMemory::Fill(uint32_t address, uint8_t value, size_t length)
{
    Check(address, length);
    const std::vector<uint8_t> block(std::min<size_t>(length, kChunkSize), value);
    uint64_t at = address;
    while (length > 0) {
        const size_t piece = std::min(length, block.size());
        Write(static_cast<uint32_t>(at), block.data(), piece);
        at += piece;
        length -= piece;
    }
}

uint32_t DspMemory::Read32(uint32_t address) const
{
    uint8_t bytes[4];
    Read(address, bytes, 4);
    return LoadLittle32(bytes);
}

void DspMemory::Write32(uint32_t address, uint32_t value)
{
    uint8_t bytes[4];
    StoreLittle32(bytes, value);
    Write(address, bytes, 4);
}

size_t DspMemory::ChunkCount() const
{
    std::lock_guard lock(m_lock);
    return m_chunks.size();
}

} // namespace board
