// Kernel debugger output: DbgPrint. The stand-in's record of what was printed, which tests read and
// which can also go to stderr, is in standin/debugger.h.
#pragma once
#include "km/types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
// Formats with Windows' printf rules (km/format.h) and sends the text to the debugger; returns
// STATUS_SUCCESS (STATUS_INVALID_PARAMETER and a breach for a NULL format). As on Windows, one
// call transmits at most DBGPRINT_MAXIMUM_BYTES including the terminating zero: longer text is cut
// to its first 511 characters. Callable at any IRQL, but wide text conversions (%C, %S, %lc, %ls,
// %wc, %ws, %wZ) only at PASSIVE_LEVEL: above it they are a breach (and still printed).
ULONG DbgPrint(PCSTR Format, ...);
}

#define DBGPRINT_MAXIMUM_BYTES 512

