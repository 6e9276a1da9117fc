// Conversions between wide names and host (UTF-8) names, and the case-blind comparisons the drives
// use for lookups and for failure-injection patterns.
#include "HostNames.h"

#include "CharacterTables.h"

namespace standin::hostnames {
namespace {

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(char32_t code, std::string* out)
{
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (code >> 18)));
        out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Converts, writing `replacement` for an unpaired surrogate; returns false when one was met.
bool Convert(std::u16string_view name, std::string* out, const char* replacement)
{
    bool whole = true;
    for (size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (IsHighSurrogate(c) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
            AppendUtf8(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(name[i + 1]) - 0xDC00), out);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            whole = false;
            out->append(replacement);
        } else {
            AppendUtf8(c, out);
        }
    }
    return whole;
}

} // namespace

bool ToHost(std::u16string_view name, std::string* host)
{
    host->clear();
    return Convert(name, host, "");
}

std::string Printable(std::u16string_view name)
{
    std::string text;
    Convert(name, &text, "?");
    return text;
}

std::u16string FromHost(std::string_view host)
{
    std::u16string out;
    size_t i = 0;
    while (i < host.size()) {
        const auto lead = static_cast<unsigned char>(host[i]);
        size_t extra = 0;
        char32_t code = 0;
        char32_t least = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code = lead & 0x07, least = 0x10000;
        } else {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        bool ok = i + extra < host.size();
        for (size_t k = 1; ok && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(host[i + k]);
            if ((next & 0xC0) != 0x80)
                ok = false;
            else
                code = (code << 6) | (next & 0x3F);
        }
        if (!ok || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return out;
}

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (chars::Upcase(a[i]) != chars::Upcase(b[i]))
            return false;
    }
    return true;
}

bool MatchesPattern(std::u16string_view pattern, std::u16string_view name)
{
    // Iterative wildcard match: on a mismatch, retry from the last `*` with one more character
    // swallowed by it. Linear in practice, never recursive.
    size_t p = 0, n = 0;
    size_t starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || chars::Upcase(pattern[p]) == chars::Upcase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace standin::hostnames
