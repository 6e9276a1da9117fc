// A board added and started through the loaded driver's own entries, without hardware: the
// driver's add-device routine makes the Device (a ServicesTestDevice, which lets a test put a
// manager double in its manager's place), the framework's device holds it, and plug and play
// requests start, stop, surprise-remove and remove it. Its stream processors make their streams with
// the stream tests' fake factory.
#pragma once
#include "DriverTestSupport.h"
#include "FakePhysicalStreamFactory.h"
#include "TraceTestSupport.h"

#include "device.h"
#include "driverentry.h"
#include "km/iodevice.h"
#include "standin/control.h"
#include "streamprocessormanager.h"

#include <mutex>
#include <string>
#include <vector>

namespace streamtest {

class ServicesTestDevice : public Device {
public:
    using Device::Device;
    using Device::SetStreamProcessorManager;

    // Each notification raised on a filter, recorded before it goes on to the filter.
    struct Notification {
        BasicFilter* filter;
        GUID propertySet;
        std::vector<UCHAR> payload;
    };
    void GenerateNotificationEvent(BasicFilter* filter, const GUID& propertySet, ULONG length,
                                   const void* data) override
    {
        {
            std::lock_guard<std::mutex> hold(notificationsLock_);
            const auto* bytes = static_cast<const UCHAR*>(data);
            notifications_.push_back({filter, propertySet, std::vector<UCHAR>(bytes, bytes + length)});
        }
        Device::GenerateNotificationEvent(filter, propertySet, length, data);
    }
    std::vector<Notification> TakeNotifications()
    {
        std::lock_guard<std::mutex> hold(notificationsLock_);
        return std::move(notifications_);
    }

private:
    std::mutex notificationsLock_;
    std::vector<Notification> notifications_;
};

class BoardDeviceFixture : public drivertest::DriverTest {
protected:
    static constexpr char kBoardReg[] =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";

    virtual std::string Parameters() const
    {
        return "\"HardwareInstalled\"=dword:00000000\n\"TraceErrors\"=dword:00000001\n"
               "\"TraceHighs\"=dword:00000001\n\"TraceWarnings\"=dword:00000001\n";
    }

    void SetUp() override
    {
        DriverTest::SetUp();
        standin::ResetDeviceInterfaces();
        ImportService(Parameters());
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        const std::string board = kBoardReg;
        const std::string text = "Windows Registry Editor Version 5.00\n\n[" + board +
                                 "\\VideoInputs]\n\"Count\"=dword:00000002\n\"ActiveInput\"=dword:00000000\n\n[" +
                                 board + "\\VideoInputs\\Input1]\n\"InputName\"=\"SDI 1\"\n\"InputType\"=dword:00000000\n\n[" +
                                 board + "\\VideoInputs\\Input2]\n\"InputName\"=\"SDI 2\"\n\"InputType\"=dword:00000000\n\n[" +
                                 board + "\\AudioInputs]\n\"Count\"=dword:00000001\n\n[" + board +
                                 "\\AudioInputs\\Input1]\n\"InputName\"=\"{5D61FB00-23EF-4D82-AD98-AD61EEAED7F5}\"\n";
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.line << ": " << error.message;
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        properties.instancePath = u"PCI\\VEN_1172&DEV_0005&SUBSYS_00051172&REV_01\\4&1&0&0028";
        properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
        properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
        Describe(properties);
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        callerPriorityBefore_ = standin::ThreadPriority(KeGetCurrentThread());
        standin::DebugOutputClear();
        made_ = nullptr;
        SetDeviceFactory(&Make);
        ASSERT_EQ(driverObject_->DriverExtension->AddDevice(driverObject_, pdo_), STATUS_SUCCESS);
        device_ = made_;
        ASSERT_NE(device_, nullptr);
        ASSERT_NE(device_->GetKsDevice(), nullptr);
        device_->SetPhysicalStreamFactory(&factory_);
        if (StartsBoard()) {
            ASSERT_EQ(Pnp(IRP_MN_START_DEVICE), STATUS_SUCCESS);
        }
        standin::EventLogClear();
    }

    void TearDown() override
    {
        if (pdo_ != nullptr && pdo_->AttachedDevice != nullptr)
            Pnp(IRP_MN_REMOVE_DEVICE); // the framework's device goes, and the Device with it
        device_ = nullptr;
        if (pdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(pdo_);
        pdo_ = nullptr;
        SetDeviceFactory(nullptr);
        DriverTest::TearDown();
    }

    virtual bool StartsBoard() const { return true; }
    // The board's physical device as its bus reports it.
    virtual void Describe(standin::PhysicalDeviceProperties&) const {}

    NTSTATUS Pnp(UCHAR minor)
    {
        IO_STACK_LOCATION request{};
        request.MajorFunction = IRP_MJ_PNP;
        request.MinorFunction = minor;
        CM_RESOURCE_LIST none{};
        if (minor == IRP_MN_START_DEVICE) {
            request.Parameters.StartDevice.AllocatedResources = &none;
            request.Parameters.StartDevice.AllocatedResourcesTranslated = &none;
        }
        PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo_);
        const IO_STATUS_BLOCK result = standin::CallDriverAndWait(top, request);
        ObDereferenceObject(top);
        return result.Status;
    }

    static size_t DebugLinesWith(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& line : standin::DebugOutput())
            n += line.find(needle) != std::string::npos;
        return n;
    }

    static Device* Make(Driver* driver)
    {
        made_ = new ServicesTestDevice(driver);
        return made_;
    }

    static inline ServicesTestDevice* made_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
    ServicesTestDevice* device_ = nullptr;
    FakePhysicalStreamFactory factory_;
    KPRIORITY callerPriorityBefore_ = 0;
};

} // namespace streamtest
