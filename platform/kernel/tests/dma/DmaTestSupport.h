// Shared by the DMA tests: a physical device object on the stand-in's PCI bus, the description a
// 32-bit bus master gives, an adapter got for it, and the breaches a test provokes on purpose.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "km/dma.h"
#include "km/iodevice.h"
#include "km/irql.h"
#include "standin/devices.h"
#include "standin/verifier.h"

namespace dmatest {

inline DEVICE_DESCRIPTION BusMasterDescription(ULONG maximumLength = 65535)
{
    DEVICE_DESCRIPTION description{};
    description.Version = DEVICE_DESCRIPTION_VERSION;
    description.Master = TRUE;
    description.Dma32BitAddresses = TRUE;
    description.IgnoreCount = TRUE;
    description.InterfaceType = PCIBus;
    description.DmaWidth = Width32Bits;
    description.MaximumLength = maximumLength;
    return description;
}

class DmaTest : public testing::Test {
protected:
    void SetUp() override
    {
        standin::VerifierSetEcho(false);
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        pdo = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo, nullptr);
    }
    void TearDown() override
    {
        standin::DeletePhysicalDeviceObject(pdo);
        standin::VerifierSetEcho(true);
    }

    PDMA_ADAPTER GetAdapter(ULONG* mapRegisters = nullptr)
    {
        DEVICE_DESCRIPTION description = BusMasterDescription();
        ULONG registers = 0;
        PDMA_ADAPTER adapter = IoGetDmaAdapter(pdo, &description, &registers);
        if (mapRegisters)
            *mapRegisters = registers;
        return adapter;
    }

    // The rules of the breaches recorded since the last call.
    static std::vector<std::string> TakeRules()
    {
        std::vector<std::string> rules;
        for (const auto& breach : standin::VerifierTakeViolations())
            rules.push_back(breach.rule);
        return rules;
    }

    // Runs the leak checks and returns the details of the "dma" check's lines; the other checks'
    // lines (the test's own device object, for one) are dropped.
    static std::vector<std::string> DmaLeaks()
    {
        standin::VerifierCheckLeaks();
        std::vector<std::string> lines;
        for (const auto& breach : standin::VerifierTakeViolations())
            if (breach.rule == "leak" && breach.detail.rfind("dma: ", 0) == 0)
                lines.push_back(breach.detail);
        return lines;
    }

    PDEVICE_OBJECT pdo = nullptr;
};

} // namespace dmatest
