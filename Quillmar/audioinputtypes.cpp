// The audio input types and the braced text form of their identifiers.
#include "audioinputtypes.h"

#include "km/format.h"

namespace {

constexpr PCWSTR kNames[kAudioInputTypeCount] = {
    u"SDI Audio 1",        u"SDI Audio 2",        u"SDI Audio 3",        u"SDI Audio 4",
    u"SDI Audio 5",        u"SDI Audio 6",        u"SDI Audio 7",        u"SDI Audio 8",
    u"AES Audio 1",        u"AES Audio 2",        u"AES Audio 3",        u"AES Audio 4",
    u"SPDIF Audio 1",      u"SPDIF Audio 2",      u"SPDIF Audio 3",      u"SPDIF Audio 4",
    u"Unbalanced Audio 1", u"Unbalanced Audio 2", u"Unbalanced Audio 3", u"Unbalanced Audio 4",
    u"Balanced Audio 1",   u"Balanced Audio 2",   u"Balanced Audio 3",   u"Balanced Audio 4",
};

constexpr GUID kTypeBase = {0x5D61FB00, 0x23EF, 0x4D82, {0xAD, 0x98, 0xAD, 0x61, 0xEE, 0xAE, 0xD7, 0xF5}};

int HexDigit(WCHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// `digits` hex digits at text[*at] into *value; moves *at on.
bool ReadHex(PCWSTR text, ULONG* at, ULONG digits, ULONG* value)
{
    ULONG v = 0;
    for (ULONG i = 0; i < digits; ++i) {
        const int d = HexDigit(text[*at]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<ULONG>(d);
        ++*at;
    }
    *value = v;
    return true;
}

bool Expect(PCWSTR text, ULONG* at, WCHAR c)
{
    if (text[*at] != c)
        return false;
    ++*at;
    return true;
}

} // namespace

GUID GetAudioInputTypeGuid(ULONG n)
{
    if (n >= kAudioInputTypeCount)
        return GUID{};
    GUID guid = kTypeBase;
    guid.Data1 |= n;
    return guid;
}

PCWSTR GetAudioInputTypeName(ULONG n)
{
    return n < kAudioInputTypeCount ? kNames[n] : nullptr;
}

LONG FindAudioInputType(const GUID& guid)
{
    for (ULONG n = 0; n < kAudioInputTypeCount; ++n)
        if (GetAudioInputTypeGuid(n) == guid)
            return static_cast<LONG>(n);
    return -1;
}

void FormatBracedGuid(const GUID& guid, WCHAR text[kBracedGuidCharacters])
{
    _snwprintf(text, kBracedGuidCharacters, u"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
               static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
               guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    text[kBracedGuidCharacters - 1] = 0;
}

bool ParseBracedGuid(PCWSTR text, GUID* guid)
{
    if (text == nullptr || guid == nullptr)
        return false;
    ULONG at = 0;
    ULONG data1, data2, data3, byte;
    GUID parsed{};
    if (!Expect(text, &at, u'{') || !ReadHex(text, &at, 8, &data1) || !Expect(text, &at, u'-') ||
        !ReadHex(text, &at, 4, &data2) || !Expect(text, &at, u'-') || !ReadHex(text, &at, 4, &data3) ||
        !Expect(text, &at, u'-'))
        return false;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(text, &at, u'-'))
            return false;
        if (!ReadHex(text, &at, 2, &byte))
            return false;
        parsed.Data4[i] = static_cast<uint8_t>(byte);
    }
    if (!Expect(text, &at, u'}') || text[at] != 0)
        return false;
    parsed.Data1 = data1;
    parsed.Data2 = static_cast<uint16_t>(data2);
    parsed.Data3 = static_cast<uint16_t>(data3);
    *guid = parsed;
    return true;
}
