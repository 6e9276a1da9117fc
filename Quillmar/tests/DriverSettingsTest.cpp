// Device slots and instance ids, add-device, the device-control hook, and the performance and
// support settings of the Driver.
#include "DriverTestSupport.h"
#include "tracelogger.h"
#include "standin/devices.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace drivertest {
namespace {

constexpr ULONG kMessageMaximumDevices = 0xC007105E;
constexpr ULONG kMessageDeviceNotFound = 0xC007105D;

class DriverSlotsTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ImportService("");
        ASSERT_EQ(Load(), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        for (auto& device : devices_)
            if (device->GetInstanceId() > 0 && driver() != nullptr)
                driver()->RemoveDeviceInstanceId(device.get());
        // The objects live in the driver's heap, which the unload frees.
        devices_.clear();
        DriverTest::TearDown();
    }
    TestDevice* NewDevice()
    {
        devices_.push_back(std::make_unique<TestDevice>(driver()));
        return devices_.back().get();
    }
    std::vector<std::unique_ptr<TestDevice>> devices_;
};

TEST_F(DriverSlotsTest, HundredIdsThenMinusOneWithTheMessage)
{
    for (LONG id = 1; id <= 100; ++id) {
        TestDevice* device = NewDevice();
        ASSERT_EQ(driver()->GetDeviceInstanceId(device), id);
        device->SetInstanceId(id);
    }
    EXPECT_EQ(driver()->GetDeviceInstanceId(NewDevice()), -1);
    const auto events = Events(kMessageMaximumDevices);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_FALSE(events[0].inserts.empty());
    EXPECT_EQ(events[0].inserts.back(), u"100");
    // Asking again for a numbered device gives its id back, wherever its slot lies.
    EXPECT_EQ(driver()->GetDeviceInstanceId(devices_[4].get()), 5);
}

TEST_F(DriverSlotsTest, TheSearchWrapsToFreedSlotsBelowTheMostRecentOne)
{
    for (LONG id = 1; id <= 100; ++id)
        NewDevice()->SetInstanceId(driver()->GetDeviceInstanceId(devices_.back().get()));
    ASSERT_EQ(driver()->RemoveDeviceInstanceId(devices_[6].get()), STATUS_SUCCESS);
    devices_[6]->SetInstanceId(0);
    EXPECT_EQ(driver()->GetDeviceInstanceId(NewDevice()), 7);
    devices_.back()->SetInstanceId(7);
}

TEST_F(DriverSlotsTest, AssignedIdsAreRecordedOnlyInsideTheTableAndOnFreeSlots)
{
    TestDevice* a = NewDevice();
    TestDevice* b = NewDevice();
    EXPECT_FALSE(driver()->RecordAssignedDeviceInstanceId(a, 0));
    EXPECT_FALSE(driver()->RecordAssignedDeviceInstanceId(a, 101));
    EXPECT_FALSE(driver()->RecordAssignedDeviceInstanceId(a, -1));
    EXPECT_EQ(driver()->GetSavedDeviceControlDispatch(), nullptr);
    ASSERT_TRUE(driver()->RecordAssignedDeviceInstanceId(a, 42));
    a->SetInstanceId(42);
    EXPECT_EQ(driver()->GetDevice(42), a);
    EXPECT_FALSE(driver()->RecordAssignedDeviceInstanceId(b, 42));
    // Fresh ids continue above the highest recorded one.
    EXPECT_EQ(driver()->GetDeviceInstanceId(b), 43);
    b->SetInstanceId(43);
}

TEST_F(DriverSlotsTest, TheHookIsInstalledWithTheFirstDeviceAndRemovedWithTheLast)
{
    const PDRIVER_DISPATCH framework = driverObject_->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    TestDevice* a = NewDevice();
    TestDevice* b = NewDevice();
    a->SetInstanceId(driver()->GetDeviceInstanceId(a));
    EXPECT_EQ(driverObject_->MajorFunction[IRP_MJ_DEVICE_CONTROL], &Driver::DispatchDeviceControlHook);
    EXPECT_EQ(driver()->GetSavedDeviceControlDispatch(), framework);
    b->SetInstanceId(driver()->GetDeviceInstanceId(b));
    ASSERT_EQ(driver()->RemoveDeviceInstanceId(a), STATUS_SUCCESS);
    a->SetInstanceId(0);
    EXPECT_EQ(driverObject_->MajorFunction[IRP_MJ_DEVICE_CONTROL], &Driver::DispatchDeviceControlHook);
    ASSERT_EQ(driver()->RemoveDeviceInstanceId(b), STATUS_SUCCESS);
    b->SetInstanceId(0);
    EXPECT_EQ(driverObject_->MajorFunction[IRP_MJ_DEVICE_CONTROL], framework);
    EXPECT_EQ(driver()->GetSavedDeviceControlDispatch(), nullptr);
}

TEST_F(DriverSlotsTest, RemovingAnUnknownDeviceIsReported)
{
    TestDevice* stranger = NewDevice();
    EXPECT_EQ(driver()->RemoveDeviceInstanceId(stranger), static_cast<NTSTATUS>(kMessageDeviceNotFound));
    EXPECT_EQ(Events(kMessageDeviceNotFound).size(), 1u);
}

TEST_F(DriverSlotsTest, ARequestForADeviceObjectWithoutADeviceFailsAndCompletes)
{
    TestDevice* a = NewDevice();
    a->SetInstanceId(driver()->GetDeviceInstanceId(a));
    PDEVICE_OBJECT plain = nullptr;
    ASSERT_EQ(IoCreateDevice(driverObject_, 0, nullptr, FILE_DEVICE_KS, 0, FALSE, &plain), STATUS_SUCCESS);
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb{};
    PIRP irp = IoBuildDeviceIoControlRequest(0x222000, plain, nullptr, 0, nullptr, 0, FALSE, &event, &iosb);
    ASSERT_NE(irp, nullptr);
    EXPECT_EQ(IoCallDriver(plain, irp), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(iosb.Status, STATUS_UNSUCCESSFUL);
    IoDeleteDevice(plain);
}

// Add-device through the test seam: a failed add gives its id back.
Device* MakeFailingDevice(Driver* driver)
{
    auto* device = new TestDevice(driver);
    device->failAdd = true;
    return device;
}

TEST_F(DriverSlotsTest, AFailedAddLeavesNoSlotTaken)
{
    SetDeviceFactory(MakeFailingDevice);
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(standin::PhysicalDeviceProperties{});
    EXPECT_EQ(driverObject_->DriverExtension->AddDevice(driverObject_, pdo), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(driver()->GetDevice(1), nullptr);
    EXPECT_EQ(driver()->GetSavedDeviceControlDispatch(), nullptr);
    standin::DeletePhysicalDeviceObject(pdo);
}

Device* MakeTestDevice(Driver* driver)
{
    return new TestDevice(driver);
}

TEST_F(DriverSlotsTest, AnAddedDeviceIsNumberedAndRegisteredForShutdown)
{
    SetDeviceFactory(MakeTestDevice);
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(standin::PhysicalDeviceProperties{});
    ASSERT_EQ(driverObject_->DriverExtension->AddDevice(driverObject_, pdo), STATUS_SUCCESS);
    Device* added = driver()->GetDevice(1);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->GetInstanceId(), 1);
    EXPECT_STREQ(added->GetTraceName(), "Device 1");
    const auto registered = standin::ShutdownRegistrations();
    EXPECT_EQ(std::count(registered.begin(), registered.end(), pdo), 1);
    IoUnregisterShutdownNotification(pdo);
    // The unload frees what no removal took.
    Unload();
    standin::DeletePhysicalDeviceObject(pdo);
}

// Performance settings.

PerformanceSettings Record(ULONG pinKind)
{
    PerformanceSettings r{};
    r.pinKind = pinKind;
    r.hardwareDeinterlacing = 1;
    r.videoBuffer = 50;
    r.scalingAlgorithm = 1;
    r.height = 480;
    r.width = 720;
    r.maximumVideoHeight = 1080;
    r.maximumVideoWidth = 1920;
    r.hdSdiClockAdjust = 80;
    return r;
}

TEST_F(DriverSlotsTest, BothKindsTakeTheClampedCustomSize)
{
    PerformanceSettings r = Record(kPinKindBoth);
    r.defaultVideoSizeType = 4;
    r.height = 40;
    r.width = 50;
    r.videoBuffer = 5;
    ASSERT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
    EXPECT_EQ(r.height, 54u);
    EXPECT_EQ(r.width, 72u);
    EXPECT_EQ(r.videoBuffer, 10u);
    for (ULONG kind : {kPinKindCapture, kPinKindPreview}) {
        const PerformanceSettings stored = driver()->GetStoredPerformanceSettings(kind);
        EXPECT_EQ(stored.pinKind, kind);
        EXPECT_EQ(stored.height, 54u);
        EXPECT_EQ(stored.videoBuffer, 10u);
        EXPECT_EQ(stored.defaultVideoSizeType, 4u);
    }
    EXPECT_EQ(Read(u"PerfCaptureVideoHeight")->Dword(), 54u);
    EXPECT_EQ(Read(u"PerfPreviewVideoHeight")->Dword(), 54u);
    EXPECT_EQ(Read(u"PerfCaptureVideoBuffer")->Dword(), 10u);
    EXPECT_EQ(Read(u"PerfPreviewVideoBuffer")->Dword(), 10u);

    r = Record(kPinKindPreview);
    r.defaultVideoSizeType = 4;
    r.height = 5000;
    r.width = 5000;
    r.videoBuffer = 2000;
    ASSERT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindPreview).height, 1080u);
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindPreview).width, 1920u);
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindPreview).videoBuffer, 1000u);
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindCapture).height, 54u);
}

TEST_F(DriverSlotsTest, OutOfRangePerformanceValuesAreRefusedAndChangeNothing)
{
    const struct {
        ULONG pinKind, scaling, sizeType, vbi;
        ULONG message;
    } cases[] = {{3, 1, 0, 0, 0xC007100B}, {0, 1, 0, 0, 0xC007100B}, {1, 4, 0, 0, 0xC0071086},
                 {1, 1, 5, 0, 0xC0071087}, {2, 1, 0, 541, 0xC0071088}};
    const PerformanceSettings before = driver()->GetStoredPerformanceSettings(kPinKindCapture);
    for (const auto& c : cases) {
        PerformanceSettings r = Record(c.pinKind);
        r.scalingAlgorithm = c.scaling;
        r.defaultVideoSizeType = c.sizeType;
        r.vbiLineRemoval = c.vbi;
        r.videoBuffer = 7;
        EXPECT_EQ(driver()->SetPerformanceSettings(&r), static_cast<NTSTATUS>(c.message));
        EXPECT_EQ(Events(c.message).empty(), false);
    }
    const PerformanceSettings after = driver()->GetStoredPerformanceSettings(kPinKindCapture);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof(before)), 0);
    EXPECT_EQ(Read(u"PerfCaptureVideoBuffer")->Dword(), 50u);
    EXPECT_EQ(driver()->SetPerformanceSettings(nullptr), STATUS_SUCCESS);
    PerformanceSettings r = Record(540);
    r.pinKind = 2;
    r.vbiLineRemoval = 540;
    EXPECT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
    // The device-wide value lands in both records.
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindCapture).vbiLineRemoval, 540u);
    EXPECT_EQ(Read(u"PerfVBILineRemoval")->Dword(), 540u);
}

TEST_F(DriverSlotsTest, TheStoredRecordsKeepNoneOfTheCallersHeaderWords)
{
    // The caller's record arrives with its property header in words 0 to 5; the stored copies (and
    // so what a later get hands out) have zeros there, for one kind and for both.
    for (ULONG kind : {kPinKindCapture, kPinKindPreview, kPinKindBoth}) {
        PerformanceSettings r = Record(kind);
        for (ULONG i = 0; i < 6; ++i)
            r.header[i] = 0xA5A50000u + kind * 16 + i;
        ASSERT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
        for (ULONG stored : {kPinKindCapture, kPinKindPreview}) {
            if (kind != kPinKindBoth && kind != stored)
                continue;
            const PerformanceSettings copy = driver()->GetStoredPerformanceSettings(stored);
            for (ULONG i = 0; i < 6; ++i)
                EXPECT_EQ(copy.header[i], 0u) << "kind " << kind << " stored " << stored << " word " << i;
            EXPECT_EQ(copy.pinKind, stored);
            EXPECT_EQ(copy.width, 720u);
            PerformanceSettings got{};
            got.pinKind = stored;
            ASSERT_EQ(driver()->GetPerformanceSettings(&got), STATUS_SUCCESS);
            EXPECT_EQ(std::memcmp(&got, &copy, sizeof got), 0);
        }
    }
}

TEST_F(DriverSlotsTest, AGetWith255ReadsTheCaptureRecord)
{
    PerformanceSettings r = Record(kPinKindCapture);
    r.scalingAlgorithm = 3;
    ASSERT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
    PerformanceSettings got{};
    got.pinKind = kPinKindBoth;
    ASSERT_EQ(driver()->GetPerformanceSettings(&got), STATUS_SUCCESS);
    EXPECT_EQ(got.pinKind, kPinKindCapture);
    EXPECT_EQ(got.scalingAlgorithm, 3u);
    got.pinKind = kPinKindPreview;
    ASSERT_EQ(driver()->GetPerformanceSettings(&got), STATUS_SUCCESS);
    EXPECT_EQ(got.scalingAlgorithm, 1u);
    got.pinKind = 7;
    EXPECT_EQ(driver()->GetPerformanceSettings(&got), static_cast<NTSTATUS>(0xC007100B));
}

TEST_F(DriverSlotsTest, ThePerformanceWalkReachesEveryOccupiedSlot)
{
    std::vector<TestDevice*> placed;
    for (LONG id : {1, 50, 100, 3}) {
        TestDevice* device = NewDevice();
        ASSERT_TRUE(driver()->RecordAssignedDeviceInstanceId(device, id));
        device->SetInstanceId(id);
        placed.push_back(device);
    }
    PerformanceSettings r = Record(kPinKindCapture);
    r.scalingAlgorithm = 2;
    ASSERT_EQ(driver()->SetPerformanceSettings(&r), STATUS_SUCCESS);
    for (TestDevice* device : placed) {
        ASSERT_EQ(device->notifications.size(), 1u) << device->GetInstanceId();
        EXPECT_EQ(device->notifications[0].pinKind, kPinKindCapture);
        EXPECT_EQ(device->notifications[0].scalingAlgorithm, 2u);
        EXPECT_EQ(device->notifications[0].hdSdiClockAdjust, 80u);
    }
}

// Support settings.

BrevicorSupportSettings Support(ULONG mask, std::u16string_view name)
{
    BrevicorSupportSettings s{};
    s.traceMask = mask;
    std::copy(name.begin(), name.end(), s.logFileName);
    return s;
}

TEST_F(DriverSlotsTest, AnyOfBits17To29IsRefusedAndNothingIsWritten)
{
    for (ULONG bit = 17; bit <= 29; ++bit) {
        const BrevicorSupportSettings s = Support(1u << bit, u"c:\\other.log");
        EXPECT_EQ(driver()->SetBrevicorSupportSettings(&s, true), static_cast<NTSTATUS>(0xC0071056)) << bit;
    }
    EXPECT_EQ(Events(0xC0071056).size(), 13u);
    EXPECT_EQ(Read(u"LogFileName")->Text(), u"c:\\Quillmar.log");
    EXPECT_EQ(TraceLogger::Instance()->GetTraceMask(), kTraceAlways);
}

TEST_F(DriverSlotsTest, APersistedSetWritesTheSwitchesAndTheName)
{
    const BrevicorSupportSettings s = Support(0x80000000u | 0x10000u | 0x1u | 0x4000u, u"d:\\trace.log");
    ASSERT_EQ(driver()->SetBrevicorSupportSettings(&s, true), STATUS_SUCCESS);
    EXPECT_EQ(Read(u"TraceGenerals")->Dword(), 1u);
    EXPECT_EQ(Read(u"TraceErrors")->Dword(), 0u);
    EXPECT_EQ(Read(u"TraceLocksEnterExit")->Dword(), 1u);
    EXPECT_EQ(Read(u"LogTraceToFile")->Dword(), 1u);
    EXPECT_EQ(Read(u"TraceTimeStamps")->Dword(), 1u);
    EXPECT_EQ(Read(u"LogFileName")->Text(), u"d:\\trace.log");
    EXPECT_EQ(TraceLogger::Instance()->GetTraceMask(), s.traceMask | kTraceAlways);

    BrevicorSupportSettings got{};
    ASSERT_EQ(driver()->GetBrevicorSupportSettings(&got), STATUS_SUCCESS);
    EXPECT_EQ(got.supported, 1u);
    EXPECT_EQ(got.traceMask, s.traceMask | kTraceAlways);
    EXPECT_EQ(std::u16string(got.logFileName), u"d:\\trace.log");
}

TEST_F(DriverSlotsTest, TheSameMaskAndNameTwiceChangeNothingTheSecondTime)
{
    const BrevicorSupportSettings s = Support(0x20, u"c:\\same.log");
    ASSERT_EQ(driver()->SetBrevicorSupportSettings(&s, false), STATUS_SUCCESS);
    // A new name starts the file anew; the same name again must not.
    EXPECT_FALSE(TraceLogger::Instance()->FileCreated());
    TraceLogger::Instance()->SetFileCreated(true);
    ASSERT_EQ(driver()->SetBrevicorSupportSettings(&s, false), STATUS_SUCCESS);
    EXPECT_TRUE(TraceLogger::Instance()->FileCreated());
    EXPECT_EQ(Read(u"LogFileName")->Text(), u"c:\\Quillmar.log");
}

TEST_F(DriverSlotsTest, AnUnterminatedOrLongNameStaysInsideTheRecord)
{
    BrevicorSupportSettings s{};
    std::fill(std::begin(s.logFileName), std::end(s.logFileName), u'x');
    ASSERT_EQ(driver()->SetBrevicorSupportSettings(&s, true), STATUS_SUCCESS);
    BrevicorSupportSettings got{};
    std::fill(std::begin(got.logFileName), std::end(got.logFileName), u'?');
    ASSERT_EQ(driver()->GetBrevicorSupportSettings(&got), STATUS_SUCCESS);
    const std::u16string name(got.logFileName);
    EXPECT_LT(name.size(), size_t{kSupportLogFileNameCharacters});
    EXPECT_EQ(name.find_first_not_of(u'x'), std::u16string::npos);
    EXPECT_EQ(got.logFileName[kSupportLogFileNameCharacters - 1], 0);
}

} // namespace
} // namespace drivertest
