// OLE Automation calls: BSTR, VARIANT (the kinds VT_EMPTY, VT_I4 and VT_BSTR) and type libraries.
// A type library is a "TYPELIB" resource of a module holding the library's IDL text
// (docs/platform-user-com.md gives the subset read).
#pragma once
#include "um/oaidl.h"

enum REGKIND {
    REGKIND_DEFAULT = 0,
    REGKIND_REGISTER = 1,
    REGKIND_NONE = 2,
};

extern "C" {
// A BSTR of the zero-terminated text (NULL for NULL or no memory).
BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
// A BSTR of ui characters copied from strIn, or zeros when strIn is NULL.
BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
// Frees a BSTR; NULL does nothing. A pointer that is not a live BSTR is a breach ("bstr").
void STDAPICALLTYPE SysFreeString(BSTR bstrString);
// Characters of the BSTR (its zeros included, the terminator not); 0 for NULL.
UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
// BSTRs still allocated when a test ends are a leak ("bstr").

void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg);
// Frees what the variant holds and makes it VT_EMPTY; DISP_E_BADVARTYPE (and nothing changed) for a
// kind other than VT_EMPTY, VT_NULL, VT_I4 and VT_BSTR.
HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg);
// Clears pvargDest, then copies pvargSrc into it (a BSTR is copied). E_OUTOFMEMORY leaves it
// VT_EMPTY; DISP_E_BADVARTYPE for an unknown kind of either.
HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// The type library of the module at szFile (the "TYPELIB" resource 1, or N for "path\N"), loading
// the module for the call when it is not loaded. REGKIND_REGISTER registers it as RegisterTypeLib
// does; REGKIND_DEFAULT and REGKIND_NONE register nothing (LoadTypeLib is REGKIND_DEFAULT).
// TYPE_E_CANTLOADLIBRARY for a missing module or resource, TYPE_E_INVDATAREAD for text that is
// not a library.
HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
HRESULT STDAPICALLTYPE LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);
// Writes HKCR\TypeLib\{LIBID}\<major>.<minor> = help string, with "<lcid>\win32" = szFullPath,
// "FLAGS" = the library flags and "HELPDIR" = szHelpDir (the folder of szFullPath when NULL).
HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
// Removes that version's key, and the LIBID's key when no other version is left.
// TYPE_E_REGISTRYACCESS when the version is not registered.
HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                         SYSKIND syskind);
}
