// Little-endian 32-bit words in byte buffers, as every board file format and DSP word stores them.
#pragma once
#include <cstdint>
#include <vector>

namespace board {

inline uint32_t LoadLittle32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void StoreLittle32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

inline void AppendLittle32(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t bytes[4];
    StoreLittle32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

} // namespace board
