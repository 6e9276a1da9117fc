// The read-only property bag of a device moniker: its values as VT_BSTR.
#pragma once
#include "dshow/ComObject.h"

#include <map>
#include <string>

namespace dshow {

class DevicePropertyBag final : public IPropertyBag, ComObject {
public:
    void Add(const std::u16string& name, const std::u16string& value) { values_[name] = value; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    // VT_EMPTY or VT_BSTR: a new BSTR the caller frees; another type DISP_E_TYPEMISMATCH; an absent
    // name E_INVALIDARG.
    STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) override;
    // The devices' values are the driver's and the registry's: E_ACCESSDENIED.
    STDMETHODIMP Write(LPCOLESTR pszPropName, VARIANT* pVar) override;

private:
    std::map<std::u16string, std::u16string> values_;
};

} // namespace dshow
