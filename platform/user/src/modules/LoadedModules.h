// The process's loaded modules: each a dlopen'ed shared object with its Win32 path, load count,
// entry point and resource table, under the one loader lock that every DllMain call holds.
#pragma once
#include "um/libloaderapi.h"
#include "um/resourcetable.h"

#include <mutex>
#include <string>
#include <vector>

namespace user {

struct LoadedModule {
    std::u16string win32Path; // "C:\Windows\System32\x.dll", as made whole from the caller's name
    std::string hostPath;
    void* image = nullptr; // dlopen's handle
    DLLMAIN_ROUTINE entry = nullptr;
    unsigned loads = 0;
    bool threadCalls = true;
    bool process = false; // the process's own module
    std::vector<standin::ResourceEntry> resources;
    bool hasResourceTable = false;
};

// The loader lock: held while DllMain runs and while the module list is read or changed.
std::recursive_mutex& LoaderLock();
// The loaded module a handle names (the process's own for NULL); null for anything else. The
// caller holds the loader lock.
LoadedModule* FindModuleLocked(HMODULE module);
HMODULE HandleOf(LoadedModule* module);

// DLL_THREAD_ATTACH (attach true) or DLL_THREAD_DETACH on the calling thread, to every loaded
// module that has not switched them off, in load order.
void NotifyModulesOfThread(bool attach);

} // namespace user
