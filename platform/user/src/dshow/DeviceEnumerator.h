// The system device enumerator (CLSID_SystemDeviceEnum): a category's enabled device interfaces in
// the order they were registered, then the filters registered under HKCR\CLSID\{category}\Instance.
#pragma once
#include "dshow/DeviceMoniker.h"


namespace dshow {

class DeviceEnumerator final : public ICreateDevEnum, ComObject {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                       DWORD dwFlags) override;

    static HRESULT Create(REFIID riid, void** ppv);
};

} // namespace dshow
