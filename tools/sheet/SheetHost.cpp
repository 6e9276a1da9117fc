// The sheet host's core (SheetHost.h).
#include "SheetHost.h"

#include "standin/actions.h"
#include "standin/frames.h"
#include "standin/pictures.h"
#include "standin/windowing.h"
#include "um/commctrl.h"
#include "um/combaseapi.h"
#include "um/dshow.h"
#include "um/ocidl.h"
#include "um/olectl.h"
#include "um/prsht.h"
#include "um/winreg.h"

#include <algorithm>
#include <set>

namespace sheethost {
namespace {

std::string Utf8(const std::u16string& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.c_str()),
                                         static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(text.c_str()), static_cast<int>(text.size()), out.data(),
                        size, nullptr, nullptr);
    return out;
}

std::u16string Lower(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

// A name fit for a file: no separators, drive colons or other characters files refuse.
std::string FileName(const std::u16string& filter, const std::u16string& title)
{
    std::string name = Utf8(filter + u" - " + title);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' ||
            (c >= 0 && c < 0x20))
            c = '_';
    return name + ".png";
}

struct Found {
    std::u16string name;
    IMoniker* moniker = nullptr;
};

// The filters of the categories, each friendly name once, with their monikers (held).
std::vector<Found> Filters()
{
    std::vector<Found> found;
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void**>(&devices))))
        return found;
    std::set<std::u16string> seen;
    for (const GUID* category : {&AM_KSCATEGORY_CAPTURE, &AM_KSCATEGORY_CROSSBAR, &AM_KSCATEGORY_AUDIO}) {
        IEnumMoniker* list = nullptr;
        if (devices->CreateClassEnumerator(*category, &list, 0) != S_OK)
            continue;
        IMoniker* moniker = nullptr;
        while (list->Next(1, &moniker, nullptr) == S_OK) {
            std::u16string name;
            IPropertyBag* bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)))) {
                VARIANT value;
                VariantInit(&value);
                if (SUCCEEDED(bag->Read(u"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
                    name = reinterpret_cast<const char16_t*>(value.bstrVal);
                VariantClear(&value);
                bag->Release();
            }
            if (!name.empty() && seen.insert(name).second)
                found.push_back(Found{name, moniker});
            else
                moniker->Release();
        }
        list->Release();
    }
    devices->Release();
    return found;
}

std::u16string TabTitle(HWND tab, int index)
{
    WCHAR text[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(tab, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<const char16_t*>(text);
}

// Each tab of the frame's sheet, pictured.
void PicturePages(HWND sheet, const std::u16string& filter, const std::filesystem::path& out,
                  std::vector<PagePicture>* pictures, std::vector<std::string>* errors)
{
    HWND tab = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
    const int count = tab ? static_cast<int>(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        standin::SelectTab(tab, i);
        standin::PumpUntilIdle();
        HWND container = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (!container) {
            errors->push_back(Utf8(filter) + ": the sheet closed at page " + std::to_string(i + 1));
            return;
        }
        // The page object's own window inside its container, at its own size.
        HWND page = GetWindow(container, GW_CHILD);
        HWND shown = page ? page : container;
        PagePicture picture;
        picture.filter = filter;
        picture.title = TabTitle(tab, i);
        picture.file = out / FileName(filter, picture.title);
        const standin::WindowPixels pixels = standin::ReadWindowPixels(shown);
        picture.width = pixels.width;
        picture.height = pixels.height;
        if (!standin::SaveWindowPng(shown, picture.file.string())) {
            errors->push_back("cannot write " + picture.file.string());
            continue;
        }
        pictures->push_back(std::move(picture));
    }
}

// The classes of `offered` the filter names as its pages (ISpecifyPropertyPages), in its order.
std::vector<CLSID> PagesOfFilter(IBaseFilter* filter, const std::vector<CLSID>& offered)
{
    std::vector<CLSID> pages;
    ISpecifyPropertyPages* specify = nullptr;
    if (FAILED(filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&specify))))
        return pages;
    CAUUID named{};
    if (SUCCEEDED(specify->GetPages(&named))) {
        for (ULONG i = 0; i < named.cElems; ++i)
            if (std::find(offered.begin(), offered.end(), named.pElems[i]) != offered.end())
                pages.push_back(named.pElems[i]);
        CoTaskMemFree(named.pElems);
    }
    specify->Release();
    return pages;
}

} // namespace

IBaseFilter* BindFilter(const std::u16string& friendlyName)
{
    IBaseFilter* bound = nullptr;
    for (Found& found : Filters()) {
        if (!bound && found.name == friendlyName &&
            FAILED(found.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&bound))))
            bound = nullptr;
        found.moniker->Release();
    }
    return bound;
}

HRESULT RegisterLibrary(const std::u16string& library)
{
    using RegisterServer = HRESULT(STDAPICALLTYPE*)();
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(library.c_str()));
    if (!module)
        return HRESULT_FROM_WIN32(GetLastError());
    auto registerServer = reinterpret_cast<RegisterServer>(GetProcAddress(module, "DllRegisterServer"));
    const HRESULT registered = registerServer ? registerServer() : E_NOINTERFACE;
    FreeLibrary(module);
    return registered;
}

std::vector<CLSID> PageClassesOf(const std::u16string& module)
{
    std::vector<CLSID> classes;
    HKEY root = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &root) != ERROR_SUCCESS)
        return classes;
    const std::u16string wanted = Lower(module);
    for (DWORD index = 0;; ++index) {
        WCHAR name[64] = {};
        DWORD length = 64;
        if (RegEnumKeyExW(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::u16string server = std::u16string(reinterpret_cast<const char16_t*>(name)) + u"\\InprocServer32";
        WCHAR path[1024] = {};
        DWORD bytes = sizeof path - sizeof(WCHAR);
        DWORD type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, server.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        const LONG read = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes);
        RegCloseKey(key);
        CLSID clsid{};
        if (read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
            Lower(reinterpret_cast<const char16_t*>(path)) == wanted && SUCCEEDED(CLSIDFromString(name, &clsid)))
            classes.push_back(clsid);
    }
    RegCloseKey(root);
    return classes;
}

std::vector<PagePicture> WriteSheets(const SheetRequest& request, std::vector<std::string>* errors)
{
    std::vector<PagePicture> pictures;
    for (Found& found : Filters()) {
        if (!request.filter.empty() && found.name != request.filter) {
            found.moniker->Release();
            continue;
        }
        IBaseFilter* filter = nullptr;
        const HRESULT bound =
            found.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
        found.moniker->Release();
        if (FAILED(bound) || !filter) {
            errors->push_back(Utf8(found.name) + ": does not bind");
            continue;
        }
        std::vector<CLSID> pages = PagesOfFilter(filter, request.pages);
        if (pages.empty()) {
            filter->Release(); // a filter without pages of the library has no sheet
            continue;
        }
        IUnknown* objects[] = {filter};
        OCPFIPARAMS params{};
        params.cbStructSize = sizeof params;
        params.lpszCaption = reinterpret_cast<LPCOLESTR>(found.name.c_str());
        params.cObjects = 1;
        params.lplpUnk = objects;
        params.cPages = static_cast<ULONG>(pages.size());
        params.lpPages = pages.data();
        HWND sheet = nullptr;
        const HRESULT opened = standin::OpenPropertyFrame(params, &sheet);
        if (FAILED(opened) || !sheet) {
            errors->push_back(Utf8(found.name) + ": the property frame does not open");
        } else {
            ShowWindow(sheet, SW_SHOWNORMAL);
            PicturePages(sheet, found.name, request.out, &pictures, errors);
            if (IsWindow(sheet))
                DestroyWindow(sheet);
            standin::PumpUntilIdle();
        }
        filter->Release();
    }
    return pictures;
}

} // namespace sheethost
