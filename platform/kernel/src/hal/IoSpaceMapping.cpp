// MmMapIoSpace and MmUnmapIoSpace over the bus's memory map, and the leak check of mappings left.
#include "km/mm.h"

#include <cstdio>
#include <string>

#include "km/irql.h"
#include "platform/bus/Bus.h"
#include "standin/verifier.h"

namespace {

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

void CheckIrql(const char* function)
{
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL)
        standin::VerifierReport("irql", std::string(function) + " called at IRQL " + std::to_string(irql) +
                                            ", above DISPATCH_LEVEL");
}

std::vector<std::string> OutstandingMappings()
{
    std::vector<std::string> lines;
    for (const auto& m : platform::Bus::Instance().Memory().Mappings())
        lines.push_back("mapping at " + Hex(m.address) + " of " + Hex(m.length) + " bytes (physical " +
                        Hex(m.physical) + ", device range \"" + m.rangeName + "\") never unmapped");
    return lines;
}

// Registered when the kernel library loads, so every program on the stand-in checks its mappings.
const bool g_leakCheckRegistered = [] {
    standin::VerifierRegisterLeakCheck("io-space", OutstandingMappings);
    return true;
}();

} // namespace

extern "C" PVOID NTAPI MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                                     MEMORY_CACHING_TYPE CacheType)
{
    CheckIrql("MmMapIoSpace");
    if (PhysicalAddress.QuadPart < 0 || CacheType < MmNonCached || CacheType >= MmMaximumCacheType)
        return nullptr;
    // Caching makes no difference to a simulated device: every access reaches the model in order.
    void* address = nullptr;
    platform::Bus::Instance().Memory().Map(static_cast<uint64_t>(PhysicalAddress.QuadPart), NumberOfBytes, address);
    return address;
}

extern "C" VOID NTAPI MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes)
{
    CheckIrql("MmUnmapIoSpace");
    const platform::BusStatus status = platform::Bus::Instance().Memory().Unmap(BaseAddress, NumberOfBytes);
    if (status != platform::BusStatus::Ok)
        standin::VerifierReport("io-space", "MmUnmapIoSpace(" + Hex(reinterpret_cast<uintptr_t>(BaseAddress)) +
                                                ", " + Hex(NumberOfBytes) + "): " + platform::BusStatusText(status));
}
