// Text conversions and case-insensitive comparisons for the machine.
#include "Text.h"

#include <cstdio>

namespace platform {
namespace {

char16_t FoldUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

char16_t FoldLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

std::u16string Utf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t code = 0xFFFD;
        size_t length = 1;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead >> 5) == 0x6) {
            length = 2;
        } else if ((lead >> 4) == 0xE) {
            length = 3;
        } else if ((lead >> 3) == 0x1E) {
            length = 4;
        }
        if (length > 1) {
            if (i + length > utf8.size()) {
                length = 1;
            } else {
                code = lead & (0x7F >> length);
                for (size_t k = 1; k < length; ++k) {
                    const auto next = static_cast<unsigned char>(utf8[i + k]);
                    if ((next >> 6) != 0x2) {
                        code = 0xFFFD;
                        length = k;
                        break;
                    }
                    code = (code << 6) | (next & 0x3F);
                }
            }
        }
        i += length;
        if (code >= 0x10000 && code <= 0x10FFFF) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(code > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(code));
        }
    }
    return out;
}

std::string Utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::u16string UpperAscii(std::u16string_view text)
{
    std::u16string out(text);
    for (auto& c : out)
        c = FoldUpper(c);
    return out;
}

std::u16string LowerAscii(std::u16string_view text)
{
    std::u16string out(text);
    for (auto& c : out)
        c = FoldLower(c);
    return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldUpper(a[i]) != FoldUpper(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::u16string Hex(unsigned long long value, int digits)
{
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", digits, value);
    return Utf16(text);
}

std::vector<std::u16string> SplitMultiString(const std::vector<unsigned char>& bytes)
{
    std::vector<std::u16string> strings;
    std::u16string current;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c != 0) {
            current.push_back(c);
            continue;
        }
        if (current.empty())
            break; // the empty string that ends the list
        strings.push_back(std::move(current));
        current.clear();
    }
    if (!current.empty())
        strings.push_back(std::move(current)); // a list whose last string lacks its terminator
    return strings;
}

std::u16string StringFromBytes(const std::vector<unsigned char>& bytes)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

} // namespace platform
