// Fuzz harness of the machine's driver-package reader: any bytes as an INF file, read and planned
// for a device. A package it takes must plan only writes it can carry out (a known root, a value
// type the registry has, data that fits the type); one it refuses must say where, and plan nothing.
#include "DriverPackage.h"
#include "InfFile.h"
#include "km/registry.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto inf = platform::InfFile::Parse(bytes, "fuzz.inf", &error);
    if (!inf) {
        if (error.rfind("fuzz.inf, line ", 0) != 0)
            std::abort();
        return 0;
    }
    platform::DriverPackagePlan plan;
    const NTSTATUS status = platform::PlanDriverPackage(
        *inf, {u"PCI\\VEN_7A1E&DEV_0001&SUBSYS_00017A1E", u"PCI\\VEN_7A1E&DEV_0001"}, u"Talvexon.NT", &plan, &error);
    if (!NT_SUCCESS(status)) {
        if (!plan.writes.empty() || error.rfind("fuzz.inf", 0) != 0)
            std::abort();
        return 0;
    }
    for (const auto& write : plan.writes) {
        if (!write.driverKey && write.subkey.empty())
            std::abort();
        if (write.keyOnly)
            continue;
        switch (write.type) {
        case REG_DWORD:
            if (write.data.size() != 4)
                std::abort();
            break;
        case REG_SZ:
        case REG_EXPAND_SZ:
        case REG_MULTI_SZ:
            if (write.data.size() < 2 || write.data.size() % 2 != 0 || write.data[write.data.size() - 1] != 0 ||
                write.data[write.data.size() - 2] != 0)
                std::abort();
            break;
        case REG_BINARY:
            break;
        default:
            std::abort();
        }
    }
    return 0;
}
