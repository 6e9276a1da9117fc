// VARIANT, the type library's attributes and ITypeLib.
#pragma once
#include "um/wtypes.h"

// Windows' layout for a 64-bit build: the type, three reserved words, then 16 bytes of value.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        SHORT iVal;
        ULONG ulVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        VARIANT_BOOL boolVal;
        BYTE rawValue[16];
    };
};
static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, lVal) == 8);
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
#define V_VT(v) ((v)->vt)
#define V_I4(v) ((v)->lVal)
#define V_BSTR(v) ((v)->bstrVal)

// LIBFLAGS
#define LIBFLAG_FRESTRICTED 0x1
#define LIBFLAG_FCONTROL 0x2
#define LIBFLAG_FHIDDEN 0x4
#define LIBFLAG_FHASDISKIMAGE 0x8

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};
using LPTLIBATTR = TLIBATTR*;

// Type information: the stand-in keeps none (its type libraries are library attributes and a list
// of coclasses), so the methods that would hand one out answer TYPE_E_ELEMENTNOTFOUND.
struct ITypeInfo;
struct ITypeComp;
enum TYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
};
using MEMBERID = LONG;
#define MEMBERID_NIL (-1)

struct ITypeLib : IUnknown {
    // The number of coclasses.
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    // A copy of the library's attributes, given back with ReleaseTLibAttr.
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
    // Name, help string, help context and help file of the library (index -1) or of a coclass;
    // every out pointer may be NULL. The BSTRs are the caller's to free.
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                               MEMBERID* rgMemId, USHORT* pcFound) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;

protected:
    ~ITypeLib() = default;
};
using LPTYPELIB = ITypeLib*;
STANDIN_INTERFACE_IID(ITypeLib, 0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
