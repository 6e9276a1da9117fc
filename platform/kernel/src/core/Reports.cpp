// Formatting of addresses, numbers and calls in verifier reports, and the IRQL check.
#include "Reports.h"

#include "km/irql.h"
#include "standin/verifier.h"

#include <cstdio>

namespace standin {

std::string PointerText(const void* pointer)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

std::string HexText(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string CallText(const char* function, const void* object)
{
    return std::string(function) + " on " + PointerText(object);
}

void CheckIrqlAtMost(const char* function, KIRQL highest)
{
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > highest)
        VerifierReport("irql", std::string(function) + " at IRQL " + std::to_string(irql));
}

} // namespace standin
