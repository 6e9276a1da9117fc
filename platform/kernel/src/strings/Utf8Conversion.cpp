// UTF-16 to UTF-8 and back, strict in both directions so that no text changes on a round trip.
#include "Utf8Conversion.h"

namespace standin {

namespace {

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(char32_t c, std::string* out)
{
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Converts up to the first unpaired surrogate (replaced when `replacement` is not 0); returns
// whether the whole text converted cleanly.
bool Convert(std::u16string_view text, std::string* out, char32_t replacement)
{
    out->clear();
    out->reserve(text.size());
    bool clean = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00), out);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            clean = false;
            if (!replacement)
                return false;
            AppendUtf8(replacement, out);
        } else {
            AppendUtf8(c, out);
        }
    }
    return clean;
}

} // namespace

bool Utf16ToUtf8(std::u16string_view text, std::string* out)
{
    return Convert(text, out, 0);
}

std::string Utf16ToUtf8Lossy(std::u16string_view text)
{
    std::string out;
    Convert(text, &out, 0xFFFD);
    return out;
}

bool Utf8ToUtf16(std::string_view text, std::u16string* out, size_t* badOffset)
{
    out->clear();
    out->reserve(text.size());
    size_t i = 0;
    auto fail = [&] {
        if (badOffset)
            *badOffset = i;
        return false;
    };
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out->push_back(lead);
            ++i;
            continue;
        }
        size_t length;
        char32_t c;
        char32_t smallest;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, smallest = 0x10000;
        } else {
            return fail();
        }
        if (text.size() - i < length)
            return fail();
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return fail();
            c = (c << 6) | (next & 0x3F);
        }
        if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return fail();
        if (c >= 0x10000) {
            c -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

} // namespace standin
