// A moniker of the system device enumerator: one device interface of a category, or one filter
// registered under the category's Instance key. It binds to the filter (a device interface to the
// kernel-streaming proxy) and to a property bag with "FriendlyName", "DevicePath" (interfaces only)
// and "CLSID".
#pragma once
#include "dshow/ComObject.h"

#include <string>

namespace dshow {

struct DeviceEntry {
    GUID category{};
    CLSID clsid{};
    std::u16string friendlyName; // empty: none was registered
    std::u16string devicePath;   // empty for a registered filter
    std::u16string instanceKey;  // the filter's key name under Instance
};

class DeviceMoniker final : public IMoniker, ComObject {
public:
    explicit DeviceMoniker(DeviceEntry entry) : entry_(std::move(entry)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    DSHOW_REFERENCE_COUNT
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP BindToObject(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riidResult, void** ppvResult) override;
    STDMETHODIMP BindToStorage(IBindCtx* pbc, IMoniker* pmkToLeft, REFIID riid, void** ppvObj) override;
    STDMETHODIMP IsEqual(IMoniker* pmkOtherMoniker) override;
    STDMETHODIMP GetDisplayName(IBindCtx* pbc, IMoniker* pmkToLeft, LPOLESTR* ppszDisplayName) override;

private:
    std::u16string DisplayName() const;

    const DeviceEntry entry_;
};

// The device moniker's class, as GetClassID gives it.
DEFINE_GUIDSTRUCT_VALUE(CLSID_DeviceMoniker, 0x4315D437L, 0x5B8C, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE,
                        0x86);

} // namespace dshow
