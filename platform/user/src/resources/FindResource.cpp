// FindResource and its kin over the resource table a module exports (um/resourcetable.h). A
// resource handle is the address of the module's own record of the entry, checked against the
// module's table before use; the data are the module's bytes.
#include "modules/LoadedModules.h"
#include "text/AnsiText.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <optional>
#include <string>

namespace {

constexpr WORD kUsEnglish = 1033;

// A type or name as the caller gave it: a number, or upper-cased ASCII text.
struct ResourceKey {
    std::optional<WORD> id;
    std::string text;
};

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// "#123" names resource 123, as on Windows.
ResourceKey KeyOf(std::string text)
{
    if (text.size() > 1 && text[0] == '#' && text.size() <= 6) {
        unsigned long value = 0;
        bool digits = true;
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') {
                digits = false;
                break;
            }
            value = value * 10 + static_cast<unsigned long>(text[i] - '0');
        }
        if (digits && value <= 0xFFFF)
            return {static_cast<WORD>(value), {}};
    }
    return {std::nullopt, UpperAscii(std::move(text))};
}

ResourceKey KeyOf(LPCWSTR name)
{
    if (IS_INTRESOURCE(name))
        return {static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}};
    return KeyOf(user::AnsiFromWide(name));
}

ResourceKey KeyOf(LPCSTR name)
{
    if (IS_INTRESOURCE(name))
        return {static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)), {}};
    return KeyOf(std::string(name));
}

bool Matches(const ResourceKey& key, const char* text, WORD id)
{
    if (key.id)
        return !text && id == *key.id;
    return text && UpperAscii(text) == key.text;
}

// The entry of the first language in `languages` (0xFFFF: any) that the module has.
HRSRC Find(HMODULE handle, const ResourceKey& type, const ResourceKey& name,
           std::initializer_list<WORD> languages)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    user::LoadedModule* module = user::FindModuleLocked(handle);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!module->hasResourceTable) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeSeen = false;
    bool nameSeen = false;
    for (const WORD language : languages) {
        for (auto& entry : module->resources) {
            if (!Matches(type, entry.typeName, entry.typeId))
                continue;
            typeSeen = true;
            if (!Matches(name, entry.name, entry.nameId))
                continue;
            nameSeen = true;
            if (language == 0xFFFF || entry.language == language)
                return reinterpret_cast<HRSRC>(&entry);
        }
    }
    SetLastError(!typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
                           : (!nameSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_LANG_NOT_FOUND));
    return nullptr;
}

HRSRC FindEx(HMODULE module, const ResourceKey& type, const ResourceKey& name, WORD language)
{
    if (language == 0)
        return Find(module, type, name, {kUsEnglish, 0, 0xFFFF});
    return Find(module, type, name, {language, 0});
}

// The module's entry that a resource handle names; null (ERROR_INVALID_HANDLE) for anything else.
const standin::ResourceEntry* EntryOf(HMODULE handle, HRSRC resource)
{
    user::LoadedModule* module = user::FindModuleLocked(handle);
    if (module)
        for (auto& entry : module->resources)
            if (reinterpret_cast<HRSRC>(&entry) == resource)
                return &entry;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

} // namespace

extern "C" HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage)
{
    if (!lpType || !lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return FindEx(hModule, KeyOf(lpType), KeyOf(lpName), wLanguage);
}

extern "C" HRSRC WINAPI FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (!lpType || !lpName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return FindEx(hModule, KeyOf(lpType), KeyOf(lpName), wLanguage);
}

extern "C" HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType)
{
    return FindResourceExW(hModule, lpType, lpName, 0);
}

extern "C" HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    return FindResourceExA(hModule, lpType, lpName, 0);
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    const standin::ResourceEntry* entry = EntryOf(hModule, hResInfo);
    return entry ? const_cast<void*>(entry->data) : nullptr;
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    const standin::ResourceEntry* entry = EntryOf(hModule, hResInfo);
    return entry ? entry->size : 0;
}

extern "C" BOOL WINAPI FreeResource(HGLOBAL)
{
    return FALSE;
}
