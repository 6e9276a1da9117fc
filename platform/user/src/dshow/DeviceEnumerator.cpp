// The system device enumerator and its moniker lists.
#include "dshow/DeviceEnumerator.h"

#include "com/GuidText.h"
#include "dshow/ObjectEnumerator.h"
#include "um/cfgmgr32.h"
#include "um/winreg.h"

namespace dshow {

namespace {

std::vector<std::u16string> InterfacePaths(const GUID& category)
{
    std::vector<WCHAR> list;
    for (;;) {
        ULONG length = 0;
        if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
            CR_SUCCESS)
            return {};
        list.assign(length ? length : 1, 0);
        const CONFIGRET listed = CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), ULONG(list.size()),
                                                               CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
        if (listed == CR_SUCCESS)
            break;
        if (listed != CR_BUFFER_SMALL)
            return {};
        // An interface was enabled between the two calls: ask again.
    }
    std::vector<std::u16string> paths;
    for (const WCHAR* p = list.data(); *p; p += paths.back().size() + 1)
        paths.emplace_back(p);
    return paths;
}

std::u16string InterfaceFriendlyName(const std::u16string& path)
{
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    if (CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type, nullptr,
                                          &size, 0) != CR_BUFFER_SMALL)
        return {};
    std::u16string text(size / sizeof(WCHAR) + 1, u'\0');
    if (CM_Get_Device_Interface_PropertyW(path.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                          reinterpret_cast<BYTE*>(text.data()), &size, 0) != CR_SUCCESS ||
        type != DEVPROP_TYPE_STRING)
        return {};
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

bool ReadText(HKEY key, const char16_t* name, std::u16string* text)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ)
        return false;
    std::u16string value(bytes / sizeof(WCHAR) + 1, u'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes) != ERROR_SUCCESS)
        return false;
    value.resize(std::char_traits<char16_t>::length(value.c_str()));
    *text = value;
    return true;
}

// The filters registered under the category's Instance key, in the registry's order of its sub-keys.
// Each names its class by its "CLSID" value, or else by its key name; one naming no class is left out.
void AddRegisteredFilters(const GUID& category, std::vector<DeviceEntry>* entries)
{
    const std::u16string instances = u"CLSID\\" + user::GuidText(category) + u"\\Instance";
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, instances.c_str(), 0, KEY_READ, &root) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        const LSTATUS status = RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        DeviceEntry entry;
        entry.category = category;
        entry.instanceKey = name;
        ReadText(key, u"FriendlyName", &entry.friendlyName);
        std::u16string clsid;
        if (!ReadText(key, u"CLSID", &clsid))
            clsid = name;
        RegCloseKey(key);
        if (FAILED(CLSIDFromString(clsid.c_str(), &entry.clsid)))
            continue;
        entries->push_back(std::move(entry));
    }
    RegCloseKey(root);
}

} // namespace

HRESULT DeviceEnumerator::Create(REFIID riid, void** ppv)
{
    auto* enumerator = new (std::nothrow) DeviceEnumerator;
    if (!enumerator)
        return E_OUTOFMEMORY;
    return Hand(enumerator, riid, ppv);
}

STDMETHODIMP DeviceEnumerator::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ICreateDevEnum)
        return Give<ICreateDevEnum>(this, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP DeviceEnumerator::CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker, DWORD)
{
    if (!ppEnumMoniker)
        return E_POINTER;
    *ppEnumMoniker = nullptr;
    std::vector<DeviceEntry> entries;
    for (const std::u16string& path : InterfacePaths(clsidDeviceClass)) {
        DeviceEntry entry;
        entry.category = clsidDeviceClass;
        entry.clsid = CLSID_Proxy;
        entry.devicePath = path;
        entry.friendlyName = InterfaceFriendlyName(path);
        entries.push_back(std::move(entry));
    }
    AddRegisteredFilters(clsidDeviceClass, &entries);
    if (entries.empty())
        return S_FALSE;
    // Each listing (and each Reset) makes its monikers from the entries found now.
    *ppEnumMoniker = ObjectEnumerator<IEnumMoniker, IMoniker>::Create([entries = std::move(entries)] {
        std::vector<IMoniker*> monikers;
        for (const DeviceEntry& entry : entries)
            if (auto* moniker = new (std::nothrow) DeviceMoniker(entry))
                monikers.push_back(moniker);
        return monikers;
    });
    return *ppEnumMoniker ? S_OK : E_OUTOFMEMORY;
}

} // namespace dshow
