// The services a board offers its filters, on doubles of the filters: the three filter tables
// with their ids and messages, the married filters, the crossbar answers and routing, the
// information records, the change notification's walk and record, the performance notification of
// every board, the standard dimensions, delays and peak levels.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DriverTestSupport.h"
#include "basicfilter.h"
#include "brevicorrecords.h"
#include "messages/Talvexon.h"
#include "standin/system.h"
#include "videoinputitems.h"

namespace {

using drivertest::DriverTest;

constexpr char kBoardReg[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
constexpr char16_t kBoardKey[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";

// A crossbar or video capture filter double: its own two video inputs and a device number.
class InputFilter : public BasicFilter {
public:
    explicit InputFilter(ULONG deviceNumber, bool hasInputs = true) : m_hasInputs(hasInputs)
    {
        SetDeviceNumber(deviceNumber);
        m_inputs.AllocateInputs(2);
    }
    NTSTATUS OnSetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    NTSTATUS OnGetProperty(PIRP, PKSPROPERTY, PVOID) override { return STATUS_SUCCESS; }
    ULONG GetInputType(ULONG) override { return 0; }
    ULONG TranslateInputType(ULONG) override { return kVideoConnectorType; }
    ULONG GetInputCount() override { return m_inputs.GetInputCount(); }
    ULONG GetCurrentInput(ULONG, PEPROCESS) override { return m_inputs.GetSecondWord(); }
    ULONG GetCurrentInput(ULONG) override { return m_inputs.GetSecondWord(); }
    NTSTATUS SaveToRegistry() override { return STATUS_SUCCESS; }
    VideoInputItems* GetVideoInputItems() override { return m_hasInputs ? &m_inputs : nullptr; }

    ULONG Active() const { return m_inputs.GetSecondWord(); }

private:
    bool m_hasInputs;
    VideoInputItems m_inputs;
};

// A board whose notifications are recorded as the records they raise.
class NotifyingDevice : public Device {
public:
    using Device::Device;
    void GenerateNotificationEvent(BasicFilter* filter, const GUID& set, ULONG length, const void* data) override
    {
        BrevicorNotificationRecord record;
        BuildNotificationRecord(set, length, data, &record);
        raised.push_back({filter, record});
    }
    struct Raise {
        BasicFilter* filter;
        BrevicorNotificationRecord record;
    };
    std::vector<Raise> raised;
};

std::string Text(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class DeviceServicesTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ImportService(Parameters());
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        const std::string board = kBoardReg;
        const std::string text = "Windows Registry Editor Version 5.00\n\n[" + board +
                                 "\\VideoInputs]\n\"Count\"=dword:00000002\n\"ActiveInput\"=dword:00000000\n";
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.line << ": " << error.message;
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
        properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        device_ = std::make_unique<NotifyingDevice>(driver());
        device_->SetPhysicalDeviceObject(pdo_);
        ASSERT_EQ(driver()->GetDeviceInstanceId(device_.get()), 1);
        device_->SetInstanceId(1);
        standin::EventLogClear();
    }
    void TearDown() override
    {
        for (auto* device : {device_.get(), other_.get()})
            if (device != nullptr && device->GetInstanceId() > 0)
                driver()->RemoveDeviceInstanceId(device);
        device_.reset();
        other_.reset();
        if (pdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(pdo_);
        DriverTest::TearDown();
    }
    virtual std::string Parameters() const { return "\"HardwareInstalled\"=dword:00000000"; }

    static std::optional<ULONG> ActiveInputValue()
    {
        return standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\VideoInputs", u"ActiveInput");
    }

    using Table = Device::FilterTable;
    PDEVICE_OBJECT pdo_ = nullptr;
    std::unique_ptr<NotifyingDevice> device_;
    std::unique_ptr<NotifyingDevice> other_;
};

TEST_F(DeviceServicesTest, FilterIdsAreSlotsPlusOneAlsoForAFilterAlreadyStored)
{
    InputFilter first(1), second(1), third(1);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &first), 1);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &second), 2);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &first), 1);
    // The tables are apart: the same filter has its own id in another.
    EXPECT_EQ(device_->GetFilterInstanceId(Table::VideoCapture, &second), 1);
    device_->RemoveFilterInstanceId(Table::Crossbar, &first);
    EXPECT_EQ(device_->GetFilterCount(Table::Crossbar), 1u);
    // The first empty slot is taken again.
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &third), 1);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &second), 2);
    EXPECT_TRUE(standin::EventLogEntries().empty());
    EXPECT_EQ(device_->GetFilterInstanceId(Table::AudioCapture, nullptr), -1);
}

TEST_F(DeviceServicesTest, AFullTableRefusesTheNextFilterAndAnUnknownRemovalIsLogged)
{
    std::vector<std::unique_ptr<InputFilter>> filters;
    for (ULONG i = 0; i < Device::kFilterTableSlots; ++i) {
        filters.push_back(std::make_unique<InputFilter>(1, false));
        ASSERT_EQ(device_->GetFilterInstanceId(Table::Crossbar, filters.back().get()), static_cast<LONG>(i + 1));
    }
    InputFilter extra(1);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &extra), -1);
    auto full = Events(MSG_MAXIMUM_ALLOWED_ACTIVE_CROSSBAR_FILTER_COUNT);
    ASSERT_EQ(full.size(), 1u);
    ASSERT_FALSE(full[0].inserts.empty());
    EXPECT_EQ(Text(full[0].inserts[0]), "500");
    EXPECT_EQ(static_cast<ULONG>(MSG_MAXIMUM_ALLOWED_ACTIVE_CROSSBAR_FILTER_COUNT), 0xC0071057u);
    // A filter already stored still finds its id in a full table.
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, filters[499].get()), 500);

    device_->RemoveFilterInstanceId(Table::Crossbar, &extra);
    EXPECT_EQ(Events(0xC0071058).size(), 1u);
    device_->RemoveFilterInstanceId(Table::VideoCapture, &extra);
    EXPECT_EQ(Events(0xC007105A).size(), 1u);
    device_->RemoveFilterInstanceId(Table::AudioCapture, &extra);
    EXPECT_EQ(Events(0xC007105C).size(), 1u);
    // Freeing one slot lets the next filter in.
    device_->RemoveFilterInstanceId(Table::Crossbar, filters[41].get());
    EXPECT_EQ(device_->GetFilterInstanceId(Table::Crossbar, &extra), 42);
    for (auto& filter : filters)
        device_->RemoveFilterInstanceId(Table::Crossbar, filter.get());
    device_->RemoveFilterInstanceId(Table::Crossbar, &extra);
    EXPECT_EQ(device_->GetFilterCount(Table::Crossbar), 0u);

    for (ULONG i = 0; i < Device::kFilterTableSlots; ++i) {
        ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, filters[i].get()), 0);
        ASSERT_GT(device_->GetFilterInstanceId(Table::AudioCapture, filters[i].get()), 0);
    }
    EXPECT_EQ(device_->GetFilterInstanceId(Table::VideoCapture, &extra), -1);
    EXPECT_EQ(device_->GetFilterInstanceId(Table::AudioCapture, &extra), -1);
    EXPECT_EQ(Events(0xC0071059).size(), 1u);
    EXPECT_EQ(Events(0xC007105B).size(), 1u);
    for (auto& filter : filters) {
        device_->RemoveFilterInstanceId(Table::VideoCapture, filter.get());
        device_->RemoveFilterInstanceId(Table::AudioCapture, filter.get());
    }
}

TEST_F(DeviceServicesTest, AMarriedFilterIsTheFirstOfItsKindWithTheSameDeviceNumber)
{
    InputFilter video(1), crossbarOfTwo(2), crossbar(1), audio(1);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &video), 0);
    BasicFilter* married = &video;
    EXPECT_FALSE(device_->FindMarriedFilter(Table::Crossbar, &video, &married));
    EXPECT_EQ(married, nullptr);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &crossbarOfTwo), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &crossbar), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::AudioCapture, &audio), 0);
    EXPECT_TRUE(device_->FindMarriedFilter(Table::Crossbar, &video, &married));
    EXPECT_EQ(married, &crossbar);
    EXPECT_TRUE(device_->FindMarriedFilter(Table::AudioCapture, &video, &married));
    EXPECT_EQ(married, &audio);
    EXPECT_TRUE(device_->FindMarriedFilter(Table::VideoCapture, &crossbar, &married));
    EXPECT_EQ(married, &video);
    EXPECT_FALSE(device_->FindMarriedFilter(Table::VideoCapture, &crossbarOfTwo, &married));
    EXPECT_FALSE(device_->FindMarriedFilter(Table::VideoCapture, nullptr, &married));
    for (auto [table, filter] : {std::pair{Table::VideoCapture, &video}, std::pair{Table::Crossbar, &crossbarOfTwo},
                                 std::pair{Table::Crossbar, &crossbar}, std::pair{Table::AudioCapture, &audio}})
        device_->RemoveFilterInstanceId(table, filter);
}

TEST_F(DeviceServicesTest, TheCrossbarAnswersAndRoutesEveryFilterOfTheBoard)
{
    InputFilter crossbar(1), video(1), secondVideo(1), otherBoard(2);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &crossbar), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &video), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &secondVideo), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &otherBoard), 0);

    KSPROPERTY_CROSSBAR_CAPS_S caps{};
    ASSERT_EQ(device_->GetCrossbarCaps(&crossbar, &caps), STATUS_SUCCESS);
    EXPECT_EQ(caps.NumberOfInputs, 2u);
    EXPECT_EQ(caps.NumberOfOutputs, 1u);

    KSPROPERTY_CROSSBAR_PININFO_S input{};
    input.Direction = KSPIN_DATAFLOW_IN;
    input.Index = 1;
    ASSERT_EQ(device_->GetCrossbarPinInfo(&crossbar, &input), STATUS_SUCCESS);
    EXPECT_EQ(input.Direction, KSPIN_DATAFLOW_IN);
    EXPECT_EQ(input.Index, 1u);
    EXPECT_EQ(input.PinType, 6u);
    EXPECT_EQ(input.RelatedPinIndex, 0xFFFFFFFFu);
    EXPECT_TRUE(input.Medium.Set == KSMEDIUMSETID_Standard);
    EXPECT_EQ(input.Medium.Id, 0u);
    EXPECT_EQ(input.Medium.Flags, 0u);
    KSPROPERTY_CROSSBAR_PININFO_S output{};
    output.Direction = KSPIN_DATAFLOW_OUT;
    output.Index = 0;
    ASSERT_EQ(device_->GetCrossbarPinInfo(&crossbar, &output), STATUS_SUCCESS);
    EXPECT_EQ(output.PinType, 12u);
    EXPECT_EQ(output.RelatedPinIndex, 0xFFFFFFFFu);
    const GUID crossbarMedium = {0x0120854B, 0xD745, 0x400B, {0x92, 0xE9, 0xC0, 0xD1, 0x06, 0x12, 0xAE, 0xCC}};
    EXPECT_TRUE(output.Medium.Set == crossbarMedium);
    EXPECT_EQ(output.Medium.Id, 1u);
    EXPECT_EQ(output.Medium.Flags, 0u);

    KSPROPERTY_CROSSBAR_ROUTE_S route{};
    ASSERT_EQ(device_->GetCrossbarRoute(&crossbar, &route), STATUS_SUCCESS);
    EXPECT_EQ(route.IndexInputPin, 0u);
    EXPECT_EQ(route.IndexOutputPin, 0u);
    EXPECT_EQ(route.CanRoute, 1u);

    route.IndexInputPin = 1;
    route.IndexOutputPin = 0;
    ASSERT_EQ(device_->SetCrossbarRoute(&crossbar, &route), STATUS_SUCCESS);
    EXPECT_EQ(crossbar.Active(), 1u);
    EXPECT_EQ(video.Active(), 1u);
    EXPECT_EQ(secondVideo.Active(), 1u);
    EXPECT_EQ(otherBoard.Active(), 0u);
    EXPECT_EQ(ActiveInputValue(), std::optional<ULONG>(1));
    KSPROPERTY_CROSSBAR_ROUTE_S canRoute{};
    ASSERT_EQ(device_->GetCrossbarCanRoute(&video, &canRoute), STATUS_SUCCESS);
    EXPECT_EQ(canRoute.IndexInputPin, 1u);
    EXPECT_EQ(canRoute.CanRoute, 1u);

    // No input 2 on a two-input board, and only output 0: refused, nothing changed.
    route.IndexInputPin = 2;
    EXPECT_EQ(device_->SetCrossbarRoute(&crossbar, &route), static_cast<NTSTATUS>(0xC000000D));
    route.IndexInputPin = 0;
    route.IndexOutputPin = 1;
    EXPECT_EQ(device_->SetCrossbarRoute(&crossbar, &route), static_cast<NTSTATUS>(0xC000000D));
    EXPECT_EQ(crossbar.Active(), 1u);
    EXPECT_EQ(video.Active(), 1u);
    EXPECT_EQ(ActiveInputValue(), std::optional<ULONG>(1));

    for (auto [table, filter] : {std::pair{Table::Crossbar, &crossbar}, std::pair{Table::VideoCapture, &video},
                                 std::pair{Table::VideoCapture, &secondVideo}, std::pair{Table::Crossbar, &otherBoard}})
        device_->RemoveFilterInstanceId(table, filter);
}

TEST_F(DeviceServicesTest, TheCurrentVideoInputFallsBackFromTheCrossbarToTheVideoFilterToActiveInput)
{
    Device::LoadVideoInputsFromRegistry(device_.get(), pdo_, device_->GetVideoInputItems());
    InputFilter crossbar(1), video(1);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &crossbar), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &video), 0);
    video.GetVideoInputItems()->SetSecondWord(1);
    EXPECT_EQ(device_->GetCurrentVideoInput(1), 0u); // the crossbar's
    device_->RemoveFilterInstanceId(Table::Crossbar, &crossbar);
    EXPECT_EQ(device_->GetCurrentVideoInput(1), 1u); // the video capture filter's
    EXPECT_EQ(device_->GetCurrentVideoInput(2), device_->GetVideoInputItems()->GetSecondWord());
    device_->RemoveFilterInstanceId(Table::VideoCapture, &video);
    // A route leaves its input as the board's for the next filter.
    InputFilter reopened(1);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &reopened), 0);
    KSPROPERTY_CROSSBAR_ROUTE_S route{};
    route.IndexInputPin = 0;
    ASSERT_EQ(device_->SetCrossbarRoute(&reopened, &route), STATUS_SUCCESS);
    device_->RemoveFilterInstanceId(Table::Crossbar, &reopened);
    EXPECT_EQ(device_->GetCurrentVideoInput(1), 0u);
    EXPECT_EQ(ActiveInputValue(), std::optional<ULONG>(0));
}

TEST_F(DeviceServicesTest, TheCurrentVideoInputOfOneFilterIsFoundByItsFilterId)
{
    Device::LoadVideoInputsFromRegistry(device_.get(), pdo_, device_->GetVideoInputItems());
    InputFilter first(1), second(1);
    const LONG firstId = device_->GetFilterInstanceId(Table::Crossbar, &first);
    const LONG secondId = device_->GetFilterInstanceId(Table::Crossbar, &second);
    ASSERT_GT(firstId, 0);
    ASSERT_GT(secondId, firstId);
    first.SetInstanceId(static_cast<ULONG>(firstId));
    second.SetInstanceId(static_cast<ULONG>(secondId));
    first.GetVideoInputItems()->SetSecondWord(0);
    second.GetVideoInputItems()->SetSecondWord(1);
    EXPECT_EQ(device_->GetCurrentVideoInput(1, static_cast<ULONG>(secondId)), 1u);
    EXPECT_EQ(device_->GetCurrentVideoInput(1, static_cast<ULONG>(firstId)), 0u);
    EXPECT_EQ(device_->GetCurrentVideoInput(1), 0u); // the first crossbar of the device
    // No filter of that id: the board's own input, as without any filter.
    EXPECT_EQ(device_->GetCurrentVideoInput(1, 77), device_->GetVideoInputItems()->GetSecondWord());
    device_->RemoveFilterInstanceId(Table::Crossbar, &first);
    device_->RemoveFilterInstanceId(Table::Crossbar, &second);
}

TEST_F(DeviceServicesTest, TheInformationRecordsCarryTheirExactBytes)
{
    BrevicorInterfaceVersionRecord version;
    std::memset(&version, 0xEE, sizeof(version));
    ULONG length = 0;
    ASSERT_EQ(device_->GetInterfaceVersion(&version, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 28u);
    EXPECT_EQ(version.interfaceVersion, 1u);
    EXPECT_EQ(version.header[0], 0xEEEEEEEEu); // the header is the caller's
    length = 0;
    ASSERT_EQ(device_->GetDriverConfig(&version, &length), STATUS_SUCCESS);
    EXPECT_EQ(length, 28u);

    BrevicorDriverInformationRecord information;
    std::memset(&information, 0xEE, sizeof(information));
    ASSERT_EQ(device_->GetDriverInformation(&information), STATUS_SUCCESS);
    const auto* bytes = reinterpret_cast<const UCHAR*>(&information);
    const UCHAR first[16] = {0x8F, 0x3A, 0xFF, 0x1D, 0x49, 0xCD, 0x9F, 0x47,
                             0xB6, 0xEB, 0x47, 0xFA, 0xE9, 0x33, 0x47, 0x0C};
    const UCHAR second[16] = {0x7A, 0xBA, 0xE6, 0xB2, 0x64, 0x12, 0x2E, 0x4E,
                              0xBD, 0x81, 0x20, 0x44, 0x40, 0x66, 0xF2, 0x39};
    const UCHAR fourth[16] = {0x80, 0xE3, 0x66, 0x37, 0x8F, 0xB5, 0xD0, 0x4E,
                              0x8C, 0x8C, 0x0B, 0xBB, 0xCA, 0x44, 0x1B, 0xF4};
    const UCHAR zero[16] = {};
    EXPECT_EQ(std::memcmp(bytes + 24, first, 16), 0);
    EXPECT_EQ(std::memcmp(bytes + 40, second, 16), 0);
    EXPECT_EQ(std::memcmp(bytes + 56, zero, 16), 0);
    EXPECT_EQ(std::memcmp(bytes + 72, fourth, 16), 0);
    EXPECT_EQ(information.value1, 1u);
    EXPECT_EQ(information.value2, 1u);
    EXPECT_EQ(information.value3, 1u);

    BrevicorDeviceConfigRecord config;
    std::memset(&config, 0xEE, sizeof(config));
    ASSERT_EQ(device_->GetDeviceConfig(&config), STATUS_SUCCESS);
    EXPECT_EQ(config.driverVersion[0], 2u);
    EXPECT_EQ(config.driverVersion[1], 1u);
    EXPECT_EQ(config.driverVersion[2], 62u);
    EXPECT_EQ(config.driverVersion[3], 0u);
    EXPECT_EQ(config.boardModel, 1u);
    EXPECT_EQ(config.hardwareWordD, 1u); // the instance id
    // Without a board the EEPROM image is still zero.
    const UCHAR zeros[66] = {};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const UCHAR*>(&config) + 50, zeros, 66), 0);
    const std::u16string product(config.productName);
    EXPECT_EQ(product, u"Talvexon HD ");
    const auto* tail = reinterpret_cast<const UCHAR*>(config.productName) + (product.size() + 1) * 2;
    const auto* end = reinterpret_cast<const UCHAR*>(&config) + sizeof(config);
    for (const UCHAR* p = tail; p < end; ++p)
        ASSERT_EQ(*p, 0) << (p - reinterpret_cast<const UCHAR*>(&config));
}

TEST_F(DeviceServicesTest, ANotificationReachesEveryVideoCaptureFilterOnceAndNoOtherFilter)
{
    InputFilter video(1), secondVideo(1), audio(1), crossbar(1);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &video), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &secondVideo), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::AudioCapture, &audio), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::Crossbar, &crossbar), 0);
    BrevicorCropNotification crop{1, 1, 8, 464, 16, 688, 480, 720};
    device_->FireNotificationEvent(PROPSETID_BREVICOR_CROP, sizeof(crop), &crop);
    ASSERT_EQ(device_->raised.size(), 2u);
    EXPECT_EQ(device_->raised[0].filter, &video);
    EXPECT_EQ(device_->raised[1].filter, &secondVideo);
    for (const auto& raise : device_->raised) {
        const auto* bytes = reinterpret_cast<const UCHAR*>(&raise.record);
        EXPECT_EQ(std::memcmp(bytes, &PROPSETID_BREVICOR_CROP, 16), 0);
        EXPECT_EQ(std::memcmp(bytes + 16, &crop, 32), 0);
        for (size_t i = 48; i < sizeof(raise.record); ++i)
            ASSERT_EQ(bytes[i], 0) << i;
    }
    // A payload longer than the record is cut to it.
    std::vector<UCHAR> large(2000, 0x5A);
    BrevicorNotificationRecord record;
    Device::BuildNotificationRecord(PROPSETID_BREVICOR_LOS, static_cast<ULONG>(large.size()), large.data(), &record);
    EXPECT_EQ(record.payload[kNotificationPayloadBytes - 1], 0x5A);
    for (auto [table, filter] : {std::pair{Table::VideoCapture, &video}, std::pair{Table::VideoCapture, &secondVideo},
                                 std::pair{Table::AudioCapture, &audio}, std::pair{Table::Crossbar, &crossbar}})
        device_->RemoveFilterInstanceId(table, filter);
}

TEST_F(DeviceServicesTest, APerformanceSetNotifiesTheVideoFiltersOfEveryBoard)
{
    other_ = std::make_unique<NotifyingDevice>(driver());
    ASSERT_EQ(driver()->GetDeviceInstanceId(other_.get()), 2);
    other_->SetInstanceId(2);
    InputFilter video(1), audio(1), otherVideo(2);
    ASSERT_GT(device_->GetFilterInstanceId(Table::VideoCapture, &video), 0);
    ASSERT_GT(device_->GetFilterInstanceId(Table::AudioCapture, &audio), 0);
    ASSERT_GT(other_->GetFilterInstanceId(Table::VideoCapture, &otherVideo), 0);
    PerformanceSettings settings{};
    settings.pinKind = kPinKindCapture;
    ASSERT_EQ(driver()->GetPerformanceSettings(&settings), STATUS_SUCCESS);
    settings.scalingAlgorithm = 2;
    ASSERT_EQ(driver()->SetPerformanceSettings(&settings), STATUS_SUCCESS);
    ASSERT_EQ(device_->raised.size(), 1u);
    ASSERT_EQ(other_->raised.size(), 1u);
    EXPECT_EQ(device_->raised[0].filter, &video);
    EXPECT_EQ(other_->raised[0].filter, &otherVideo);
    const BrevicorNotificationRecord& record = device_->raised[0].record;
    EXPECT_TRUE(record.propertySet == PROPSETID_BREVICOR_PERFORMANCE);
    PerformanceNotification sent;
    std::memcpy(&sent, record.payload, sizeof(sent));
    EXPECT_EQ(sent.pinKind, 1u);
    EXPECT_EQ(sent.scalingAlgorithm, 2u);
    for (size_t i = sizeof(PerformanceNotification); i < kNotificationPayloadBytes; ++i)
        ASSERT_EQ(record.payload[i], 0) << i;
    device_->RemoveFilterInstanceId(Table::VideoCapture, &video);
    device_->RemoveFilterInstanceId(Table::AudioCapture, &audio);
    other_->RemoveFilterInstanceId(Table::VideoCapture, &otherVideo);
}

TEST_F(DeviceServicesTest, EveryStandardBitHasItsFrameSizeAndTime)
{
    struct Row {
        ULONG standard, width, height, frameTime;
    };
    const Row rows[] = {
        {0x1, 720, 487, 333333},       {0x2, 720, 576, 400000},       {0x4, 1280, 720, 166666},
        {0x8, 1280, 720, 166833},      {0x10, 1280, 720, 200000},     {0x20, 1280, 720, 333333},
        {0x40, 1280, 720, 333667},     {0x80, 1280, 720, 416666},     {0x100, 1280, 720, 417014},
        {0x200, 1920, 1080, 333333},   {0x400, 1920, 1080, 333667},   {0x800, 1920, 1080, 400000},
        {0x1000, 1920, 1080, 333333},  {0x2000, 1920, 1080, 333667},  {0x4000, 1920, 1080, 400000},
        {0x8000, 1920, 1080, 416666},  {0x10000, 1920, 1080, 417014}, {0x20000, 1280, 720, 400000},
        {0x40000, 720, 487, 333333},   {0x200000, 1920, 1035, 333333}, {0x400000, 1920, 1035, 333667},
        {0x800000, 720, 483, 166833},  {0x0, 720, 487, 333333},       {0x600, 720, 487, 333333},
    };
    for (const Row& row : rows) {
        const Device::StandardDimensions d = device_->GetStandardDimensions(row.standard);
        EXPECT_EQ(d.width, row.width) << std::hex << row.standard;
        EXPECT_EQ(d.height, row.height) << std::hex << row.standard;
        EXPECT_EQ(d.frameTime, row.frameTime) << std::hex << row.standard;
    }
}

TEST_F(DeviceServicesTest, ShortDelaysStallAtMostFiftyMicrosecondsAndLongerOnesSleep)
{
    device_->DelayExecution(200, false);
    EXPECT_EQ(standin::LastStallMicroseconds(), 50u);
    device_->DelayExecution(7, false);
    EXPECT_EQ(standin::LastStallMicroseconds(), 7u);
    device_->DelayExecution(5, true);
    const standin::TimedWait wait = standin::LastTimedWait();
    EXPECT_EQ(wait.deadline - wait.start, 50'000); // 5 ms in 100-ns units
}

class DeviceSmallPictureTest : public DeviceServicesTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000000\n\"PerfMaximumVideoHeight\"=dword:000001e0\n"
               "\"PerfMaximumVideoWidth\"=dword:00000500\n";
    }
};

TEST_F(DeviceSmallPictureTest, TheCapturePinsLimitsLowerTheStandardsSize)
{
    Device::StandardDimensions d = device_->GetStandardDimensions(0x1);
    EXPECT_EQ(d.width, 720u);
    EXPECT_EQ(d.height, 480u);
    EXPECT_EQ(d.frameTime, 333333u);
    d = device_->GetStandardDimensions(0x400);
    EXPECT_EQ(d.width, 1280u);
    EXPECT_EQ(d.height, 480u);
    EXPECT_EQ(d.frameTime, 333667u);
}

class DeviceUnlimitedPictureTest : public DeviceServicesTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000000\n\"PerfMaximumVideoHeight\"=dword:00000000\n"
               "\"PerfMaximumVideoWidth\"=dword:00000000\n";
    }
};

TEST_F(DeviceUnlimitedPictureTest, LimitsOfZeroLeaveTheStandardsSize)
{
    const Device::StandardDimensions d = device_->GetStandardDimensions(0x400);
    EXPECT_EQ(d.width, 1920u);
    EXPECT_EQ(d.height, 1080u);
    EXPECT_EQ(d.frameTime, 333667u);
}

TEST_F(DeviceServicesTest, PeakLevelsOfAnInputBeyondTheListGoToTheActiveInput)
{
    AudioInputItems* inputs = device_->GetAudioInputItems();
    ASSERT_EQ(inputs->AllocateInputs(2), STATUS_SUCCESS);
    ASSERT_EQ(inputs->SetCurrentInput(1), STATUS_SUCCESS);
    for (ULONG i = 0; i < 2; ++i)
        ASSERT_EQ(inputs->GetInput(i)->SetChannelPairCount(1), STATUS_SUCCESS);
    ASSERT_EQ(device_->SetPeakLevel(0, 0, 1, -1200), STATUS_SUCCESS);
    ASSERT_EQ(device_->SetPeakLevel(7, 0, 0, 3100), STATUS_SUCCESS);
    LONG value = 0;
    ASSERT_EQ(device_->GetPeakLevel(0, 0, 1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, -1200);
    ASSERT_EQ(device_->GetPeakLevel(1, 0, 0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 3100);
    ASSERT_EQ(device_->GetPeakLevel(0, 0, 0, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0);
}

} // namespace
