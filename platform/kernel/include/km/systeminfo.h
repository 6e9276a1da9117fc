// Facts about the system a driver asks for: the driver model version the I/O manager offers and the
// number of processors. Both are settings of the stand-in, so that tests can run a driver as on an
// older or newer system and on machines of any size. Defaults: version 6.0, 4 processors.
#pragma once
#include "km/types.h"

using CCHAR = char;

extern "C" {
// TRUE when the system offers driver model version MajorVersion.MinorVersion or a later one.
BOOLEAN NTAPI IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion);
// The number of processors; changed only through standin::SetNumberOfProcessors.
extern CCHAR KeNumberProcessors;
// One bit per processor, from bit 0.
KAFFINITY NTAPI KeQueryActiveProcessors();
ULONG NTAPI KeQueryActiveProcessorCount(KAFFINITY* ActiveProcessors);
}

