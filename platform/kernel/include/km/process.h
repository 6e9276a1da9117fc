// Processes as drivers see them: the one object of the requesting process. The stand-in runs one
// process, so every request comes from it.
#pragma once
#include "km/types.h"

struct KPROCESS {
    ULONG Reserved;
};
struct EPROCESS : KPROCESS {};
using PEPROCESS = EPROCESS*;
using PKPROCESS = KPROCESS*;

extern "C" {
// The process of the current thread's requests: always the one process of the stand-in.
PEPROCESS NTAPI IoGetCurrentProcess();
PEPROCESS NTAPI PsGetCurrentProcess();
// Its id, which is the host's process id.
HANDLE NTAPI PsGetCurrentProcessId();
}
