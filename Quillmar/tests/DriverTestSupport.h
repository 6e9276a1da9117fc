// Helpers of the Driver tests: a registry with the driver's service key, a driver object, the load
// and unload through the driver's own entry points, devices that record what reaches them, and
// short forms for reading "Parameters" and the event log.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device.h"
#include "driver.h"
#include "driverentry.h"
#include "kernel/registrykey.h"
#include "km/kernel.h"
#include "standin/devices.h"
#include "standin/drives.h"
#include "standin/eventlog.h"
#include "standin/registry.h"

namespace drivertest {

inline constexpr char16_t kServicePath[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Talvexon";

// A board object that numbers itself and counts what the driver tells it.
class TestDevice : public Device {
public:
    using Device::Device;
    NTSTATUS OnAdd(PDRIVER_OBJECT, PDEVICE_OBJECT) override
    {
        const LONG id = GetDriver()->GetDeviceInstanceId(this);
        if (id < 0)
            return STATUS_INSUFFICIENT_RESOURCES;
        SetInstanceId(id);
        return failAdd ? STATUS_DEVICE_NOT_READY : STATUS_SUCCESS;
    }
    NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT, PIRP irp) override
    {
        ++deviceControls;
        if (raise)
            ExRaiseStatus(STATUS_ACCESS_VIOLATION);
        irp->IoStatus.Status = STATUS_SUCCESS;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_SUCCESS;
    }
    void NotifyPerformanceChange(const PerformanceNotification& notification) override
    {
        notifications.push_back(notification);
    }

    bool failAdd = false;
    bool raise = false;
    int deviceControls = 0;
    std::vector<PerformanceNotification> notifications;
};

struct Value {
    ULONG type = 0;
    std::vector<UCHAR> data;
    ULONG Dword() const
    {
        ULONG v = 0;
        if (data.size() == 4)
            std::memcpy(&v, data.data(), 4);
        return v;
    }
    std::u16string Text() const
    {
        std::u16string s(data.size() / 2, u'\0');
        std::memcpy(s.data(), data.data(), s.size() * 2);
        while (!s.empty() && s.back() == 0)
            s.pop_back();
        return s;
    }
};

// Loads the driver from its entry point against a registry the test imports first.
class DriverTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Drives C: and D: of a machine of the test's own, for the log files the driver writes.
        std::random_device random;
        root_ = std::filesystem::temp_directory_path() / ("drivertest-" + std::to_string(random()));
        std::filesystem::create_directories(root_ / "C");
        std::filesystem::create_directories(root_ / "D");
        standin::SetMachineRoot(root_.string());
        standin::ResetRegistry();
        standin::EventLogClear();
        SetDeviceFactory(nullptr);
    }
    void TearDown() override
    {
        if (driverObject_ != nullptr)
            Unload();
        SetDeviceFactory(nullptr);
        standin::ResetRegistry();
        standin::SetMachineRoot("");
        std::error_code error;
        std::filesystem::remove_all(root_, error);
    }

    // The service key with "Parameters" holding `parameters` (lines of .reg values); with
    // withParameters false there is no "Parameters" key at all.
    static void ImportService(std::string_view parameters, bool withParameters = true)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon]\n"
                           "\"Start\"=dword:00000003\n\n";
        if (withParameters)
            text += "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Talvexon\\Parameters]\n" +
                    std::string(parameters) + "\n";
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.message;
    }

    NTSTATUS Load()
    {
        driverObject_ = standin::CreateDriverObject(u"Talvexon");
        EXPECT_NE(driverObject_, nullptr);
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, kServicePath);
        const NTSTATUS status = DriverEntryMain(driverObject_, &path);
        if (!NT_SUCCESS(status)) {
            standin::DeleteDriverObject(driverObject_);
            driverObject_ = nullptr;
        }
        return status;
    }

    void Unload()
    {
        ASSERT_NE(driverObject_, nullptr);
        ASSERT_EQ(driverObject_->DriverUnload, &DriverUnload);
        driverObject_->DriverUnload(driverObject_);
        EXPECT_EQ(Driver::Instance(), nullptr);
        standin::DeleteDriverObject(driverObject_);
        driverObject_ = nullptr;
    }

    static std::optional<Value> Read(const char16_t* name)
    {
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, kServicePath);
        RegistryKey key(&path, u"Parameters", FALSE, 0, KEY_READ, OBJ_CASE_INSENSITIVE);
        if (!key.IsOpen())
            return std::nullopt;
        Value value;
        ULONG length = 0;
        UCHAR probe[1];
        NTSTATUS status = key.QueryValue(name, &value.type, &length, probe);
        if (status != STATUS_BUFFER_OVERFLOW && !NT_SUCCESS(status))
            return std::nullopt;
        value.data.resize(length);
        status = key.QueryValue(name, &value.type, &length, value.data.data());
        if (!NT_SUCCESS(status))
            return std::nullopt;
        return value;
    }

    static std::vector<standin::EventLogEntry> Events(ULONG messageId)
    {
        std::vector<standin::EventLogEntry> found;
        for (auto& entry : standin::EventLogEntries())
            if (entry.messageId == messageId)
                found.push_back(entry);
        return found;
    }

    Driver* driver() const { return Driver::Instance(); }

    PDRIVER_OBJECT driverObject_ = nullptr;
    std::filesystem::path root_;
};

} // namespace drivertest
