// The board's change notification as an open property page receives it: filters of a
// kernel-streaming test minidriver, opened from user mode with the notification event enabled
// (buffered), stand behind the board's filter doubles; FireNotificationEvent queues one record on
// each video capture filter of the board and none elsewhere.
#include "DriverTestSupport.h"
#include "KsMinidriver.h"
#include "../NotificationClient.h"

#include "basicfilter.h"
#include "brevicorrecords.h"
#include "device.h"
#include "km/iodevice.h"
#include "standin/control.h"
#include "um/cfgmgr32.h"
#include "um/ks.h"
#include "um/windows.h"

#include <cstring>
#include <memory>
#include <vector>

namespace streamtest {
namespace {

constexpr char16_t kMinidriverInstance[] = u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01\\4&1&0&0030";

using notificationclient::NotificationBlock;

// A filter of the board over one of the minidriver's filters.
class KsBackedFilter : public BasicFilter {
public:
    KsBackedFilter(PKSFILTER filter, ULONG deviceNumber)
    {
        SetKsFilter(filter);
        SetDeviceNumber(deviceNumber);
    }
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return kVideoConnectorType; }
    ULONG GetInputCount() override { return 1; }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return 0; }
    ULONG GetCurrentInput(ULONG) override { return 0; }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
};

NTSTATUS Pnp(PDEVICE_OBJECT pdo, UCHAR minor)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = IRP_MJ_PNP;
    request.MinorFunction = minor;
    CM_RESOURCE_LIST none{};
    if (minor == IRP_MN_START_DEVICE) {
        request.Parameters.StartDevice.AllocatedResources = &none;
        request.Parameters.StartDevice.AllocatedResourcesTranslated = &none;
    }
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo);
    const IO_STATUS_BLOCK result = standin::CallDriverAndWait(top, request);
    ObDereferenceObject(top);
    return result.Status;
}

class DeviceNotificationTest : public drivertest::DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        standin::ResetDeviceInterfaces();
        ImportService("\"HardwareInstalled\"=dword:00000000");
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        device_ = std::make_unique<Device>(driver());
        device_->SetInstanceId(1);

        standin::PhysicalDeviceProperties properties;
        properties.instancePath = kMinidriverInstance;
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        kstest::UseNotificationSet(KSEVENTSETID_BREVICOR_NOTIFICATION);
        minidriver_ = kstest::LoadMinidriver();
        ASSERT_NE(minidriver_, nullptr);
        ASSERT_EQ(minidriver_->DriverExtension->AddDevice(minidriver_, pdo_), STATUS_SUCCESS);
        ASSERT_EQ(Pnp(pdo_, IRP_MN_START_DEVICE), STATUS_SUCCESS);
        ULONG length = 0;
        ASSERT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_CAPTURE, nullptr, 0), CR_SUCCESS);
        std::vector<WCHAR> list(length + 1, 0);
        ASSERT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, nullptr, list.data(), length, 0), CR_SUCCESS);
        path_ = list.data();
        ASSERT_FALSE(path_.empty());
    }

    void TearDown() override
    {
        for (HANDLE handle : handles_)
            CloseHandle(handle);
        for (HANDLE event : events_)
            CloseHandle(event);
        if (pdo_ != nullptr && pdo_->AttachedDevice != nullptr)
            Pnp(pdo_, IRP_MN_REMOVE_DEVICE);
        if (minidriver_ != nullptr)
            kstest::UnloadMinidriver(minidriver_);
        if (pdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(pdo_);
        device_.reset();
        standin::ResetDeviceInterfaces();
        DriverTest::TearDown();
    }

    // Opens one more filter with the notification enabled on it; its framework object is the
    // factory's newest child.
    PKSFILTER OpenWithNotification(NotificationBlock* block)
    {
        HANDLE handle = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
        handles_.push_back(handle);
        events_.push_back(notificationclient::EnableBufferedNotification(handle, block));
        PKSDEVICE ksDevice = KsGetDeviceForDeviceObject(pdo_->AttachedDevice);
        auto factory = static_cast<PKSFILTERFACTORY>(KsGetFirstChild(ksDevice));
        PKSFILTER newest = nullptr;
        for (PVOID child = KsGetFirstChild(factory); child != nullptr; child = KsGetNextSibling(child))
            newest = static_cast<PKSFILTER>(child);
        return newest;
    }

    // The records queued for the block's entry on filter `index`, oldest first.
    std::vector<std::vector<UCHAR>> Records(size_t index, NotificationBlock* block)
    {
        return notificationclient::QueuedNotifications(handles_[index], block);
    }

    std::unique_ptr<Device> device_;
    PDEVICE_OBJECT pdo_ = nullptr;
    PDRIVER_OBJECT minidriver_ = nullptr;
    std::u16string path_;
    std::vector<HANDLE> handles_;
    std::vector<HANDLE> events_;
};

TEST_F(DeviceNotificationTest, EachOpenVideoCaptureFilterQueuesOneRecordAndTheAudioFilterNone)
{
    NotificationBlock blocks[3]{};
    KsBackedFilter video(OpenWithNotification(&blocks[0]), 1);
    KsBackedFilter secondVideo(OpenWithNotification(&blocks[1]), 1);
    KsBackedFilter audio(OpenWithNotification(&blocks[2]), 1);
    ASSERT_NE(video.GetKsFilter(), nullptr);
    ASSERT_NE(video.GetKsFilter(), secondVideo.GetKsFilter());
    ASSERT_NE(secondVideo.GetKsFilter(), audio.GetKsFilter());
    using Table = Device::FilterTable;
    ASSERT_EQ(device_->GetFilterInstanceId(Table::VideoCapture, &video), 1);
    ASSERT_EQ(device_->GetFilterInstanceId(Table::VideoCapture, &secondVideo), 2);
    ASSERT_EQ(device_->GetFilterInstanceId(Table::AudioCapture, &audio), 1);

    UCHAR crop[32];
    for (size_t i = 0; i < sizeof crop; ++i)
        crop[i] = static_cast<UCHAR>(0xA0 + i);
    device_->FireNotificationEvent(PROPSETID_BREVICOR_CROP, sizeof crop, crop);

    for (size_t index : {size_t(0), size_t(1)}) {
        EXPECT_EQ(WaitForSingleObject(events_[index], 0), DWORD(WAIT_OBJECT_0)) << index;
        const auto records = Records(index, &blocks[index]);
        ASSERT_EQ(records.size(), 1u) << index;
        const std::vector<UCHAR>& record = records[0];
        ASSERT_EQ(record.size(), 1108u);
        EXPECT_EQ(std::memcmp(record.data(), &PROPSETID_BREVICOR_CROP, 16), 0);
        EXPECT_EQ(std::memcmp(record.data() + 16, crop, sizeof crop), 0);
        for (size_t i = 48; i < record.size(); ++i)
            ASSERT_EQ(record[i], 0) << i;
    }
    EXPECT_EQ(WaitForSingleObject(events_[2], 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(Records(2, &blocks[2]).empty());

    // A filter that left the table hears nothing more.
    device_->RemoveFilterInstanceId(Table::VideoCapture, &secondVideo);
    device_->FireNotificationEvent(PROPSETID_BREVICOR_DEINTERLACE, 28, crop);
    EXPECT_EQ(Records(0, &blocks[0]).size(), 1u);
    EXPECT_TRUE(Records(1, &blocks[1]).empty());
    device_->RemoveFilterInstanceId(Table::VideoCapture, &video);
    device_->RemoveFilterInstanceId(Table::AudioCapture, &audio);
}

} // namespace
} // namespace streamtest
