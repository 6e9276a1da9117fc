// The device's settings persistence on the stand-in registry: a board key that holds only its
// input lists gains every value with its default, once (a second load changes no byte); the
// messages of missing counts, keys and names with their inserts; the substitutions without
// hardware; which stored values are used and which are left alone; the limits on counts; the
// stored connection formats; the writers' keys and their failure; and the loss-of-signal record.
#include "DriverTestSupport.h"

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audioinputtypes.h"
#include "device.h"
#include "messages/Talvexon.h"
#include "standin/pool.h"
#include "videocapturefilter.h"
#include "videofiltersettings.h"

namespace {

using drivertest::DriverTest;

constexpr char16_t kBoardPath[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\{"
                                  u"4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
constexpr char kBoardReg[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\{4d36e96c-e325-"
                             "11ce-bfc1-08002be10318}\\0000";
constexpr char16_t kTail[] = u"\\{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";

std::u16string Board(const std::u16string& sub = u"")
{
    return sub.empty() ? std::u16string(kBoardPath) : std::u16string(kBoardPath) + u"\\" + sub;
}

// Records every group and value the loaders apply.
struct RecordingFilter : VideoFilterSettings {
    NTSTATUS SetCropSettings(BrevicorCropRecord* r) override { return Keep(crop, r, "crop"); }
    NTSTATUS SetDeinterlaceSettings(BrevicorDeinterlaceRecord* r) override
    {
        return Keep(deinterlace, r, "deinterlace");
    }
    NTSTATUS SetImageQualitySettings(BrevicorImageQualityRecord* r, bool save) override
    {
        imageQualitySaves.push_back(save);
        return Keep(imageQuality, r, "imagequality");
    }
    NTSTATUS SetLogoSettings(BrevicorLogoRecord* r) override { return Keep(logo, r, "logo"); }
    NTSTATUS SetProcAmpSettings(BrevicorProcAmpRecord* r) override { return Keep(procAmp, r, "procamp"); }
    NTSTATUS SetVideoDecoderSettings(BrevicorVideoDecoderRecord* r, bool save) override
    {
        decoderSaves.push_back(save);
        return Keep(decoder, r, "decoder");
    }
    NTSTATUS SetCCSettings(BrevicorCCRecord* r) override { return Keep(cc, r, "cc"); }
    void SetVideoDecoderStandardsSupported(ULONG v) override { values.push_back({"standards", v}); }
    void SetVideoDecoderCapabilities(ULONG v) override { values.push_back({"capabilities", v}); }
    void SetVideoDecoderSettlingTime(ULONG v) override { values.push_back({"settling", v}); }
    void SetVideoDecoderHSyncPerVSync(ULONG v) override { values.push_back({"hsync", v}); }
    void SetVideoDecoderNumberOfLines(ULONG v) override { values.push_back({"lines", v}); }
    void SetVideoDecoderSignalLocked(ULONG v) override { values.push_back({"locked", v}); }
    void SetVideoDecoderOutputEnable(ULONG v) override { values.push_back({"output", v}); }
    void SetVideoDecoderVCRTiming(ULONG v) override { values.push_back({"vcr", v}); }
    NTSTATUS SetConnectionFormat(ULONG pinId, const void* format, ULONG length) override
    {
        formats.push_back({pinId, std::vector<UCHAR>(static_cast<const UCHAR*>(format),
                                                     static_cast<const UCHAR*>(format) + length)});
        return STATUS_SUCCESS;
    }

    template <typename R> NTSTATUS Keep(std::vector<R>& list, const R* record, const char* name)
    {
        list.push_back(*record);
        calls.push_back(name);
        return result;
    }

    NTSTATUS result = STATUS_SUCCESS;
    std::vector<std::string> calls;
    std::vector<BrevicorCropRecord> crop;
    std::vector<BrevicorDeinterlaceRecord> deinterlace;
    std::vector<BrevicorImageQualityRecord> imageQuality;
    std::vector<bool> imageQualitySaves;
    std::vector<BrevicorLogoRecord> logo;
    std::vector<BrevicorProcAmpRecord> procAmp;
    std::vector<BrevicorVideoDecoderRecord> decoder;
    std::vector<bool> decoderSaves;
    std::vector<BrevicorCCRecord> cc;
    std::vector<std::pair<std::string, ULONG>> values;
    std::vector<std::pair<ULONG, std::vector<UCHAR>>> formats;
};

// A device whose board-key writes are recorded; the write numbered failAt (1-based) runs out of
// pool inside the real writer.
class RecordingDevice : public Device {
public:
    using Device::Device;
    using Device::WriteDevicePropertyToRegistry;
    NTSTATUS WriteDevicePropertyToRegistry(PCWSTR name, ULONG value) override
    {
        Prepare(name);
        return Device::WriteDevicePropertyToRegistry(name, value);
    }
    NTSTATUS WriteDevicePropertyToRegistry(PCWSTR name, PCWSTR text) override
    {
        Prepare(name);
        return Device::WriteDevicePropertyToRegistry(name, text);
    }
    void Prepare(PCWSTR name)
    {
        writes.emplace_back(name);
        if (writes.size() == failAt)
            standin::PoolFailNthAllocation(1);
    }
    std::vector<std::u16string> writes;
    size_t failAt = 0;
};

class DeviceSettingsTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        StartDriver(true);
    }
    void TearDown() override
    {
        StopDevice();
        standin::PoolClearFailures();
        DriverTest::TearDown();
    }

    void StartDriver(bool hardware)
    {
        ImportService(hardware ? "\"HardwareInstalled\"=dword:00000001"
                               : "\"HardwareInstalled\"=dword:00000000");
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        standin::PhysicalDeviceProperties properties;
        properties.enumeratorName = u"PCI";
        properties.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
        properties.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000";
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        ASSERT_NE(pdo_, nullptr);
        device_ = new RecordingDevice(driver());
        device_->SetPhysicalDeviceObject(pdo_);
        standin::EventLogClear();
    }
    void StopDevice()
    {
        delete device_;
        device_ = nullptr;
        if (pdo_ != nullptr)
            standin::DeletePhysicalDeviceObject(pdo_);
        pdo_ = nullptr;
    }
    void Restart(bool hardware)
    {
        StopDevice();
        Unload();
        StartDriver(hardware);
    }

    // The board key with `body` (.reg lines of keys below it, each "[\sub]" relative).
    static void Seed(const std::string& body)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n[" + std::string(kBoardReg) + "]\n\n";
        std::istringstream lines(body);
        std::string line;
        while (std::getline(lines, line)) {
            if (line == "[\\]")
                line = "[" + std::string(kBoardReg) + "]";
            else if (line.size() > 1 && line[0] == '[' && line[1] == '\\')
                line = "[" + std::string(kBoardReg) + line.substr(1);
            text += line + "\n";
        }
        standin::RegistryTextError error;
        ASSERT_TRUE(standin::ImportRegistryText(text, &error)) << error.line << ": " << error.message;
    }

    static std::string StandardBoard()
    {
        return "[\\VideoInputs]\n\"Count\"=dword:00000002\n"
               "[\\VideoInputs\\Input1]\n\"InputName\"=\"SDI 1\"\n"
               "[\\VideoInputs\\Input2]\n\"InputName\"=\"Composite 2\"\n"
               "[\\AudioInputs]\n\"Count\"=dword:00000003\n"
               "[\\AudioInputs\\Input1]\n\"InputName\"=\"{5d61fb00-23ef-4d82-ad98-ad61eeaed7f5}\"\n"
               "[\\AudioInputs\\Input2]\n\"InputName\"=\"{5d61fb01-23ef-4d82-ad98-ad61eeaed7f5}\"\n"
               "[\\AudioInputs\\Input3]\n\"InputName\"=\"{5d61fb08-23ef-4d82-ad98-ad61eeaed7f5}\"\n";
    }

    // The loads of a board's life: add, start, one video capture filter with every input's pins.
    void LoadEverything(RecordingFilter* filter)
    {
        VideoInputItems* video = device_->GetVideoInputItems();
        EXPECT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, video), STATUS_SUCCESS);
        EXPECT_EQ(Device::LoadAudioInputsFromRegistry(device_, pdo_, device_->GetAudioInputItems()),
                  STATUS_SUCCESS);
        EXPECT_EQ(Device::LoadDeviceFromRegistry(device_, pdo_), STATUS_SUCCESS);
        EXPECT_EQ(Device::LoadFilterFromRegistry(device_, pdo_, filter), STATUS_SUCCESS);
        for (ULONG i = 0; i < video->GetInputCount(); ++i) {
            video->SetSecondWord(i);
            EXPECT_EQ(Device::LoadVideoPinsFromRegistry(device_, pdo_, i, filter), STATUS_SUCCESS);
        }
        video->SetSecondWord(0);
    }

    static std::string Export(const std::u16string& path = kBoardPath)
    {
        std::string text;
        standin::RegistryTextError error;
        EXPECT_TRUE(standin::ExportRegistryText(path, &text, &error)) << error.message;
        return text;
    }

    // The golden file's board key as the registry exports it (imported into an empty registry, so
    // that its line wrapping and key order are the export's).
    static std::string GoldenExport()
    {
        std::ifstream in(std::string(QUILLMAR_SOURCE_DIR) + "/tests/data/settings-defaults.reg");
        std::stringstream golden;
        golden << in.rdbuf();
        std::string saved = Export(u"\\Registry");
        standin::ResetRegistry();
        standin::RegistryTextError error;
        EXPECT_TRUE(standin::ImportRegistryText(golden.str(), &error)) << error.line << ": " << error.message;
        std::string text = Export();
        standin::ResetRegistry();
        EXPECT_TRUE(standin::ImportRegistryText(saved, &error)) << error.message;
        return text;
    }

    static std::vector<std::u16string> Inserts(ULONG id, size_t n = 0)
    {
        auto events = Events(id);
        return events.size() > n ? events[n].inserts : std::vector<std::u16string>{};
    }

    PDEVICE_OBJECT pdo_ = nullptr;
    RecordingDevice* device_ = nullptr;
};

TEST_F(DeviceSettingsTest, FreshBoardGainsEveryDefaultOnceAndOnlyOnce)
{
    Seed(StandardBoard());
    RecordingFilter filter;
    LoadEverything(&filter);
    const std::string first = Export();
    EXPECT_EQ(first, GoldenExport());
    EXPECT_TRUE(standin::EventLogEntries().empty());

    RecordingFilter again;
    LoadEverything(&again);
    EXPECT_EQ(Export(), first);
    EXPECT_EQ(again.calls, filter.calls);
}

TEST_F(DeviceSettingsTest, GroupsReachTheFilterWithTheirDefaultsAndNoSaveFlags)
{
    Seed(StandardBoard());
    RecordingFilter filter;
    LoadEverything(&filter);

    // Two inputs, pin types 1 and 2 each, the groups in their order.
    const std::vector<std::string> perPin = {"crop", "deinterlace", "imagequality", "logo", "procamp", "cc"};
    std::vector<std::string> expected = {"decoder"};
    for (int i = 0; i < 4; ++i)
        expected.insert(expected.end(), perPin.begin(), perPin.end());
    EXPECT_EQ(filter.calls, expected);
    ASSERT_EQ(filter.crop.size(), 4u);
    EXPECT_EQ(filter.crop[0].pinType, 1u);
    EXPECT_EQ(filter.crop[1].pinType, 2u);
    for (const auto& r : filter.crop)
        EXPECT_EQ(r.noSave, 1u);
    for (const auto& r : filter.deinterlace) {
        EXPECT_EQ(r.noSave, 1u);
        EXPECT_EQ(r.enable, 1u);
        EXPECT_EQ(r.type, 3u);
        EXPECT_EQ(r.resyncInterval, 10000u);
    }
    EXPECT_EQ(filter.imageQualitySaves, std::vector<bool>(4, false));
    EXPECT_EQ(filter.imageQuality[3].level, 5u);
    for (const auto& r : filter.logo) {
        EXPECT_EQ(r.noSave, 1u);
        EXPECT_EQ(r.destinationHeight, 16u);
        EXPECT_EQ(r.destinationWidth, 16u);
    }
    for (const auto& r : filter.procAmp) {
        EXPECT_EQ(r.noSave, 1u);
        EXPECT_EQ(r.contrast.value, 100);
        EXPECT_EQ(r.gamma.value, 100);
    }
    for (const auto& r : filter.cc) {
        EXPECT_EQ(r.noSave, 1u);
        EXPECT_EQ(r.destinationLeft, 270u);
        EXPECT_EQ(r.foregroundColor, 0xFFFFFFu);
        EXPECT_EQ(r.field, 1u);
        EXPECT_EQ(r.channel, 1u);
    }
    ASSERT_EQ(filter.decoder.size(), 1u);
    EXPECT_EQ(filter.decoder[0].currentSignalType, 1u);
    EXPECT_EQ(filter.decoderSaves, std::vector<bool>{false});
    const std::vector<std::pair<std::string, ULONG>> values = {
        {"standards", 499}, {"capabilities", 6}, {"settling", 10}, {"hsync", 6},
        {"lines", 525},     {"locked", 0},       {"output", 1},    {"vcr", 0}};
    EXPECT_EQ(filter.values, values);
    EXPECT_EQ(device_->GetDecoderCurrentStandard(), 1u);
    EXPECT_TRUE(filter.formats.empty());

    // The device's own lists.
    VideoInputItems* video = device_->GetVideoInputItems();
    ASSERT_EQ(video->GetInputCount(), 2u);
    EXPECT_EQ(std::u16string(video->GetInput(1)->GetInputName()), u"Composite 2");
    BrevicorInputDetectRecord detect{};
    detect.inputNumber = 1;
    ASSERT_EQ(video->GetInputDetectInfo(&detect), STATUS_SUCCESS);
    EXPECT_EQ(detect.inputNumber, 1u);
    AudioInputItems* audio = device_->GetAudioInputItems();
    ASSERT_EQ(audio->GetInputCount(), 3u);
    ULONG pairIndex = 9, type = 0, io = 0;
    GUID name{};
    audio->GetChannelPairIndex(2, &pairIndex);
    audio->GetInputType(2, &type);
    audio->GetInputIOIndex(2, &io);
    audio->GetInputName(2, &name);
    EXPECT_EQ(pairIndex, 2u);
    EXPECT_EQ(type, 10u);
    EXPECT_EQ(io, 10u);
    EXPECT_EQ(name, GetAudioInputTypeGuid(8));
    EXPECT_EQ(device_->GetLegacyAudioFilters(), 1u);
    EXPECT_EQ(device_->GetDeviceValues().audioTestSignalFrequency, 2u);
}

TEST_F(DeviceSettingsTest, StoredValuesAreUsedAndUnusableOnesLeftAlone)
{
    std::string wideName(260, 'w');
    Seed(StandardBoard() +
         "[\\VideoInputs]\n\"ActiveInput\"=dword:00000001\n"
         "[\\VideoInputs\\Input1\\VideoPins\\Capture]\n"
         "\"CropTop\"=dword:00000008\n"
         "\"CropHeight\"=\"480\"\n"
         "\"LogoFileName\"=\"" +
         wideName +
         "\"\n"
         "\"GammaValues\"=hex:01,02,03\n"
         "\"Hue\"=dword:fffffff6\n"
         "\"CCFontFileName\"=\"C:\\\\fonts\\\\a.gph\"\n");
    RecordingFilter filter;
    LoadEverything(&filter);
    ASSERT_GE(filter.crop.size(), 1u);
    EXPECT_EQ(filter.crop[0].top, 8u);
    EXPECT_EQ(filter.crop[0].height, 0u); // a text where a number belongs: the default
    EXPECT_EQ(std::u16string(filter.logo[0].fileName), u"");
    EXPECT_EQ(filter.procAmp[0].gammaTable[0], 0);
    EXPECT_EQ(filter.procAmp[0].hue.value, -10);
    EXPECT_EQ(std::u16string(filter.cc[0].fontFileName), u"C:\\fonts\\a.gph");
    const std::u16string capture = Board(u"VideoInputs\\Input1\\VideoPins\\Capture");
    EXPECT_EQ(standin::ReadRegistryDword(capture, u"CropTop"), 8u);
    EXPECT_EQ(standin::ReadRegistryString(capture, u"CropHeight"), u"480");
    EXPECT_EQ(standin::ReadRegistryString(capture, u"LogoFileName")->size(), 260u);
    EXPECT_EQ(standin::ReadRegistryValue(capture, u"GammaValues")->data.size(), 3u);
    EXPECT_EQ(device_->GetVideoInputItems()->GetSecondWord(), 0u); // LoadEverything resets it
    VideoInputItems items;
    ASSERT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, &items), STATUS_SUCCESS);
    EXPECT_EQ(items.GetSecondWord(), 1u);
}

TEST_F(DeviceSettingsTest, MissingCountsKeysAndNamesAreLogged)
{
    Seed("[\\VideoInputs]\n[\\AudioInputs]\n");
    VideoInputItems video;
    video.AllocateInputs(2);
    EXPECT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, &video),
              static_cast<NTSTATUS>(MSG_VIDEOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY));
    EXPECT_EQ(video.GetInputCount(), 0u);
    EXPECT_EQ(Inserts(MSG_VIDEOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY),
              std::vector<std::u16string>{kTail});
    AudioInputItems audio;
    EXPECT_EQ(Device::LoadAudioInputsFromRegistry(device_, pdo_, &audio),
              static_cast<NTSTATUS>(MSG_AUDIOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY));
    EXPECT_EQ(Inserts(MSG_AUDIOINPUTS_REGISTRY_SECTION_MISSING_COUNT_ENTRY),
              std::vector<std::u16string>{kTail});
    EXPECT_FALSE(standin::ReadRegistryDword(Board(u"VideoInputs"), u"ActiveInput").has_value());

    // Input 1 without a name, input 2 without a key.
    standin::EventLogClear();
    Seed(
        "[\\VideoInputs]\n\"Count\"=dword:00000002\n[\\VideoInputs\\Input1]\n\"InputType\"=dword:00000004\n");
    EXPECT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, &video),
              static_cast<NTSTATUS>(MSG_REGISTRY_KEY_MISSING_CARD));
    ASSERT_EQ(video.GetInputCount(), 2u);
    EXPECT_EQ(std::u16string(video.GetInput(0)->GetInputName()), u"");
    ULONG type = 0;
    video.GetInput(0)->GetInputType(&type);
    EXPECT_EQ(type, 4u);
    EXPECT_EQ(Inserts(MSG_INPUT_REGISTRY_SECTION_MISSING_ENTRY_CARD),
              (std::vector<std::u16string>{u"1", u"InputName", kTail}));
    EXPECT_EQ(Inserts(MSG_REGISTRY_KEY_MISSING_CARD),
              (std::vector<std::u16string>{u"VideoInputs\\Input2", kTail}));
    // Neither "InputType" nor "InputIOIndex" is written back.
    EXPECT_FALSE(standin::ReadRegistryDword(Board(u"VideoInputs\\Input1"), u"InputIOIndex").has_value());

    // Without a board key at all every loader reports the key.
    standin::ResetRegistry();
    standin::EventLogClear();
    EXPECT_EQ(Device::LoadDeviceFromRegistry(device_, pdo_),
              static_cast<NTSTATUS>(MSG_REGISTRY_KEY_MISSING_CARD));
    RecordingFilter filter;
    EXPECT_EQ(Device::LoadFilterFromRegistry(device_, pdo_, &filter),
              static_cast<NTSTATUS>(MSG_REGISTRY_KEY_MISSING_CARD));
    EXPECT_TRUE(filter.calls.empty());
}

TEST_F(DeviceSettingsTest, LoadersWithoutADeviceChangeNothing)
{
    VideoInputItems video;
    AudioInputItems audio;
    RecordingFilter filter;
    EXPECT_EQ(Device::LoadVideoInputsFromRegistry(nullptr, pdo_, &video), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Device::LoadAudioInputsFromRegistry(nullptr, pdo_, &audio), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Device::LoadDeviceFromRegistry(nullptr, pdo_), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Device::LoadFilterFromRegistry(nullptr, pdo_, &filter), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Device::LoadVideoPinsFromRegistry(nullptr, pdo_, 0, &filter), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(filter.calls.empty());
    EXPECT_TRUE(standin::EventLogEntries().empty());
}

TEST_F(DeviceSettingsTest, WithoutHardwareOneVideoInputAndAudioIndexThirty)
{
    Restart(false);
    Seed("[\\VideoInputs]\n\"Count\"=dword:00000003\n"
         "[\\VideoInputs\\Input1]\n\"InputName\"=\"SDI 1\"\n\"InputType\"=dword:00000007\n"
         "\"InputIOIndex\"=dword:00000005\n"
         "[\\VideoInputs\\Input2]\n\"InputName\"=\"SDI 2\"\n"
         "[\\VideoInputs\\Input3]\n\"InputName\"=\"SDI 3\"\n"
         "[\\AudioInputs]\n\"Count\"=dword:00000002\n"
         "[\\AudioInputs\\Input1]\n\"InputName\"=\"{5d61fb00-23ef-4d82-ad98-ad61eeaed7f5}\"\n"
         "\"InputIOIndex\"=dword:0000000b\n"
         "[\\AudioInputs\\Input2]\n\"InputName\"=\"{5d61fb01-23ef-4d82-ad98-ad61eeaed7f5}\"\n");
    VideoInputItems video;
    ASSERT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, &video), STATUS_SUCCESS);
    ASSERT_EQ(video.GetInputCount(), 1u);
    ULONG type = 9, io = 9;
    video.GetInput(0)->GetInputType(&type);
    video.GetInput(0)->GetInputIOIndex(&io);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(io, 2u);
    EXPECT_EQ(std::u16string(video.GetInput(0)->GetInputName()), u"SDI 1");
    BrevicorInputDetectRecord detect{};
    video.GetInputDetectInfo(&detect);
    EXPECT_EQ(detect.ioIndex, 2);

    AudioInputItems audio;
    ASSERT_EQ(Device::LoadAudioInputsFromRegistry(device_, pdo_, &audio), STATUS_SUCCESS);
    for (ULONG i = 0; i < 2; ++i) {
        audio.GetInputIOIndex(i, &io);
        EXPECT_EQ(io, 30u) << i;
    }
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs\\Input1"), u"InputIOIndex"), 11u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs\\Input2"), u"InputIOIndex"), 10u);
}

TEST_F(DeviceSettingsTest, CountsArecutAndAudioNamesChecked)
{
    std::string body = "[\\VideoInputs]\n\"Count\"=dword:00000011\n\"ActiveInput\"=dword:00000010\n";
    for (int i = 1; i <= 17; ++i)
        body +=
            "[\\VideoInputs\\Input" + std::to_string(i) + "]\n\"InputName\"=\"V" + std::to_string(i) + "\"\n";
    body += "[\\AudioInputs]\n\"Count\"=dword:00000009\n";
    for (int i = 1; i <= 9; ++i)
        body += "[\\AudioInputs\\Input" + std::to_string(i) + "]\n\"InputName\"=\"{5d61fb0" +
                std::to_string(i - 1) + "-23ef-4d82-ad98-ad61eeaed7f5}\"\n";
    body +=
        "[\\AudioInputs\\Input1]\n\"ChannelPairCount\"=dword:00000009\n\"ChannelPairIndex\"=dword:00000003\n"
        "[\\AudioInputs\\Input2]\n\"InputName\"=\"SDI Audio 2\"\n";
    Seed(body);
    VideoInputItems video;
    ASSERT_EQ(Device::LoadVideoInputsFromRegistry(device_, pdo_, &video), STATUS_SUCCESS);
    EXPECT_EQ(video.GetInputCount(), VideoInputItems::kMaximumInputs);
    EXPECT_EQ(video.GetSecondWord(), 0u); // 16 names no input of 16
    EXPECT_EQ(std::u16string(video.GetInput(15)->GetInputName()), u"V16");

    AudioInputItems audio;
    EXPECT_EQ(Device::LoadAudioInputsFromRegistry(device_, pdo_, &audio),
              static_cast<NTSTATUS>(MSG_AUDIO_INPUT_NAME_INVALID));
    EXPECT_EQ(audio.GetInputCount(), AudioInputItems::kMaximumInputs);
    ULONG pairs = 0, index = 0;
    audio.GetChannelPairCount(0, &pairs);
    audio.GetChannelPairIndex(0, &index);
    EXPECT_EQ(pairs, 8u);
    EXPECT_EQ(index, 3u);
    EXPECT_TRUE(standin::RegistryKeyExists(Board(u"AudioInputs\\Input1\\Channel8")));
    EXPECT_FALSE(standin::RegistryKeyExists(Board(u"AudioInputs\\Input1\\Channel9")));
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs\\Input1"), u"ChannelPairCount"), 9u);
    // Input 2's text is no identifier: it keeps the zero identifier, whose text is "Unknown".
    GUID name = GetAudioInputTypeGuid(5);
    audio.GetInputName(1, &name);
    EXPECT_EQ(name, GUID{});
    EXPECT_EQ(Inserts(MSG_AUDIO_INPUT_NAME_INVALID), std::vector<std::u16string>{u"SDI Audio 2"});
    WCHAR text[16];
    audio.GetInputNameString(1, text, 16);
    EXPECT_EQ(std::u16string(text), u"Unknown");
    audio.GetChannelPairIndex(7, &index);
    EXPECT_EQ(index, 7u);
}

TEST_F(DeviceSettingsTest, StoredConnectionFormatsNeedTheirFormAndSize)
{
    std::string capture = "hex:";
    for (int i = 0; i < 152; ++i)
        capture += (i ? "," : "") + std::string(i == 0 ? "98" : "01");
    std::string preview = "hex:01,02";
    Seed(StandardBoard() + "[\\]\n\"CaptureDataFormatType\"=dword:00000001\n\"CaptureDataFormat\"=" +
         capture + "\n\"PreviewDataFormatType\"=dword:00000002\n\"PreviewDataFormat\"=" + preview + "\n");
    RecordingFilter filter;
    ASSERT_EQ(Device::LoadFilterFromRegistry(device_, pdo_, &filter), STATUS_SUCCESS);
    ASSERT_EQ(filter.formats.size(), 1u);
    EXPECT_EQ(filter.formats[0].first, 1u);
    ASSERT_EQ(filter.formats[0].second.size(), 152u);
    EXPECT_EQ(filter.formats[0].second[0], 0x98);

    Seed("[\\]\n\"CaptureDataFormatType\"=dword:00000003\n\"PreviewDataFormatType\"=dword:00000002\n");
    RecordingFilter other;
    ASSERT_EQ(Device::LoadFilterFromRegistry(device_, pdo_, &other), STATUS_SUCCESS);
    EXPECT_TRUE(other.formats.empty());
}

TEST_F(DeviceSettingsTest, AConnectionFormatIsSavedWithItsFormAndLoadedByTheNextFilter)
{
    Seed(StandardBoard());
    VideoCaptureFilter filter;
    filter.SetDevice(device_);
    std::vector<UCHAR> info(VideoFilterSettings::kVideoInfoFormatBytes), info2(VideoFilterSettings::kVideoInfo2FormatBytes);
    for (size_t i = 0; i < info2.size(); ++i) {
        if (i < info.size())
            info[i] = static_cast<UCHAR>(i + 1);
        info2[i] = static_cast<UCHAR>(200 - i);
    }
    auto stored = [](PCWSTR name) {
        const auto value = standin::ReadRegistryValue(Board(), name);
        EXPECT_TRUE(value.has_value()) << "missing";
        EXPECT_EQ(value ? value->type : REG_NONE, static_cast<ULONG>(REG_BINARY));
        return value ? value->data : std::vector<UCHAR>{};
    };

    ASSERT_EQ(filter.SetConnectionFormat(1, info.data(), static_cast<ULONG>(info.size())), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"CaptureDataFormatType"), 1u);
    EXPECT_EQ(stored(u"CaptureDataFormat"), info);
    EXPECT_FALSE(standin::ReadRegistryValue(Board(), u"PreviewDataFormatType").has_value());
    ASSERT_EQ(filter.SetConnectionFormat(2, info2.data(), static_cast<ULONG>(info2.size())), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"PreviewDataFormatType"), 2u);
    EXPECT_EQ(stored(u"PreviewDataFormat"), info2);
    // The other form replaces the first, in the registry too.
    ASSERT_EQ(filter.SetConnectionFormat(1, info2.data(), static_cast<ULONG>(info2.size())), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"CaptureDataFormatType"), 2u);
    EXPECT_EQ(stored(u"CaptureDataFormat"), info2);
    // A refused format writes nothing.
    EXPECT_EQ(filter.SetConnectionFormat(3, info.data(), static_cast<ULONG>(info.size())), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(filter.SetConnectionFormat(2, info.data(), static_cast<ULONG>(info.size()) - 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"PreviewDataFormatType"), 2u);
    EXPECT_EQ(stored(u"PreviewDataFormat"), info2);
    EXPECT_TRUE(standin::EventLogEntries().empty());

    // The next filter of the board starts with the formats saved.
    VideoCaptureFilter next;
    ASSERT_EQ(Device::LoadFilterFromRegistry(device_, pdo_, &next), STATUS_SUCCESS);
    for (ULONG pin : {1u, 2u}) {
        std::vector<UCHAR> out(info2.size());
        ULONG length = 0;
        ASSERT_EQ(next.GetConnectionFormat(pin, out.data(), static_cast<ULONG>(out.size()), &length), STATUS_SUCCESS);
        EXPECT_EQ(length, info2.size()) << pin;
        EXPECT_EQ(out, info2) << pin;
    }
}

TEST_F(DeviceSettingsTest, WritersNameTheirKeys)
{
    Seed(StandardBoard());
    RecordingFilter filter;
    LoadEverything(&filter);
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(0, 2, u"CropTop", 8), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"VideoInputs\\Input1\\VideoPins\\Preview"), u"CropTop"), 8u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"VideoInputs\\Input1\\VideoPins\\Capture"), u"CropTop"), 0u);
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(1, 1, u"LogoFileName", u"C:\\l.bmp"), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryString(Board(u"VideoInputs\\Input2\\VideoPins\\Capture"), u"LogoFileName"),
              u"C:\\l.bmp");
    const UCHAR bytes[3] = {1, 2, 3};
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(0, 4, u"Blob", bytes, 3), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryValue(Board(u"VideoInputs\\Input1\\VideoPins\\CC"), u"Blob")->data,
              std::vector<UCHAR>(bytes, bytes + 3));
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(0, 0, u"CropTop", 1), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(0, 5, u"CropTop", 1), STATUS_INVALID_PARAMETER);

    EXPECT_EQ(device_->WriteVideoInputPropertyToRegistry(true, u"ActiveInput", 1), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"VideoInputs"), u"ActiveInput"), 1u);
    device_->GetVideoInputItems()->SetSecondWord(1);
    EXPECT_EQ(device_->WriteVideoInputPropertyToRegistry(false, u"InputType", 6), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"VideoInputs\\Input2"), u"InputType"), 6u);

    EXPECT_EQ(device_->WriteAudioChannelPropertyToRegistry(1, 0, u"LeftMute", 1), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs\\Input2\\Channel1"), u"LeftMute"), 1u);
    EXPECT_EQ(device_->WriteAudioInputPropertyToRegistry(u"ActiveInput", 2), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs"), u"ActiveInput"), 2u);
    EXPECT_EQ(device_->WriteAudioInputPropertyToRegistry(2, u"InputName", u"{x}"), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryString(Board(u"AudioInputs\\Input3"), u"InputName"), u"{x}");
    EXPECT_EQ(device_->WriteAudioInputPropertyToRegistry(2, u"InputGain", 4), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(u"AudioInputs\\Input3"), u"InputGain"), 4u);
    const UCHAR format[4] = {9, 8, 7, 6};
    EXPECT_EQ(device_->WriteDevicePropertyToRegistry(u"CaptureDataFormat", format, 4), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryValue(Board(), u"CaptureDataFormat")->type,
              static_cast<ULONG>(REG_BINARY));
    EXPECT_EQ(standin::ReadRegistryValue(Board(), u"CaptureDataFormat")->data,
              std::vector<UCHAR>(format, format + 4));
    EXPECT_EQ(device_->WriteDevicePropertyToRegistry(u"LOSVideoCaption", u"Gone"), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryString(Board(), u"LOSVideoCaption"), u"Gone");
    EXPECT_EQ(device_->WriteDevicePropertyToRegistry(u"DecoderCurrentSignalType", 2u), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"DecoderCurrentSignalType"), 2u);
    EXPECT_TRUE(standin::EventLogEntries().empty());

    // Input 6 has no key: its pin key cannot be made.
    EXPECT_EQ(device_->WriteVideoPinPropertyToRegistry(5, 2, u"CropTop", 8),
              static_cast<NTSTATUS>(MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED));
    const auto inserts = Inserts(MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED);
    ASSERT_EQ(inserts.size(), 4u);
    EXPECT_EQ(inserts[0], u"VideoInputs\\Input6\\VideoPins\\Preview");
    EXPECT_EQ(inserts[1], u"CropTop");
    EXPECT_EQ(inserts[2], u"8");
    EXPECT_EQ(inserts[3], u"0xc0000034");
    EXPECT_EQ(Inserts(MSG_REGISTRY_KEY_MISSING_CARD).size(), 2u);
    EXPECT_FALSE(standin::RegistryKeyExists(Board(u"VideoInputs\\Input6")));
}

TEST_F(DeviceSettingsTest, LossOfSignalStartsFromTheDefaults)
{
    BrevicorLOSRecord record;
    std::memset(&record, 0xAB, sizeof(record));
    ASSERT_EQ(device_->GetLOSSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(record.header[0], 0xABABABABu); // the caller's header stays
    EXPECT_EQ(record.referenceHeight, 487u);
    EXPECT_EQ(record.referenceWidth, 720u);
    EXPECT_EQ(record.destinationTop, 180u);
    EXPECT_EQ(record.destinationLeft, 270u);
    EXPECT_EQ(record.destinationHeight, 121u);
    EXPECT_EQ(record.destinationWidth, 180u);
    EXPECT_EQ(record.foregroundColor, 0xFFFFFFu);
    EXPECT_EQ(record.videoEnable, 0u);
    EXPECT_EQ(std::u16string(record.caption), u"Signal Lost");
    EXPECT_EQ(record.caption[20], 0);
    EXPECT_EQ(std::u16string(record.fontFileName), u"");
    EXPECT_EQ(device_->GetLOSSettings(nullptr), STATUS_INVALID_PARAMETER);
}

TEST_F(DeviceSettingsTest, LossOfSignalSetClampsWritesInOrderAndKeeps)
{
    Seed("");
    BrevicorLOSRecord record{};
    device_->GetLOSSettings(&record);
    record.videoEnable = 1;
    record.videoSignalType = 9;
    record.transparencyEnable = 5;
    record.referenceHeight = 2000;
    record.referenceWidth = 3000;
    record.oddChannelsTone = 1;
    bool changed = false;
    ASSERT_EQ(device_->SetLOSSettings(&record, &changed), STATUS_SUCCESS);
    EXPECT_TRUE(changed);
    BrevicorLOSRecord stored{};
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.videoSignalType, 0u);
    EXPECT_EQ(stored.transparencyEnable, 1u);
    EXPECT_EQ(stored.referenceHeight, 1080u);
    EXPECT_EQ(stored.referenceWidth, 1920u);
    const std::vector<std::u16string> order = {
        u"LOSVideoDestinationTop",   u"LOSVideoDestinationLeft", u"LOSVideoDestinationHeight",
        u"LOSVideoDestinationWidth", u"LOSVideoEnable",          u"LOSVideoTransparencyEnable",
        u"LOSVideoBackgroundColor",  u"LOSVideoForegroundColor", u"LOSVideoVideoSignalType",
        u"LOSVideoCaption",          u"LOSVideoFontFileName",    u"LOSVideoReferenceHeight",
        u"LOSVideoReferenceWidth",   u"LOSAudioOddChannelsTone", u"LOSAudioEvenChannelsTone"};
    EXPECT_EQ(device_->writes, order);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoReferenceHeight"), 1080u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoTransparencyEnable"), 1u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoVideoSignalType"), 0u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSAudioOddChannelsTone"), 1u);
    EXPECT_EQ(standin::ReadRegistryString(Board(), u"LOSVideoCaption"), u"Signal Lost");

    // The same record again changes nothing but is written again.
    device_->writes.clear();
    ASSERT_EQ(device_->SetLOSSettings(&stored, &changed), STATUS_SUCCESS);
    EXPECT_FALSE(changed);
    EXPECT_EQ(device_->writes.size(), 15u);

    // With the overlay off nothing is clamped.
    BrevicorLOSRecord off = stored;
    off.videoEnable = 0;
    off.videoSignalType = 12;
    off.referenceHeight = 5000;
    ASSERT_EQ(device_->SetLOSSettings(&off), STATUS_SUCCESS);
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.videoSignalType, 12u);
    EXPECT_EQ(stored.referenceHeight, 5000u);

    // From the registry: kept, nothing written.
    device_->writes.clear();
    off.destinationTop = 7;
    off.fromRegistry = 1;
    ASSERT_EQ(device_->SetLOSSettings(&off), STATUS_SUCCESS);
    EXPECT_TRUE(device_->writes.empty());
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.destinationTop, 7u);
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoDestinationTop"), 180u);
}

TEST_F(DeviceSettingsTest, LossOfSignalStopsAtTheFirstFailedWrite)
{
    Seed("");
    BrevicorLOSRecord record{};
    device_->GetLOSSettings(&record);
    record.destinationTop = 11;
    record.videoEnable = 1;
    device_->failAt = 5;
    EXPECT_EQ(device_->SetLOSSettings(&record),
              static_cast<NTSTATUS>(MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED));
    EXPECT_EQ(standin::PoolInjectedFailures(), 1u);
    EXPECT_EQ(device_->writes.size(), 5u);
    EXPECT_EQ(device_->writes.back(), u"LOSVideoEnable");
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoDestinationWidth"), 180u);
    EXPECT_FALSE(standin::ReadRegistryDword(Board(), u"LOSVideoEnable").has_value());
    EXPECT_FALSE(standin::ReadRegistryDword(Board(), u"LOSVideoTransparencyEnable").has_value());
    const auto inserts = Inserts(MSG_ATTEMPT_UPDATE_REGISTRY_FIELD_VALUE_FAILED);
    ASSERT_EQ(inserts.size(), 4u);
    EXPECT_EQ(inserts[0], kTail);
    EXPECT_EQ(inserts[1], u"LOSVideoEnable");
    EXPECT_EQ(inserts[2], u"1");
    BrevicorLOSRecord stored{};
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.destinationTop, 180u); // not kept
}

TEST_F(DeviceSettingsTest, LossOfSignalFontMustOpen)
{
    Seed("");
    BrevicorLOSRecord record{};
    device_->GetLOSSettings(&record);
    record.videoEnable = 1;
    std::memcpy(record.fontFileName, u"C:\\missing.gph", 15 * sizeof(WCHAR));
    EXPECT_EQ(device_->SetLOSSettings(&record),
              static_cast<NTSTATUS>(MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED));
    EXPECT_TRUE(device_->writes.empty());
    auto inserts = Inserts(MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED);
    ASSERT_GE(inserts.size(), 1u);
    EXPECT_EQ(inserts[0], u"\\DosDevices\\C:\\missing.gph");

    // A font that exists.
    std::ofstream(root_ / "C" / "font.gph") << "glyphs";
    std::memset(record.fontFileName, 0, sizeof(record.fontFileName));
    std::memcpy(record.fontFileName, u"C:\\font.gph", 12 * sizeof(WCHAR));
    EXPECT_EQ(device_->SetLOSSettings(&record), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryString(Board(), u"LOSVideoFontFileName"), u"C:\\font.gph");

    // Unterminated texts are refused before anything else.
    BrevicorLOSRecord bad = record;
    for (auto& c : bad.caption)
        c = u'c';
    device_->writes.clear();
    EXPECT_EQ(device_->SetLOSSettings(&bad), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(device_->writes.empty());
    EXPECT_EQ(device_->SetLOSSettings(nullptr), STATUS_INVALID_PARAMETER);
}

TEST_F(DeviceSettingsTest, StartLoadWithAMissingFontLogsAndStillKeeps)
{
    Seed("[\\]\n\"LOSVideoEnable\"=dword:00000001\n\"LOSVideoFontFileName\"=\"C:\\\\gone.gph\"\n"
         "\"LOSVideoDestinationTop\"=dword:00000020\n\"LOSVideoCaption\"=\"No input\"\n");
    EXPECT_EQ(Device::LoadDeviceFromRegistry(device_, pdo_), STATUS_SUCCESS);
    EXPECT_EQ(Events(MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED).size(), 1u);
    BrevicorLOSRecord stored{};
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.destinationTop, 32u);
    EXPECT_EQ(stored.videoEnable, 1u);
    EXPECT_EQ(std::u16string(stored.caption), u"No input");
    EXPECT_EQ(std::u16string(stored.fontFileName), u"C:\\gone.gph");
    EXPECT_TRUE(device_->writes.empty());
    EXPECT_EQ(standin::ReadRegistryDword(Board(), u"LOSVideoReferenceHeight"), 487u);
}

TEST_F(DeviceSettingsTest, AClientsSetWithTheNoSaveFlagStillNeedsAFontThatOpens)
{
    Seed("");
    BrevicorLOSRecord before{};
    device_->GetLOSSettings(&before);
    BrevicorLOSRecord record = before;
    record.videoEnable = 1;
    record.fromRegistry = 1;
    record.destinationTop = 40;
    std::memcpy(record.fontFileName, u"C:\\missing.gph", 15 * sizeof(WCHAR));
    bool changed = true;
    EXPECT_EQ(device_->SetLOSSettings(&record, &changed),
              static_cast<NTSTATUS>(MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED));
    EXPECT_FALSE(changed);
    EXPECT_EQ(Events(MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED).size(), 1u);
    BrevicorLOSRecord stored{};
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.destinationTop, before.destinationTop);
    EXPECT_EQ(std::u16string(stored.fontFileName), std::u16string(before.fontFileName));
    EXPECT_TRUE(device_->writes.empty());

    // With a font that opens, the same set is kept, unsaved.
    std::ofstream(root_ / "C" / "here.gph") << "glyphs";
    std::memset(record.fontFileName, 0, sizeof(record.fontFileName));
    std::memcpy(record.fontFileName, u"C:\\here.gph", 12 * sizeof(WCHAR));
    EXPECT_EQ(device_->SetLOSSettings(&record, &changed), STATUS_SUCCESS);
    EXPECT_TRUE(changed);
    device_->GetLOSSettings(&stored);
    EXPECT_EQ(stored.destinationTop, 40u);
    EXPECT_TRUE(device_->writes.empty());
}

TEST_F(DeviceSettingsTest, TheFirstClientSetAfterTheLoadChangesOnlyWhatItChanges)
{
    Seed("[\\]\n\"LOSVideoDestinationTop\"=dword:00000020\n\"LOSVideoCaption\"=\"No input\"\n");
    ASSERT_EQ(Device::LoadDeviceFromRegistry(device_, pdo_), STATUS_SUCCESS);
    // What a page reads and sends back unchanged (the get clears the no-save flag).
    BrevicorLOSRecord record{};
    device_->GetLOSSettings(&record);
    record.fromRegistry = 0;
    bool changed = true;
    ASSERT_EQ(device_->SetLOSSettings(&record, &changed), STATUS_SUCCESS);
    EXPECT_FALSE(changed);
    EXPECT_EQ(device_->writes.size(), 15u);
    // A real change is still seen.
    record.destinationLeft = 9;
    ASSERT_EQ(device_->SetLOSSettings(&record, &changed), STATUS_SUCCESS);
    EXPECT_TRUE(changed);
}

} // namespace
