// Conversion between the stand-in's wide text (UTF-16) and the UTF-8 of host files and reports.
#pragma once
#include <string>
#include <string_view>

namespace standin {

// False when the text holds an unpaired surrogate; `out` then holds what came before it.
bool Utf16ToUtf8(std::u16string_view text, std::string* out);
// For reports: an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);
// False when the bytes are not well-formed UTF-8 (overlong forms, surrogates and values past
// U+10FFFF included); `*badOffset` then receives the offset of the first bad byte.
bool Utf8ToUtf16(std::string_view text, std::u16string* out, size_t* badOffset = nullptr);

} // namespace standin
