// Shared pieces of the verifier reports made by the stand-in's functions: how addresses, numbers
// and calls are written, and the check of the caller's IRQL.
#pragma once
#include "km/types.h"

#include <cstdint>
#include <string>

namespace standin {

// "0x7ffd5c1e2a40": an address as the reports show it.
std::string PointerText(const void* pointer);
// "0x2c": a number in hexadecimal.
std::string HexText(uint64_t value);
// "<function> on <address>": the call a report is about.
std::string CallText(const char* function, const void* object);
// Reports an "irql" breach when the caller runs above `highest`.
void CheckIrqlAtMost(const char* function, KIRQL highest);

} // namespace standin
