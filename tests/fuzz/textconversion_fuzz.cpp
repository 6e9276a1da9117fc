// Text from outside (file contents, names) through the user side's code-page conversions: the first
// byte picks the code page and flags, the rest is the text. Checks that a size query matches the
// conversion, that nothing is written past the buffer, that ANSI text survives the round trip
// byte for byte, and that UTF-8 decoding settles after one lossy pass.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "um/windows.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > (1u << 20))
        return 0;
    const bool utf8 = data[0] & 1;
    const DWORD flags = (data[0] & 2) ? MB_ERR_INVALID_CHARS : 0;
    const UINT page = utf8 ? CP_UTF8 : CP_ACP;
    const auto* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);

    const int needed = MultiByteToWideChar(page, flags, text, length, nullptr, 0);
    if (needed == 0) {
        // Only strict UTF-8 may refuse text.
        Check(utf8 && flags && GetLastError() == ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    std::u16string wide(static_cast<size_t>(needed) + 1, u'\xBEEF');
    Check(MultiByteToWideChar(page, flags, text, length, wide.data(), needed) == needed);
    Check(wide[static_cast<size_t>(needed)] == u'\xBEEF');
    wide.resize(static_cast<size_t>(needed));

    const int back = WideCharToMultiByte(page, 0, wide.data(), needed, nullptr, 0, nullptr, nullptr);
    Check(back > 0);
    std::string bytes(static_cast<size_t>(back), '\0');
    BOOL usedDefault = TRUE;
    Check(WideCharToMultiByte(page, 0, wide.data(), needed, bytes.data(), back, nullptr,
                              utf8 ? nullptr : &usedDefault) == back);
    if (!utf8) {
        Check(!usedDefault);
        Check(bytes == std::string(text, static_cast<size_t>(length)));
        return 0;
    }
    // What the lossy pass gave decodes to itself.
    std::u16string again(wide.size(), u'\0');
    Check(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), back, again.data(),
                              static_cast<int>(again.size())) == needed);
    Check(again == wide);
    return 0;
}
