// The stream engine over a loaded driver and one Device with a DMA adapter, without a board: the
// DSP never answers (no protocol manager runs), so only streams without the DSP, the table, the
// queues and the processors are exercised here. The board-model tests use the DSP fixture.
#pragma once
#include "DriverTestSupport.h"
#include "TraceTestSupport.h"
#include "LogicalStreamTestServices.h"

#include "km/dma.h"
#include "km/iodevice.h"
#include "standin/control.h"

#include <memory>
#include <string>

namespace streamtest {

class LogicalStreamFixture : public drivertest::DriverTest {
protected:
    virtual std::string Parameters() const
    {
        return "\"TraceErrors\"=dword:00000001\n\"TraceWarnings\"=dword:00000001\n\"TraceHighs\"=dword:00000001\n";
    }
    virtual ULONG QueueCapacity() const { return 9; }

    void SetUp() override
    {
        DriverTest::SetUp();
        ImportService(Parameters());
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        standin::DebugOutputClear();
        device_ = new Device(driver());
        device_->SetInstanceId(1);
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        ASSERT_EQ(device_->GetDmaAdapter(pdo_), STATUS_SUCCESS);
        services_ = std::make_unique<LogicalStreamTestServices>(device_, QueueCapacity());
        standin::EventLogClear();
    }

    void TearDown() override
    {
        services_.reset();
        delete device_;
        device_ = nullptr;
        EXPECT_EQ(standin::DmaUsageTotal().outstandingBuffers, 0u);
        if (pdo_)
            standin::DeletePhysicalDeviceObject(pdo_);
        DriverTest::TearDown();
    }

    static size_t DebugLinesWith(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& line : standin::DebugOutput())
            n += line.find(needle) != std::string::npos;
        return n;
    }

    LogicalStreamTable* Table() const { return device_->GetLogicalStreamTable(); }

    Device* device_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
    std::unique_ptr<LogicalStreamTestServices> services_;
};

} // namespace streamtest
