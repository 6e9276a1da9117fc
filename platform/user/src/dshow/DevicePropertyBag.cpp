// The device moniker's property bag.
#include "dshow/DevicePropertyBag.h"

#include "um/oleauto.h"

namespace dshow {

STDMETHODIMP DevicePropertyBag::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyBag)
        return Give<IPropertyBag>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP DevicePropertyBag::Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    const auto found = values_.find(pszPropName);
    if (found == values_.end())
        return E_INVALIDARG;
    if (pVar->vt != VT_EMPTY && pVar->vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    const BSTR text = SysAllocStringLen(found->second.data(), UINT(found->second.size()));
    if (!text)
        return E_OUTOFMEMORY;
    pVar->vt = VT_BSTR;
    pVar->bstrVal = text;
    return S_OK;
}

STDMETHODIMP DevicePropertyBag::Write(LPCOLESTR, VARIANT*)
{
    return E_ACCESSDENIED;
}

} // namespace dshow
