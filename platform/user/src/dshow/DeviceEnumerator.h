// The system device enumerator (CLSID_SystemDeviceEnum): a category's enabled device interfaces in
// the order they were registered, then the filters registered under HKCR\CLSID\{category}\Instance.
#pragma once
#include "dshow/DeviceMoniker.h"

#include <mutex>
#include <vector>

namespace dshow {

class DeviceEnumerator final : public ICreateDevEnum, ComObject {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                       DWORD dwFlags) override;

    static HRESULT Create(REFIID riid, void** ppv);
};

// The monikers of one listing; clones share the list and keep their own position.
class MonikerEnumerator final : public IEnumMoniker, ComObject {
public:
    explicit MonikerEnumerator(std::vector<DeviceEntry> entries, size_t position = 0)
        : entries_(std::move(entries)), position_(position)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP Next(ULONG celt, IMoniker** rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMoniker** ppenum) override;

private:
    const std::vector<DeviceEntry> entries_;
    std::mutex lock_;
    size_t position_;
};

} // namespace dshow
