// The one process of the stand-in, as drivers see it.
#include "km/process.h"

#include <unistd.h>

extern "C" PEPROCESS NTAPI IoGetCurrentProcess()
{
    static EPROCESS process{};
    return &process;
}

extern "C" PEPROCESS NTAPI PsGetCurrentProcess()
{
    return IoGetCurrentProcess();
}

extern "C" HANDLE NTAPI PsGetCurrentProcessId()
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(getpid()));
}
