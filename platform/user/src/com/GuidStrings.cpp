// CLSIDFromString and StringFromGUID2: the braced registry form of a GUID.
#include "com/GuidText.h"
#include "text/HexDigit.h"
#include "um/combaseapi.h"

namespace {

// `digits` hex digits at text[*at]; false on a character that is not one.
bool ReadHex(LPCOLESTR text, size_t* at, int digits, uint64_t* value)
{
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = user::HexDigit(text[*at]);
        if (digit < 0)
            return false;
        *value = (*value << 4) | static_cast<uint64_t>(digit);
        ++*at;
    }
    return true;
}

} // namespace

extern "C" HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!lpsz || !pclsid)
        return E_INVALIDARG;
    size_t at = 0;
    uint64_t value = 0;
    GUID guid{};
    auto expect = [&](OLECHAR c) { return lpsz[at++] == c; };
    if (!expect(u'{') || !ReadHex(lpsz, &at, 8, &value))
        return CO_E_CLASSSTRING;
    guid.Data1 = static_cast<uint32_t>(value);
    if (!expect(u'-') || !ReadHex(lpsz, &at, 4, &value))
        return CO_E_CLASSSTRING;
    guid.Data2 = static_cast<uint16_t>(value);
    if (!expect(u'-') || !ReadHex(lpsz, &at, 4, &value))
        return CO_E_CLASSSTRING;
    guid.Data3 = static_cast<uint16_t>(value);
    if (!expect(u'-'))
        return CO_E_CLASSSTRING;
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !expect(u'-'))
            return CO_E_CLASSSTRING;
        if (!ReadHex(lpsz, &at, 2, &value))
            return CO_E_CLASSSTRING;
        guid.Data4[i] = static_cast<uint8_t>(value);
    }
    if (!expect(u'}') || lpsz[at] != 0)
        return CO_E_CLASSSTRING;
    *pclsid = guid;
    return NOERROR;
}

extern "C" int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < 39)
        return 0;
    static const char digits[] = "0123456789ABCDEF";
    int at = 0;
    auto put = [&](uint64_t value, int count) {
        for (int shift = (count - 1) * 4; shift >= 0; shift -= 4)
            lpsz[at++] = static_cast<OLECHAR>(digits[(value >> shift) & 0xF]);
    };
    lpsz[at++] = u'{';
    put(rguid.Data1, 8);
    lpsz[at++] = u'-';
    put(rguid.Data2, 4);
    lpsz[at++] = u'-';
    put(rguid.Data3, 4);
    lpsz[at++] = u'-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            lpsz[at++] = u'-';
        put(rguid.Data4[i], 2);
    }
    lpsz[at++] = u'}';
    lpsz[at++] = 0;
    return at;
}

namespace user {

std::u16string GuidText(REFGUID guid)
{
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return text;
}

} // namespace user
