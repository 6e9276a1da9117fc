// ATL's CRegObject over the stand-in's script parser: replacements, scripts from text and from a
// module's "REGISTRY" resources.
#include "atl/statreg.h"
#include "registrar/RegistrarScript.h"
#include "resources/ResourceText.h"

namespace ATL {

HRESULT CRegObject::AddReplacement(LPCOLESTR lpszKey, LPCOLESTR lpszItem)
{
    if (!lpszKey || !lpszItem)
        return E_INVALIDARG;
    m_replacements.emplace_back(lpszKey, lpszItem);
    return S_OK;
}

HRESULT CRegObject::ClearReplacements()
{
    m_replacements.clear();
    return S_OK;
}

HRESULT CRegObject::RunText(const std::u16string& text, bool registering)
{
    std::vector<user::RegistrarReplacement> replacements;
    for (const auto& [name, value] : m_replacements)
        replacements.push_back({name, value});
    user::RegistrarScript script;
    if (!user::ParseRegistrarScript(text, replacements, &script, nullptr))
        return DISP_E_EXCEPTION;
    return user::ApplyRegistrarScript(script, registering);
}

HRESULT CRegObject::RunResource(LPCOLESTR fileName, LPCOLESTR id, LPCOLESTR type, bool registering)
{
    if (!fileName || !id || !type)
        return E_INVALIDARG;
    // The module is normally loaded already (its DllRegisterServer is running); otherwise it is
    // loaded for the call.
    HMODULE module = GetModuleHandleW(fileName);
    HMODULE loaded = nullptr;
    if (!module) {
        module = loaded = LoadLibraryW(fileName);
        if (!module)
            return HRESULT_FROM_WIN32(GetLastError());
    }
    HRESULT result = S_OK;
    const HRSRC resource = FindResourceW(module, id, type);
    if (!resource) {
        result = HRESULT_FROM_WIN32(GetLastError());
    } else {
        const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
        const DWORD size = SizeofResource(module, resource);
        result = RunText(user::ResourceText(data, data ? size : 0), registering);
    }
    if (loaded)
        FreeLibrary(loaded);
    return result;
}

HRESULT CRegObject::StringRegister(LPCOLESTR bstrData)
{
    return bstrData ? RunText(bstrData, true) : E_INVALIDARG;
}

HRESULT CRegObject::StringUnregister(LPCOLESTR bstrData)
{
    return bstrData ? RunText(bstrData, false) : E_INVALIDARG;
}

HRESULT CRegObject::ResourceRegister(LPCOLESTR bstrFileName, UINT nID, LPCOLESTR szType)
{
    return RunResource(bstrFileName, MAKEINTRESOURCEW(nID), szType, true);
}

HRESULT CRegObject::ResourceUnregister(LPCOLESTR bstrFileName, UINT nID, LPCOLESTR szType)
{
    return RunResource(bstrFileName, MAKEINTRESOURCEW(nID), szType, false);
}

HRESULT CRegObject::ResourceRegisterSz(LPCOLESTR bstrFileName, LPCOLESTR szID, LPCOLESTR szType)
{
    return RunResource(bstrFileName, szID, szType, true);
}

HRESULT CRegObject::ResourceUnregisterSz(LPCOLESTR bstrFileName, LPCOLESTR szID, LPCOLESTR szType)
{
    return RunResource(bstrFileName, szID, szType, false);
}

} // namespace ATL
