// Text copied out to a caller's buffer by the rule of the Get...Directory calls: the length without
// the terminating zero when it fits, else the size needed with it and nothing written.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

namespace user {

template <typename CharT>
uint32_t CopyTextOut(const std::basic_string<CharT>& text, CharT* buffer, uint32_t size)
{
    const auto needed = static_cast<uint32_t>(text.size() + 1);
    if (!buffer || size < needed)
        return needed;
    std::memcpy(buffer, text.c_str(), needed * sizeof(CharT));
    return needed - 1;
}

} // namespace user
