// LoadLibrary, FreeLibrary, GetProcAddress, GetModuleHandle, GetModuleFileName and the thread
// notices: modules are shared objects on the machine's drives, found as CreateFile finds files.
#include "files/FileNames.h"
#include "km/status.h"
#include "modules/LoadedModules.h"
#include "standin/drives.h"
#include "standin/verifier.h"
#include "text/AnsiText.h"
#include "text/AsciiCase.h"
#include "um/errhandlingapi.h"
#include "um/winerror.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>

namespace {

// Modules in load order; the records stay put while loaded, so a handle is a record's address,
// always checked against the list before use.
std::list<std::unique_ptr<user::LoadedModule>>& Modules()
{
    static auto* modules = new std::list<std::unique_ptr<user::LoadedModule>>;
    return *modules;
}

std::u16string_view FileNamePart(std::u16string_view path)
{
    const size_t slash = path.find_last_of(u"\\/:");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

void ReadResourceTable(user::LoadedModule& module)
{
    const auto* table =
        static_cast<const standin::ResourceEntry*>(dlsym(module.image, standin::kResourceTableSymbol));
    const auto* count = static_cast<const size_t*>(dlsym(module.image, standin::kResourceTableCountSymbol));
    if (!table || !count)
        return;
    module.hasResourceTable = true;
    module.resources.assign(table, table + *count);
}

user::LoadedModule& ProcessModule()
{
    static user::LoadedModule* process = [] {
        auto* module = new user::LoadedModule;
        module->process = true;
        module->loads = 1;
        module->image = dlopen(nullptr, RTLD_NOW);
        char self[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string name = length > 0 ? std::string(self, static_cast<size_t>(length)) : "program";
        name = name.substr(name.find_last_of('/') + 1);
        module->win32Path = u"C:\\" + user::WideFromAnsi(name);
        if (module->image)
            ReadResourceTable(*module);
        return module;
    }();
    return *process;
}

// The module's Win32 path and host path for a caller's name; a Win32 error when it is missing.
DWORD ResolveModuleName(std::u16string_view name, std::u16string* win32Path, std::string* hostPath)
{
    const user::ResolvedName resolved = user::ResolveWin32Name(name);
    if (resolved.kind != user::ResolvedName::File)
        return resolved.kind == user::ResolvedName::Invalid ? ERROR_MOD_NOT_FOUND : ERROR_BAD_PATHNAME;
    const NTSTATUS status = standin::ResolveFileName(resolved.ntName, hostPath);
    if (!NT_SUCCESS(status))
        return ERROR_MOD_NOT_FOUND;
    // "\??\C:\dir\name" without its prefix.
    *win32Path = resolved.ntName.substr(4);
    return ERROR_SUCCESS;
}

user::LoadedModule* FindByPathLocked(std::u16string_view win32Path)
{
    for (auto& module : Modules())
        if (user::SameTextIgnoringAsciiCase(module->win32Path, win32Path))
            return module.get();
    return nullptr;
}

// Modules still loaded when a test ends are reported, as the kernel side reports a driver's
// threads and handles.
void RegisterModuleLeakCheck()
{
    static std::once_flag once;
    std::call_once(once, [] {
        standin::VerifierRegisterLeakCheck("modules", [] {
            std::vector<std::string> lines;
            std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
            for (auto& module : Modules())
                lines.push_back(user::AnsiFromWide(module->win32Path) + " still loaded (" +
                                std::to_string(module->loads) + " loads)");
            return lines;
        });
    });
}

HMODULE Load(std::u16string_view name)
{
    RegisterModuleLeakCheck();
    std::u16string win32Path;
    std::string hostPath;
    if (const DWORD error = ResolveModuleName(name, &win32Path, &hostPath)) {
        SetLastError(error);
        return nullptr;
    }
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    if (user::LoadedModule* loaded = FindByPathLocked(win32Path)) {
        ++loaded->loads;
        return user::HandleOf(loaded);
    }
    void* image = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!image) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto record = std::make_unique<user::LoadedModule>();
    record->win32Path = win32Path;
    record->hostPath = hostPath;
    record->image = image;
    record->loads = 1;
    record->entry = reinterpret_cast<DLLMAIN_ROUTINE>(dlsym(image, "DllMain"));
    ReadResourceTable(*record);
    user::LoadedModule* module = record.get();
    Modules().push_back(std::move(record));
    if (module->entry && !module->entry(user::HandleOf(module), DLL_PROCESS_ATTACH, nullptr)) {
        // A module whose attach fails is unloaded at once, without a detach notice.
        Modules().remove_if([module](const auto& m) { return m.get() == module; });
        dlclose(image);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return user::HandleOf(module);
}

HMODULE FindLoaded(std::u16string_view name)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    const bool hasPath = name.find_first_of(u"\\/:") != std::u16string_view::npos;
    if (hasPath) {
        std::u16string win32Path;
        std::string hostPath;
        if (ResolveModuleName(name, &win32Path, &hostPath) == ERROR_SUCCESS)
            if (user::LoadedModule* module = FindByPathLocked(win32Path))
                return user::HandleOf(module);
    } else {
        // A bare name without an extension means "<name>.dll".
        std::u16string fileName(name);
        if (fileName.find(u'.') == std::u16string::npos)
            fileName += u".dll";
        for (auto& module : Modules())
            if (user::SameTextIgnoringAsciiCase(FileNamePart(module->win32Path), fileName))
                return user::HandleOf(module.get());
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD FileName(HMODULE handle, std::u16string* path)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    user::LoadedModule* module = user::FindModuleLocked(handle);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    *path = module->win32Path;
    return 1;
}

// GetModuleFileName's copy rule for either width.
template <typename Char> DWORD CopyOut(const std::basic_string<Char>& text, Char* buffer, DWORD size)
{
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (text.size() < size) {
        std::copy(text.begin(), text.end(), buffer);
        buffer[text.size()] = 0;
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(text.size());
    }
    std::copy(text.begin(), text.begin() + (size - 1), buffer);
    buffer[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

} // namespace

namespace user {

std::recursive_mutex& LoaderLock()
{
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

LoadedModule* FindModuleLocked(HMODULE handle)
{
    if (!handle || handle == HandleOf(&ProcessModule()))
        return &ProcessModule();
    for (auto& module : Modules())
        if (HandleOf(module.get()) == handle)
            return module.get();
    return nullptr;
}

HMODULE HandleOf(LoadedModule* module)
{
    return reinterpret_cast<HMODULE>(module);
}

void NotifyModulesOfThread(bool attach)
{
    std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    // A DllMain may load or free modules: walk a copy and skip the ones gone meanwhile.
    std::vector<LoadedModule*> modules;
    for (auto& module : Modules())
        modules.push_back(module.get());
    for (LoadedModule* module : modules) {
        if (!FindModuleLocked(HandleOf(module)) || !module->threadCalls || !module->entry)
            continue;
        module->entry(HandleOf(module), attach ? DLL_THREAD_ATTACH : DLL_THREAD_DETACH, nullptr);
    }
}

} // namespace user

extern "C" HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName)
{
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(lpLibFileName);
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(user::WideFromAnsi(lpLibFileName));
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    user::LoadedModule* module = hLibModule ? user::FindModuleLocked(hLibModule) : nullptr;
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (module->process || --module->loads > 0)
        return TRUE;
    if (module->entry)
        module->entry(hLibModule, DLL_PROCESS_DETACH, nullptr);
    void* image = module->image;
    Modules().remove_if([module](const auto& m) { return m.get() == module; });
    dlclose(image);
    return TRUE;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    user::LoadedModule* module = user::FindModuleLocked(hModule);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = dlsym(module->image, lpProcName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

extern "C" HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName)
        return user::HandleOf(&ProcessModule());
    return FindLoaded(lpModuleName);
}

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (!lpModuleName)
        return user::HandleOf(&ProcessModule());
    return FindLoaded(user::WideFromAnsi(lpModuleName));
}

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    std::u16string path;
    if (!FileName(hModule, &path))
        return 0;
    return CopyOut(path, lpFilename, nSize);
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    std::u16string path;
    if (!FileName(hModule, &path))
        return 0;
    return CopyOut(user::AnsiFromWide(path), lpFilename, nSize);
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule)
{
    std::lock_guard<std::recursive_mutex> hold(user::LoaderLock());
    user::LoadedModule* module = hLibModule ? user::FindModuleLocked(hLibModule) : nullptr;
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    module->threadCalls = false;
    return TRUE;
}
