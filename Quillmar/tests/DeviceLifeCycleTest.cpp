// The board object's life-cycle parts that need no board: the filter descriptors add builds from
// the input lists, the capability answer, add without a free instance id, and the audio
// configuration's checks, identifiers and writes.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <sstream>
#include <string>

#include "DriverTestSupport.h"
#include "audioinputtypes.h"
#include "basicfilter.h"
#include "km/kspin.h"
#include "messages/Talvexon.h"
#include "standin/eventlog.h"
#include "standin/debugger.h"
#include "standin/system.h"

extern "C" const standin::MessageTableEntry StandinMessageTable[];
extern "C" const size_t StandinMessageTableCount;

// Connections compare field by field (found by the standard algorithms in the global namespace).
static bool operator==(const KSTOPOLOGY_CONNECTION& a, const KSTOPOLOGY_CONNECTION& b)
{
    return a.FromNode == b.FromNode && a.FromNodePin == b.FromNodePin && a.ToNode == b.ToNode &&
           a.ToNodePin == b.ToNodePin;
}

namespace {

using drivertest::DriverTest;

constexpr char kBoardReg[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
constexpr char16_t kBoardKey[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";

// The braced text the driver writes as "InputName" (lower case).
std::u16string WrittenName(ULONG n)
{
    char text[48];
    std::snprintf(text, sizeof(text), "{5d61fb%02x-23ef-4d82-ad98-ad61eeaed7f5}", static_cast<unsigned>(n));
    return std::u16string(text, text + std::strlen(text));
}

std::string TypeName(ULONG n)
{
    char text[48];
    std::snprintf(text, sizeof(text), "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", static_cast<unsigned>(n));
    return text;
}

class DeviceLifeCycleTest : public DriverTest {
protected:
    void TearDown() override
    {
        delete device_;
        device_ = nullptr;
        if (pdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(pdo_);
        standin::SetWdmVersion(6, 0);
        DriverTest::TearDown();
    }

    // A driver of `kernel` major version, a board key with `audioInputs` audio inputs (types
    // 0, 1, ... as their names) and the lines of `extra`, and a numbered Device on it.
    void Prepare(UCHAR kernel, bool hardware, ULONG audioInputs, const std::string& extra = {},
                 const std::string& service = {})
    {
        standin::SetWdmVersion(kernel, 0);
        ImportService((hardware ? "\"HardwareInstalled\"=dword:00000001\n" : "\"HardwareInstalled\"=dword:00000000\n") +
                      service);
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        std::string text = "Windows Registry Editor Version 5.00\n\n[" + std::string(kBoardReg) + "\\VideoInputs]\n"
                           "\"Count\"=dword:00000001\n\n[" + std::string(kBoardReg) + "\\VideoInputs\\Input1]\n"
                           "\"InputName\"=\"SDI\"\n\"InputType\"=dword:00000000\n\n[" + std::string(kBoardReg) +
                           "\\AudioInputs]\n\"Count\"=dword:0000000" + std::to_string(audioInputs) + "\n" + extra + "\n";
        for (ULONG i = 1; i <= audioInputs; ++i)
            text += "\n[" + std::string(kBoardReg) + "\\AudioInputs\\Input" + std::to_string(i) + "]\n\"InputName\"=\"" +
                    TypeName(i - 1) + "\"\n";
        // The names the driver package gives the audio types in use here.
        for (ULONG n : {0u, 1u, 4u, 5u, 8u, 9u, 12u, 16u, 20u})
            text += "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\MediaCategories\\" + TypeName(n) +
                    "]\n\"Name\"=\"" + GetTypeNameNarrow(n) + "\"\n";
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.line << ": " << error.message;
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
        properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        device_ = new Device(driver());
        device_->SetPhysicalDeviceObject(pdo_);
        device_->SetInstanceId(1);
        Device::LoadVideoInputsFromRegistry(device_, pdo_, device_->GetVideoInputItems());
        Device::LoadAudioInputsFromRegistry(device_, pdo_, device_->GetAudioInputItems());
        standin::EventLogClear();
    }
    static std::string GetTypeNameNarrow(ULONG n)
    {
        std::string out;
        for (PCWSTR p = GetAudioInputTypeName(n); p != nullptr && *p != 0; ++p)
            out += static_cast<char>(*p);
        return out;
    }
    // The trace messages (the text after the line's prefix) that begin with `start`.
    static std::vector<std::string> TracedMessages(const std::string& start)
    {
        std::vector<std::string> messages;
        for (const std::string& line : standin::DebugOutput()) {
            const size_t colon = line.find(": ");
            if (colon == std::string::npos)
                continue;
            std::string message = line.substr(colon + 2);
            while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
                message.pop_back();
            if (message.compare(0, start.size(), start) == 0)
                messages.push_back(message);
        }
        return messages;
    }
    static std::vector<KSTOPOLOGY_CONNECTION> Connections(const KSFILTER_DESCRIPTOR* filter)
    {
        return std::vector<KSTOPOLOGY_CONNECTION>(filter->Connections, filter->Connections + filter->ConnectionsCount);
    }
    static std::string ExportBoard()
    {
        std::string text;
        EXPECT_TRUE(standin::ExportRegistryText(kBoardKey, &text));
        return text;
    }
    static std::optional<std::u16string> InputString(ULONG input, const char16_t* name)
    {
        return standin::ReadRegistryString(std::u16string(kBoardKey) + u"\\AudioInputs\\Input" +
                                               static_cast<char16_t>(u'0' + input),
                                           name);
    }

    PDEVICE_OBJECT pdo_ = nullptr;
    Device* device_ = nullptr;
};

constexpr ULONG F = KSFILTER_NODE;

TEST_F(DeviceLifeCycleTest, OlderKernelWithLegacyFlagBuildsOneCombinedAudioFilter)
{
    Prepare(5, true, 5, "\"LegacyAudioFilters\"=dword:00000001");
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    const KSDEVICE_DESCRIPTOR* descriptor = device_->GetDeviceDescriptor();
    ASSERT_EQ(descriptor->FilterDescriptorsCount, 3u);
    EXPECT_EQ(descriptor->Version, 0x100u);
    EXPECT_TRUE(device_->HasCombinedAudioFilter());
    const KSFILTER_DESCRIPTOR* audio = descriptor->FilterDescriptors[2];
    EXPECT_TRUE(*audio->ReferenceGuid == BasicFilter::GetAudioCaptureFilterReference(0));
    ASSERT_EQ(audio->PinDescriptorsCount, 6u);
    EXPECT_EQ(audio->NodeDescriptorsCount, 8u);
    for (ULONG i = 1; i <= 5; ++i)
        EXPECT_TRUE(*audio->PinDescriptors[i].PinDescriptor.Name == GetAudioInputTypeGuid(i - 1)) << i;
    EXPECT_EQ(audio->PinDescriptors[0].PinDescriptor.DataFlow, KSPIN_DATAFLOW_OUT);
    const std::vector<KSTOPOLOGY_CONNECTION> expected = {
        {F, 1, 0, 1}, {0, 0, 5, 1}, {F, 2, 1, 1}, {1, 0, 5, 2}, {F, 3, 2, 1}, {2, 0, 5, 3}, {F, 4, 3, 1},
        {3, 0, 5, 4}, {F, 5, 4, 1}, {4, 0, 5, 5}, {5, 0, 6, 1}, {6, 0, 7, 1}, {7, 0, F, 0}};
    EXPECT_EQ(Connections(audio), expected);
    // Five volumes, then the selector, mute and peak meter.
    for (ULONG i = 1; i < 5; ++i)
        EXPECT_TRUE(*audio->NodeDescriptors[i].Type == *audio->NodeDescriptors[0].Type);
    EXPECT_FALSE(*audio->NodeDescriptors[5].Type == *audio->NodeDescriptors[0].Type);
    EXPECT_FALSE(*audio->NodeDescriptors[6].Type == *audio->NodeDescriptors[7].Type);
}

TEST_F(DeviceLifeCycleTest, EveryConnectionIsTracedInItsOrder)
{
    Prepare(5, true, 2, "\"LegacyAudioFilters\"=dword:00000001", "\"TraceLows\"=dword:00000001\n");
    standin::DebugOutputClear();
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    const int f = static_cast<int>(KSFILTER_NODE);
    std::vector<std::string> expected;
    const int combined[][4] = {{f, 1, 0, 1}, {0, 0, 2, 1}, {f, 2, 1, 1}, {1, 0, 2, 2}, {2, 0, 3, 1}, {3, 0, 4, 1}, {4, 0, f, 0}};
    for (int i = 0; i < 7; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "Connection %d from node %d pin %d to node %d pin %d", i, combined[i][0],
                      combined[i][1], combined[i][2], combined[i][3]);
        expected.push_back(line);
    }
    EXPECT_EQ(TracedMessages("Connection "), expected);
}

TEST_F(DeviceLifeCycleTest, EveryPerInputConnectionIsTracedWithItsFilter)
{
    Prepare(6, true, 2, {}, "\"TraceLows\"=dword:00000001\n");
    standin::DebugOutputClear();
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    const int f = static_cast<int>(KSFILTER_NODE);
    const int each[][4] = {{f, 1, 0, 1}, {0, 0, 1, 1}, {1, 0, 2, 1}, {2, 0, f, 0}};
    std::vector<std::string> expected;
    for (int filter = 0; filter < 2; ++filter)
        for (int i = 0; i < 4; ++i) {
            char line[96];
            std::snprintf(line, sizeof line, "Filter %d Connection %d from node %d pin %d to node %d pin %d", filter, i,
                          each[i][0], each[i][1], each[i][2], each[i][3]);
            expected.push_back(line);
        }
    EXPECT_EQ(TracedMessages("Filter "), expected);
}

TEST_F(DeviceLifeCycleTest, KernelSixBuildsOneAudioFilterPerInput)
{
    Prepare(6, true, 5, "\"LegacyAudioFilters\"=dword:00000001");
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    const KSDEVICE_DESCRIPTOR* descriptor = device_->GetDeviceDescriptor();
    ASSERT_EQ(descriptor->FilterDescriptorsCount, 7u);
    EXPECT_FALSE(device_->HasCombinedAudioFilter());
    const std::vector<KSTOPOLOGY_CONNECTION> expected = {{F, 1, 0, 1}, {0, 0, 1, 1}, {1, 0, 2, 1}, {2, 0, F, 0}};
    for (ULONG i = 0; i < 5; ++i) {
        const KSFILTER_DESCRIPTOR* audio = descriptor->FilterDescriptors[2 + i];
        EXPECT_EQ(audio->ReferenceGuid->Data1, 0x93F10012u + i);
        EXPECT_EQ(audio->PinDescriptorsCount, 2u);
        EXPECT_EQ(audio->NodeDescriptorsCount, 3u);
        EXPECT_EQ(Connections(audio), expected);
        EXPECT_TRUE(*audio->PinDescriptors[1].PinDescriptor.Name == GetAudioInputTypeGuid(i));
    }
}

TEST_F(DeviceLifeCycleTest, VideoCaptureFilterOffersThreePinsWithoutHardware)
{
    Prepare(6, false, 0);
    device_->SetInstanceId(7);
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    const KSDEVICE_DESCRIPTOR* descriptor = device_->GetDeviceDescriptor();
    // No audio inputs: no audio filter.
    ASSERT_EQ(descriptor->FilterDescriptorsCount, 2u);
    const KSFILTER_DESCRIPTOR* video = descriptor->FilterDescriptors[0];
    EXPECT_EQ(video->PinDescriptorsCount, 3u);
    const KSPIN_DESCRIPTOR& input = video->PinDescriptors[Device::kVideoAnalogInputPin].PinDescriptor;
    ASSERT_EQ(input.MediumsCount, 1u);
    EXPECT_EQ(input.Mediums[0].Set.Data1, 0x0120854Bu);
    EXPECT_EQ(input.Mediums[0].Id, 7u);
    EXPECT_EQ(input.Mediums[0].Flags, 0u);
    EXPECT_TRUE(*descriptor->FilterDescriptors[1]->ReferenceGuid == kCrossbarFilterReference);
}

TEST_F(DeviceLifeCycleTest, VideoCaptureFilterOffersFivePinsWithHardware)
{
    Prepare(6, true, 2);
    ASSERT_EQ(device_->BuildFilterDescriptors(), STATUS_SUCCESS);
    EXPECT_EQ(device_->GetDeviceDescriptor()->FilterDescriptors[0]->PinDescriptorsCount, 5u);
    EXPECT_EQ(device_->GetDeviceDescriptor()->FilterDescriptorsCount, 4u);
}

TEST_F(DeviceLifeCycleTest, CapabilitiesClearExactlyTheirBitsAndFields)
{
    DEVICE_CAPABILITIES capabilities;
    std::memset(&capabilities, 0xFF, sizeof(capabilities));
    ASSERT_EQ(Device::DeviceQueryCapabilities(nullptr, nullptr, &capabilities), STATUS_SUCCESS);
    ULONG flags = 0;
    std::memcpy(&flags, reinterpret_cast<const UCHAR*>(&capabilities) + 4, 4);
    EXPECT_EQ(flags, 0xFFFC0000u); // bits 0 to 17 cleared, the rest as they were
    EXPECT_EQ(capabilities.Size, 0xFFFFu);
    EXPECT_EQ(capabilities.Address, 0xFFFFFFFFu);
    EXPECT_EQ(capabilities.UINumber, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<int>(capabilities.SystemWake), 0);
    EXPECT_EQ(static_cast<int>(capabilities.DeviceWake), 0);
    EXPECT_EQ(capabilities.D1Latency, 0u);
    EXPECT_EQ(capabilities.D2Latency, 0u);
    EXPECT_EQ(capabilities.D3Latency, 0u);
    ULONG state = 0; // untouched: read as bytes, since all ones is no power state
    std::memcpy(&state, reinterpret_cast<const UCHAR*>(&capabilities) + offsetof(DEVICE_CAPABILITIES, DeviceState), 4);
    EXPECT_EQ(state, 0xFFFFFFFFu);
    EXPECT_EQ(Device::DeviceQueryCapabilities(nullptr, nullptr, nullptr), STATUS_INVALID_PARAMETER);
}

TEST_F(DeviceLifeCycleTest, AddWithoutAFreeInstanceIdFailsAndWritesNothing)
{
    Prepare(6, false, 0);
    delete device_;
    device_ = new Device(driver());
    std::vector<Device*> others;
    for (LONG id = 1; id <= 100; ++id) {
        others.push_back(reinterpret_cast<Device*>(static_cast<uintptr_t>(0x1000 + id * 16)));
        ASSERT_TRUE(driver()->RecordAssignedDeviceInstanceId(others.back(), id));
    }
    EXPECT_EQ(device_->OnAdd(driverObject_, pdo_), static_cast<NTSTATUS>(0xC007105E));
    EXPECT_EQ(device_->GetInstanceId(), 0);
    EXPECT_FALSE(standin::ReadRegistryDword(kBoardKey, u"InstanceId").has_value());
    for (Device* other : others)
        driver()->RemoveDeviceInstanceId(other);
}

// A bus that cannot tell the board's location: add fails with the query's status, traced by the
// property's name, and gives the id it took back.
struct MissingLocation {
    bool busNumber;
    const char* trace;
};

class DeviceAddLocationTest : public DeviceLifeCycleTest, public testing::WithParamInterface<MissingLocation> {};

TEST_P(DeviceAddLocationTest, AddFailsWithTheQueryStatusAndGivesItsIdBack)
{
    Prepare(6, true, 0, {}, "\"TraceErrors\"=dword:00000001\n");
    standin::PhysicalDeviceProperties properties;
    properties.enumeratorName = u"PCI";
    properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
    properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
    if (GetParam().busNumber)
        properties.busNumber = 3;
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
    ASSERT_NE(pdo, nullptr);
    standin::DebugOutputClear();
    EXPECT_EQ(driverObject_->DriverExtension->AddDevice(driverObject_, pdo), STATUS_OBJECT_NAME_NOT_FOUND);
    char line[64];
    std::snprintf(line, sizeof line, "%s=%08X", GetParam().trace, static_cast<unsigned>(STATUS_OBJECT_NAME_NOT_FOUND));
    EXPECT_EQ(TracedMessages(line), std::vector<std::string>{line});
    EXPECT_EQ(pdo->AttachedDevice, nullptr);
    // Id 1 is free again.
    Device* other = reinterpret_cast<Device*>(static_cast<uintptr_t>(0x1230));
    EXPECT_EQ(driver()->GetDeviceInstanceId(other), 1);
    driver()->RemoveDeviceInstanceId(other);
    standin::DeletePhysicalDeviceObject(pdo);
}

INSTANTIATE_TEST_SUITE_P(Location, DeviceAddLocationTest,
                         testing::Values(MissingLocation{false, "DevicePropertyBusNumber"},
                                         MissingLocation{true, "DevicePropertyAddress"}));

TEST_F(DeviceLifeCycleTest, EnablingAnAbsentCardIsRefusedAndChangesNothing)
{
    Prepare(6, false, 8);
    device_->GetAudioInputItems()->SetDaughterCardState(AudioInputItems::kNoDaughterCard);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(record.daughterCardState, 31u);
    EXPECT_EQ(record.kernelVersion6, 1);
    const std::string before = ExportBoard();
    record.daughterCardEnable = 1;
    for (ULONG i = 4; i < 8; ++i)
        record.inputs[i].connectorType = 11;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108C));
    EXPECT_EQ(ExportBoard(), before);
    ASSERT_EQ(standin::EventLogEntries().size(), 1u);
    EXPECT_EQ(standin::EventLogEntries()[0].messageId, 0xC007108Cu);
}

TEST_F(DeviceLifeCycleTest, ChangedCardInputsTakeTheirKindsIdentifiersInTurn)
{
    Prepare(6, false, 8);
    device_->GetAudioInputItems()->SetDaughterCardState(0);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    record.daughterCardEnable = 1;
    const UCHAR types[4] = {11, 12, 14, 13};
    for (ULONG i = 0; i < 4; ++i)
        record.inputs[4 + i].connectorType = types[i];
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    const ULONG identifiers[4] = {8, 12, 16, 20};
    for (ULONG i = 0; i < 4; ++i) {
        EXPECT_EQ(InputString(5 + i, u"InputName"), WrittenName(identifiers[i])) << i;
        EXPECT_EQ(standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\AudioInputs\\Input" +
                                                 static_cast<char16_t>(u'5' + i),
                                             u"InputType"),
                  types[i]);
    }
    EXPECT_EQ(standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\AudioInputs", u"DaughterCardEnabled"), 1u);

    // Inputs 6 and 8 become AES in one call: the inputs that change take their kind's identifiers
    // in turn from its first, whatever the unchanged ones hold; input 5 keeps its own.
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    record.inputs[5].connectorType = 11;
    record.inputs[7].connectorType = 11;
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(InputString(6, u"InputName"), WrittenName(8));
    EXPECT_EQ(InputString(8, u"InputName"), WrittenName(9));
    EXPECT_EQ(InputString(5, u"InputName"), WrittenName(8));
    EXPECT_EQ(InputString(7, u"InputName"), WrittenName(16));

    // Disabling the card brings inputs 5 to 8 back to SDI, each named like its input.
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    record.daughterCardEnable = 0;
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(InputString(7, u"InputName"), WrittenName(6));
    EXPECT_EQ(standin::ReadRegistryDword(std::u16string(kBoardKey) + u"\\AudioInputs\\Input7", u"InputType"), 10u);
}

TEST_F(DeviceLifeCycleTest, OnlyTheBoardsOwnInputsAreCheckedAndApplied)
{
    Prepare(6, false, 2);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    // A first apply clears the legacy flag, as any does from kernel version 6 on.
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    standin::EventLogClear();
    const std::string before = ExportBoard();
    // Slots of inputs the board does not have hold anything at all.
    for (ULONG i = 2; i < 8; ++i) {
        record.inputs[i].connectorType = 99;
        record.inputs[i].inputEnabled = 7;
        record.inputs[i].defaultFrequency = 9;
        record.gain[i] = record.gainMaximum + 100;
        record.volumeAdjustmentDisabled[i] = 5;
    }
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(ExportBoard(), before);
    EXPECT_EQ(device_->GetAudioInputItems()->GetInputCount(), 2u);
    EXPECT_TRUE(standin::EventLogEntries().empty());
    // One of its own inputs out of range is still refused.
    record.inputs[1].inputEnabled = 2;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108E));
}

TEST_F(DeviceLifeCycleTest, ChecksRunInTheirOrder)
{
    Prepare(6, false, 8);
    device_->GetAudioInputItems()->SetDaughterCardState(0);
    BrevicorAudioConfigRecord good{};
    ASSERT_EQ(device_->GetAudioInputSettings(&good), STATUS_SUCCESS);
    const std::string before = ExportBoard();

    BrevicorAudioConfigRecord record = good;
    record.daughterCardEnable = 2;
    record.inputs[0].connectorType = 11;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108A));

    record = good;
    record.inputs[2].connectorType = 11;
    record.inputs[0].inputEnabled = 2;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108D));
    const auto entries = standin::EventLogEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().inserts, (std::vector<std::u16string>{u"11", u"3"}));

    record = good;
    record.inputs[1].inputEnabled = 2;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108E));
    record = good;
    record.inputs[1].defaultFrequency = 3;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC0071090));
    record = good;
    record.gain[3] = good.gainMaximum + 1;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC0071091));
    record = good;
    record.volumeAdjustmentDisabled[7] = 2;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108F));
    record = good;
    record.daughterCardEnable = 1;
    record.inputs[4].connectorType = 10;
    EXPECT_EQ(device_->SetAudioConfigurationSettings(&record), static_cast<NTSTATUS>(0xC007108B));
    EXPECT_EQ(ExportBoard(), before);
}

// The refusals of a default frequency and of a gain read, through the driver's message table, as
// their messages say: every insert in its place, none left over, the sign of a negative limit kept.
TEST_F(DeviceLifeCycleTest, FrequencyAndGainRefusalsReadWholeThroughTheMessageTable)
{
    Prepare(6, false, 8);
    BrevicorAudioConfigRecord good{};
    ASSERT_EQ(device_->GetAudioInputSettings(&good), STATUS_SUCCESS);
    // The driver's gain limits -4 and 20 about its base of 5, in tenths of a decibel.
    ASSERT_EQ(good.gainMinimum, -9);
    ASSERT_EQ(good.gainMaximum, 15);
    standin::RegisterMessageTable("Talvexon", StandinMessageTable, StandinMessageTableCount);
    auto refusal = [&](const BrevicorAudioConfigRecord& record, NTSTATUS expected) {
        standin::EventLogClear();
        BrevicorAudioConfigRecord sent = record;
        EXPECT_EQ(device_->SetAudioConfigurationSettings(&sent), expected);
        const auto entries = standin::EventLogEntries();
        if (entries.size() != 1u) {
            ADD_FAILURE() << entries.size() << " entries";
            return std::string();
        }
        EXPECT_EQ(entries[0].messageId, static_cast<ULONG>(expected));
        const std::string text = standin::RenderEventLogEntry(entries[0]);
        return text.substr(0, text.find_last_not_of("\r\n") + 1);
    };
    BrevicorAudioConfigRecord record = good;
    record.inputs[1].defaultFrequency = 3;
    EXPECT_EQ(refusal(record, MSG_INVALID_DEFAULT_AUDIO_FREQUENCY_TYPE_INVALID),
              "Invalid default audio frequency type of 3 is invalid.  Valid value range is 0 - 2");
    record = good;
    record.gain[3] = 16;
    EXPECT_EQ(refusal(record, MSG_AUDIO_GAIN_VALUE_INVALID_VALID_VALUE),
              "Audio gain value of 16 is invalid.  Valid value range is -9 (-0.9 dB) to 15 (1.5 dB)");
    record.gain[3] = -10;
    EXPECT_EQ(refusal(record, MSG_AUDIO_GAIN_VALUE_INVALID_VALID_VALUE),
              "Audio gain value of -10 is invalid.  Valid value range is -9 (-0.9 dB) to 15 (1.5 dB)");
    standin::UnregisterMessageTable("Talvexon");
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].inserts, (std::vector<std::u16string>{u"-10", u"-9", u"-0.9", u"15", u"1.5"}));
}

TEST_F(DeviceLifeCycleTest, RenamesTheBoardsEndpointShowingTheOldName)
{
    Prepare(6, false, 8,
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{a}]\n"
            "\"DeviceState\"=dword:00000001\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{a}\\Properties]\n"
            "\"{b3f8fa53-0004-438e-9003-51a46e139bfc},6\"=\"Talvexon HD 2\"\n"
            "\"{a45c254e-df1c-4efd-8020-67d146a850e0},2\"=\"SDI Audio 5\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{b}]\n"
            "\"DeviceState\"=dword:00000004\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{b}\\Properties]\n"
            "\"{b3f8fa53-0004-438e-9003-51a46e139bfc},6\"=\"Talvexon HD 1\"\n"
            "\"{a45c254e-df1c-4efd-8020-67d146a850e0},2\"=\"SDI Audio 5\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{c}]\n"
            "\"DeviceState\"=dword:00000001\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{c}\\Properties]\n"
            "\"{b3f8fa53-0004-438e-9003-51a46e139bfc},6\"=\"Talvexon HD 1\"\n"
            "\"{a45c254e-df1c-4efd-8020-67d146a850e0},2\"=\"SDI Audio 5\"\n");
    device_->GoHackTheDisplayedInputName(4, 8);
    const std::u16string capture = u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\";
    const char16_t kName[] = u"{a45c254e-df1c-4efd-8020-67d146a850e0},2";
    EXPECT_EQ(standin::ReadRegistryString(capture + u"{a}\\Properties", kName), u"SDI Audio 5"); // another board
    EXPECT_EQ(standin::ReadRegistryString(capture + u"{b}\\Properties", kName), u"SDI Audio 5"); // not active
    EXPECT_EQ(standin::ReadRegistryString(capture + u"{c}\\Properties", kName), u"AES Audio 1");
}

TEST_F(DeviceLifeCycleTest, TypeChangeRenamesTheBoardsActiveEndpoint)
{
    Prepare(6, false, 8,
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{c}]\n"
            "\"DeviceState\"=dword:00000001\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{c}\\Properties]\n"
            "\"{b3f8fa53-0004-438e-9003-51a46e139bfc},6\"=\"Talvexon HD 1\"\n"
            "\"{a45c254e-df1c-4efd-8020-67d146a850e0},2\"=\"SDI Audio 5\"\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{d}]\n"
            "\"DeviceState\"=dword:00000001\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\{d}\\Properties]\n"
            "\"{b3f8fa53-0004-438e-9003-51a46e139bfc},6\"=\"Talvexon HD 1\"\n"
            "\"{a45c254e-df1c-4efd-8020-67d146a850e0},2\"=\"SDI Audio 1\"\n");
    device_->GetAudioInputItems()->SetDaughterCardState(0);
    BrevicorAudioConfigRecord record{};
    ASSERT_EQ(device_->GetAudioInputSettings(&record), STATUS_SUCCESS);
    record.daughterCardEnable = 1;
    for (ULONG i = 4; i < 8; ++i)
        record.inputs[i].connectorType = 11;
    ASSERT_EQ(device_->SetAudioConfigurationSettings(&record), STATUS_SUCCESS);
    const std::u16string capture = u"\\Registry\\Machine\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\MMDevices\\Audio\\Capture\\";
    const char16_t kName[] = u"{a45c254e-df1c-4efd-8020-67d146a850e0},2";
    // Input 5 became the first AES input; input 1 kept its type, so its endpoint keeps its name.
    EXPECT_EQ(standin::ReadRegistryString(capture + u"{c}\\Properties", kName), u"AES Audio 1");
    EXPECT_EQ(standin::ReadRegistryString(capture + u"{d}\\Properties", kName), u"SDI Audio 1");
    EXPECT_EQ(InputString(5, u"InputName"), WrittenName(8));
}

} // namespace
