// Default run transfers of a device model: one single access per unit, in address order.
#include "platform/bus/DeviceMemory.h"

#include <cstring>

namespace platform {

void DeviceMemory::ReadBuffer(uint64_t offset, AccessWidth width, void* data, size_t count)
{
    auto* out = static_cast<unsigned char*>(data);
    const size_t unit = WidthBytes(width);
    for (size_t i = 0; i < count; ++i, offset += unit, out += unit) {
        switch (width) {
        case AccessWidth::Byte: {
            const uint8_t v = Read8(offset);
            std::memcpy(out, &v, unit);
            break;
        }
        case AccessWidth::Word: {
            const uint16_t v = Read16(offset);
            std::memcpy(out, &v, unit);
            break;
        }
        case AccessWidth::Dword: {
            const uint32_t v = Read32(offset);
            std::memcpy(out, &v, unit);
            break;
        }
        }
    }
}

void DeviceMemory::WriteBuffer(uint64_t offset, AccessWidth width, const void* data, size_t count)
{
    const auto* in = static_cast<const unsigned char*>(data);
    const size_t unit = WidthBytes(width);
    for (size_t i = 0; i < count; ++i, offset += unit, in += unit) {
        switch (width) {
        case AccessWidth::Byte: {
            uint8_t v;
            std::memcpy(&v, in, unit);
            Write8(offset, v);
            break;
        }
        case AccessWidth::Word: {
            uint16_t v;
            std::memcpy(&v, in, unit);
            Write16(offset, v);
            break;
        }
        case AccessWidth::Dword: {
            uint32_t v;
            std::memcpy(&v, in, unit);
            Write32(offset, v);
            break;
        }
        }
    }
}

} // namespace platform
