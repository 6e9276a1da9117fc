// What DbgPrint wrote, as the debugger would have captured it. Stand-in facilities, not Windows
// functions: drivers never see them.
#pragma once
#include "km/debug.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
