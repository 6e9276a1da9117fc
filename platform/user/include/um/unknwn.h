// IUnknown and IClassFactory, the method-declaration macros, and how an interface names its IID:
// STANDIN_INTERFACE_IID(I, ...) defines IID_I and lets __uuidof(I) (a type, not an expression)
// find it, which CComPtr, CComQIPtr and IUnknown::QueryInterface(Q**) rely on.
#pragma once
#include "um/windef.h"
#include "um/winerror.h"

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE
#define PURE = 0
#ifndef interface
#define interface struct
#endif

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPCLSID = CLSID*;

namespace standin {
// The IID of interface I, given by STANDIN_INTERFACE_IID.
template <class I> struct InterfaceIid;
} // namespace standin

#define STANDIN_INTERFACE_IID(I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                                  \
    DEFINE_GUIDSTRUCT_VALUE(IID_##I, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8);                             \
    template <> struct standin::InterfaceIid<I> {                                                            \
        static constexpr const IID* value = &IID_##I;                                                        \
    }
#define __uuidof(I) (*::standin::InterfaceIid<I>::value)

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

    template <class Q> HRESULT QueryInterface(Q** pp)
    {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

protected:
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;
STANDIN_INTERFACE_IID(IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IClassFactory : IUnknown {
    // A new object of the class; with pUnkOuter, one aggregated into it (riid must be IID_IUnknown).
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    // TRUE keeps the server loaded until the matching FALSE.
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};
using LPCLASSFACTORY = IClassFactory*;
STANDIN_INTERFACE_IID(IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                      0x46);

#define CLSID_NULL GUID_NULL
#define IID_NULL GUID_NULL
#define InlineIsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))
#define IsEqualCLSID(a, b) ((a) == (b))
