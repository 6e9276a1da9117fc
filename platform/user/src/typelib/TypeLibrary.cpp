// LoadTypeLib, LoadTypeLibEx, RegisterTypeLib and UnRegisterTypeLib, and the ITypeLib they hand out:
// the library's attributes and the documentation of it and of its coclasses. No type information
// is kept.
#include "com/GuidText.h"
#include "resources/ResourceText.h"
#include "typelib/TypeLibText.h"
#include "um/combaseapi.h"
#include "um/errhandlingapi.h"
#include "um/libloaderapi.h"
#include "um/oleauto.h"
#include "um/winreg.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace {

class TypeLibrary final : public ITypeLib {
public:
    explicit TypeLibrary(user::TypeLibDescription description) : description_(std::move(description)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ITypeLib) {
            *ppvObject = static_cast<ITypeLib*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override
    {
        return static_cast<UINT>(description_.coclasses.size());
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override
    {
        if (!pTKind)
            return E_INVALIDARG;
        if (index >= description_.coclasses.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = TKIND_COCLASS;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo** ppTinfo) override
    {
        if (ppTinfo)
            *ppTinfo = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override
    {
        if (!ppTLibAttr)
            return E_INVALIDARG;
        auto* attributes = new TLIBATTR{};
        attributes->guid = description_.libid;
        attributes->lcid = description_.lcid;
        attributes->syskind = SYS_WIN32;
        attributes->wMajorVerNum = description_.majorVersion;
        attributes->wMinorVerNum = description_.minorVersion;
        attributes->wLibFlags = description_.flags;
        *ppTLibAttr = attributes;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override
    {
        if (ppTComp)
            *ppTComp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override
    {
        const std::u16string* name = nullptr;
        const std::u16string* help = nullptr;
        if (index == -1) {
            name = &description_.name;
            help = &description_.helpString;
        } else if (index >= 0 && static_cast<size_t>(index) < description_.coclasses.size()) {
            name = &description_.coclasses[static_cast<size_t>(index)].name;
            help = &description_.coclasses[static_cast<size_t>(index)].helpString;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (pBstrName)
            *pBstrName = SysAllocString(name->c_str());
        if (pBstrDocString)
            *pBstrDocString = help->empty() ? nullptr : SysAllocString(help->c_str());
        if (pdwHelpContext)
            *pdwHelpContext = 0;
        if (pBstrHelpFile)
            *pBstrHelpFile = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override
    {
        if (!szNameBuf || !pfName)
            return E_INVALIDARG;
        std::u16string wanted(szNameBuf);
        *pfName = wanted == description_.name;
        for (const auto& coclass : description_.coclasses)
            if (coclass.name == wanted)
                *pfName = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* pcFound) override
    {
        if (pcFound)
            *pcFound = 0;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

private:
    ~TypeLibrary() = default;

    user::TypeLibDescription description_;
    std::atomic<ULONG> references_{1};
};

// The library text of resource `index` of a loaded module.
HRESULT LibraryOf(HMODULE module, WORD index, ITypeLib** pptlib)
{
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(index), u"TYPELIB");
    if (!resource)
        return TYPE_E_CANTLOADLIBRARY;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    const std::u16string text = user::ResourceText(data, data ? SizeofResource(module, resource) : 0);
    user::TypeLibDescription description;
    if (!user::ParseTypeLibText(text, &description, nullptr))
        return TYPE_E_INVDATAREAD;
    *pptlib = new TypeLibrary(std::move(description));
    return S_OK;
}

// The module of a path, loaded for the call unless it is loaded; "path\N" names resource N.
HRESULT Load(const std::u16string& path, ITypeLib** pptlib)
{
    std::u16string modulePath = path;
    WORD index = 1;
    HMODULE module = GetModuleHandleW(modulePath.c_str());
    HMODULE loaded = nullptr;
    if (!module && !(module = loaded = LoadLibraryW(modulePath.c_str()))) {
        const size_t slash = path.find_last_of(u'\\');
        const std::u16string last = slash == std::u16string::npos ? u"" : path.substr(slash + 1);
        const bool number = !last.empty() && last.size() <= 5 &&
                            last.find_first_not_of(u"0123456789") == std::u16string::npos;
        if (!number)
            return TYPE_E_CANTLOADLIBRARY;
        unsigned long value = 0;
        for (char16_t c : last)
            value = value * 10 + static_cast<unsigned long>(c - u'0');
        if (value > 0xFFFF)
            return TYPE_E_CANTLOADLIBRARY;
        index = static_cast<WORD>(value);
        modulePath = path.substr(0, slash);
        module = GetModuleHandleW(modulePath.c_str());
        if (!module && !(module = loaded = LoadLibraryW(modulePath.c_str())))
            return TYPE_E_CANTLOADLIBRARY;
    }
    const HRESULT result = LibraryOf(module, index, pptlib);
    if (loaded)
        FreeLibrary(loaded);
    return result;
}

std::u16string Wide(const char* text)
{
    std::u16string wide;
    while (*text)
        wide += static_cast<char16_t>(*text++);
    return wide;
}

std::u16string VersionKey(REFGUID libid, WORD major, WORD minor)
{
    char version[16];
    std::snprintf(version, sizeof version, "%x.%x", major, minor);
    return u"TypeLib\\" + user::GuidText(libid) + u"\\" + Wide(version);
}

LSTATUS SetDefault(HKEY parent, const std::u16string& subKey, const std::u16string& text)
{
    HKEY key = nullptr;
    LSTATUS error =
        RegCreateKeyExW(parent, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS)
        return error;
    error = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return error;
}

} // namespace

extern "C" HRESULT STDAPICALLTYPE LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib)
{
    if (!szFile || !pptlib)
        return E_INVALIDARG;
    *pptlib = nullptr;
    if (regkind != REGKIND_DEFAULT && regkind != REGKIND_REGISTER && regkind != REGKIND_NONE)
        return E_INVALIDARG;
    const HRESULT loaded = Load(szFile, pptlib);
    if (FAILED(loaded) || regkind != REGKIND_REGISTER)
        return loaded;
    const HRESULT registered = RegisterTypeLib(*pptlib, szFile, nullptr);
    if (FAILED(registered)) {
        (*pptlib)->Release();
        *pptlib = nullptr;
    }
    return registered;
}

extern "C" HRESULT STDAPICALLTYPE LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib)
{
    return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib);
}

extern "C" HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir)
{
    if (!ptlib || !szFullPath)
        return E_INVALIDARG;
    TLIBATTR* attributes = nullptr;
    if (const HRESULT got = ptlib->GetLibAttr(&attributes); FAILED(got))
        return got;
    const TLIBATTR attr = *attributes;
    ptlib->ReleaseTLibAttr(attributes);
    BSTR help = nullptr;
    ptlib->GetDocumentation(-1, nullptr, &help, nullptr, nullptr);
    const std::u16string helpString = help ? std::u16string(help, SysStringLen(help)) : std::u16string();
    SysFreeString(help);

    const std::u16string path(szFullPath);
    std::u16string helpDir;
    if (szHelpDir) {
        helpDir = szHelpDir;
    } else {
        const size_t slash = path.find_last_of(u'\\');
        helpDir = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
    }
    char lcid[16];
    std::snprintf(lcid, sizeof lcid, "%x", attr.lcid);
    const std::u16string version = VersionKey(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum);
    const char* platform =
        attr.syskind == SYS_WIN64 ? "win64" : (attr.syskind == SYS_WIN16 ? "win16" : "win32");
    LSTATUS error = SetDefault(HKEY_CLASSES_ROOT, version, helpString);
    if (error == ERROR_SUCCESS)
        error = SetDefault(HKEY_CLASSES_ROOT, version + u"\\" + Wide(lcid) + u"\\" + Wide(platform), path);
    if (error == ERROR_SUCCESS)
        error =
            SetDefault(HKEY_CLASSES_ROOT, version + u"\\FLAGS", Wide(std::to_string(attr.wLibFlags).c_str()));
    if (error == ERROR_SUCCESS)
        error = SetDefault(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", helpDir);
    return error == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

extern "C" HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID,
                                                    SYSKIND)
{
    const std::u16string libraryKey = u"TypeLib\\" + user::GuidText(libID);
    const std::u16string version = VersionKey(libID, wVerMajor, wVerMinor);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    RegCloseKey(key);
    if (RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str()) != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;
    RegDeleteKeyW(HKEY_CLASSES_ROOT, version.c_str());
    // The library's key goes with its last version.
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, libraryKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        WCHAR name[256];
        DWORD length = 256;
        const bool more =
            RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
        RegCloseKey(key);
        if (!more)
            RegDeleteKeyW(HKEY_CLASSES_ROOT, libraryKey.c_str());
    }
    return S_OK;
}
