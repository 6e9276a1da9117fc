// The system device enumerator's monikers.
#include "dshow/DeviceMoniker.h"

#include "com/GuidText.h"
#include "dshow/DevicePropertyBag.h"

#include <cstring>

namespace dshow {

STDMETHODIMP DeviceMoniker::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMoniker || riid == IID_IPersist)
        return Give<IMoniker>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP DeviceMoniker::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_DeviceMoniker;
    return S_OK;
}

STDMETHODIMP DeviceMoniker::BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppvObj)
{
    if (!ppvObj)
        return E_POINTER;
    *ppvObj = nullptr;
    auto* bag = new (std::nothrow) DevicePropertyBag;
    if (!bag)
        return E_OUTOFMEMORY;
    if (!entry_.friendlyName.empty())
        bag->Add(u"FriendlyName", entry_.friendlyName);
    if (!entry_.devicePath.empty())
        bag->Add(u"DevicePath", entry_.devicePath);
    bag->Add(u"CLSID", user::GuidText(entry_.clsid));
    return Hand(bag, riid, ppvObj);
}

STDMETHODIMP DeviceMoniker::BindToObject(IBindCtx* pbc, IMoniker*, REFIID riidResult, void** ppvResult)
{
    if (!ppvResult)
        return E_POINTER;
    *ppvResult = nullptr;
    IUnknown* object = nullptr;
    const HRESULT made = CoCreateInstance(entry_.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                          reinterpret_cast<void**>(&object));
    if (FAILED(made))
        return made;
    // A filter that loads itself from the bag (the proxy opens the device path it names) is given it
    // before anyone sees the filter.
    IPersistPropertyBag* persist = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist)))) {
        IPropertyBag* bag = nullptr;
        HRESULT loaded = BindToStorage(pbc, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag));
        if (SUCCEEDED(loaded)) {
            loaded = persist->Load(bag, nullptr);
            bag->Release();
        }
        persist->Release();
        if (FAILED(loaded)) {
            object->Release();
            return loaded;
        }
    }
    const HRESULT asked = object->QueryInterface(riidResult, ppvResult);
    object->Release();
    return asked;
}

std::u16string DeviceMoniker::DisplayName() const
{
    if (!entry_.devicePath.empty())
        return u"@device:pnp:" + entry_.devicePath;
    return u"@device:sw:" + user::GuidText(entry_.category) + u"\\" + entry_.instanceKey;
}

STDMETHODIMP DeviceMoniker::IsEqual(IMoniker* pmkOtherMoniker)
{
    if (!pmkOtherMoniker)
        return E_INVALIDARG;
    LPOLESTR other = nullptr;
    if (FAILED(pmkOtherMoniker->GetDisplayName(nullptr, nullptr, &other)))
        return S_FALSE;
    const bool same = DisplayName() == std::u16string(other);
    CoTaskMemFree(other);
    return same ? S_OK : S_FALSE;
}

STDMETHODIMP DeviceMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppszDisplayName)
{
    if (!ppszDisplayName)
        return E_POINTER;
    const std::u16string name = DisplayName();
    auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    *ppszDisplayName = text;
    if (!text)
        return E_OUTOFMEMORY;
    std::memcpy(text, name.c_str(), (name.size() + 1) * sizeof(OLECHAR));
    return S_OK;
}

} // namespace dshow
