// DllMain's reasons as the module log writes them.
#pragma once
#include "um/libloaderapi.h"

inline const char* ReasonName(DWORD reason)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return "process-attach";
    case DLL_PROCESS_DETACH:
        return "process-detach";
    case DLL_THREAD_ATTACH:
        return "thread-attach";
    case DLL_THREAD_DETACH:
        return "thread-detach";
    default:
        return "unknown-reason";
    }
}
