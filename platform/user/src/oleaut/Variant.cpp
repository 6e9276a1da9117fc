// VariantInit, VariantClear and VariantCopy for the kinds the property bag carries.
#include "um/oleauto.h"

#include <cstring>

namespace {

bool Known(VARTYPE vt)
{
    return vt == VT_EMPTY || vt == VT_NULL || vt == VT_I4 || vt == VT_BSTR;
}

} // namespace

extern "C" void STDAPICALLTYPE VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

extern "C" HRESULT STDAPICALLTYPE VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    if (!Known(pvarg->vt))
        return DISP_E_BADVARTYPE;
    if (pvarg->vt == VT_BSTR)
        SysFreeString(pvarg->bstrVal);
    pvarg->vt = VT_EMPTY;
    std::memset(pvarg->rawValue, 0, sizeof pvarg->rawValue);
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    if (!Known(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (const HRESULT cleared = VariantClear(pvargDest); FAILED(cleared))
        return cleared;
    if (pvargSrc->vt == VT_BSTR && pvargSrc->bstrVal) {
        BSTR copy = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!copy)
            return E_OUTOFMEMORY;
        pvargDest->vt = VT_BSTR;
        pvargDest->bstrVal = copy;
        return S_OK;
    }
    std::memcpy(pvargDest->rawValue, pvargSrc->rawValue, sizeof pvargDest->rawValue);
    pvargDest->vt = pvargSrc->vt;
    return S_OK;
}
