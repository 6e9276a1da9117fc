// GUID: the 16-byte identifier of interface classes, property sets and categories, shared by the
// kernel and the user side. Its layout is Windows' (a 32-bit, two 16-bit and eight 8-bit fields).
#pragma once
#include <cstdint>

#ifndef GUID_DEFINED
#define GUID_DEFINED
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16);
using LPGUID = GUID*;
using LPCGUID = const GUID*;
using REFGUID = const GUID&;
using CLSID = GUID;
using IID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

#define IsEqualGUID(a, b) ((a) == (b))
#endif

// Defines a named GUID constant; every translation unit that includes the definition shares it.
#define DEFINE_GUIDSTRUCT_VALUE(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                             \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

// The GUID of all zeros: no class, no interface, any format.
DEFINE_GUIDSTRUCT_VALUE(GUID_NULL, 0x00000000L, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
