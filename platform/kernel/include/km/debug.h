// Kernel debugger output: DbgPrint, and the stand-in's record of what was printed, which tests read
// and which can also go to stderr.
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

namespace standin {

// The debugger output keeps the text of each DbgPrint call as one record, in the order of the
// calls, the newest kDebugOutputCapacity of them (or as many as SetDebugOutputCapacity says);
// older records are dropped and counted.
constexpr size_t kDebugOutputCapacity = 10000;

std::vector<std::string> DebugOutput();
// Records dropped since the last clear, and calls whose text was cut to DBGPRINT_MAXIMUM_BYTES.
uint64_t DebugOutputDropped();
uint64_t DebugOutputTruncated();
// Empties the record and both counts.
void DebugOutputClear();
void SetDebugOutputCapacity(size_t capacity);

// Whether each text is also written to stderr as it is printed. Off unless the environment
// variable STANDIN_DBGPRINT_STDERR is set to a value other than "0" when the output is first used.
void SetDebugOutputEcho(bool echo);
bool DebugOutputEcho();

} // namespace standin
