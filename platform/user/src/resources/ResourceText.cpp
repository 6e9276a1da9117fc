// The text a resource holds (registration scripts, type-library text).
#include "resources/ResourceText.h"

#include "text/AnsiText.h"
#include "um/stringapiset.h"
#include "um/winnls.h"

namespace user {

std::u16string ResourceText(const BYTE* data, size_t size)
{
    std::u16string text;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        for (size_t i = 2; i + 1 < size; i += 2) {
            const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (!c)
                break;
            text += c;
        }
        return text;
    }
    size_t end = 0;
    while (end < size && data[end])
        ++end;
    const auto* chars = reinterpret_cast<const char*>(data);
    if (end >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        const std::string utf8(chars + 3, end - 3);
        const int length =
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        text.resize(static_cast<size_t>(length > 0 ? length : 0));
        if (length > 0)
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
        return text;
    }
    return WideFromAnsi(std::string_view(chars, end));
}

} // namespace user
