// OLE Automation's basic types: BSTR, VARTYPE and its kinds, LCID, SYSKIND.
#pragma once
#include "um/unknwn.h"

// A counted UTF-16 text: the pointer is to the characters, a 32-bit byte length sits before them
// and a zero after them. Made and freed only by the Sys calls of um/oleauto.h.
using BSTR = OLECHAR*;
using LPBSTR = BSTR*;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using LCID = DWORD;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
};

enum SYSKIND {
    SYS_WIN16 = 0,
    SYS_WIN32 = 1,
    SYS_MAC = 2,
    SYS_WIN64 = 3,
};
