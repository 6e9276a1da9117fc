// The property records' sizes and the offsets clients rely on, printed and compared with the
// layouts the property pages use, and the bounded measure of the records' text fields.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audioinputtypes.h"
#include "brevicorrecords.h"
#include "basicfilter.h"
#include "driver.h"

namespace {

struct Layout {
    const char* name;
    size_t size;
    size_t expectedSize;
    std::vector<std::pair<const char*, std::pair<size_t, size_t>>> offsets; // name, (actual, expected)
};

#define AT(Record, field, expected)                                                                          \
    {                                                                                                        \
#field,                                                                                              \
        {                                                                                                    \
            offsetof(Record, field), expected                                                                \
        }                                                                                                    \
    }

TEST(SettingsRecordsTest, SizesAndOffsets)
{
    const std::vector<Layout> layouts = {
        {"interface version",
         sizeof(BrevicorInterfaceVersionRecord),
         28,
         {AT(BrevicorInterfaceVersionRecord, interfaceVersion, 24)}},
        {"driver information",
         sizeof(BrevicorDriverInformationRecord),
         100,
         {AT(BrevicorDriverInformationRecord, identifier4, 72),
          AT(BrevicorDriverInformationRecord, value3, 96)}},
        {"device configuration",
         sizeof(BrevicorDeviceConfigRecord),
         628,
         {AT(BrevicorDeviceConfigRecord, identification1, 50),
          AT(BrevicorDeviceConfigRecord, productName, 116)}},
        {"diagnostics",
         sizeof(BrevicorDiagnosticsRecord),
         1849,
         {AT(BrevicorDiagnosticsRecord, command, 60), AT(BrevicorDiagnosticsRecord, window, 64),
          AT(BrevicorDiagnosticsRecord, fillByte, 1848)}},
        {"audio configuration",
         sizeof(BrevicorAudioConfigRecord),
         122,
         {AT(BrevicorAudioConfigRecord, gain, 72), AT(BrevicorAudioConfigRecord, gainSpan, 112),
          AT(BrevicorAudioConfigRecord, kernelVersion6, 121)}},
        {"input count", sizeof(BrevicorInputCountRecord), 32, {AT(BrevicorInputCountRecord, inputCount, 28)}},
        {"input detection",
         sizeof(BrevicorInputDetectRecord),
         580,
         {AT(BrevicorInputDetectRecord, detectedStandard, 38), AT(BrevicorInputDetectRecord, frameRate, 66)}},
        {"audio input count",
         sizeof(BrevicorAudioInputCountRecord),
         32,
         {AT(BrevicorAudioInputCountRecord, muxNodeOrAll, 28)}},
        {"audio input information",
         sizeof(BrevicorAudioInputInfoRecord),
         568,
         {AT(BrevicorAudioInputInfoRecord, inputName, 32),
          AT(BrevicorAudioInputInfoRecord, topologyIds, 552)}},
        {"crop", sizeof(BrevicorCropRecord), 80, {AT(BrevicorCropRecord, noSave, 76)}},
        {"deinterlace", sizeof(BrevicorDeinterlaceRecord), 60, {AT(BrevicorDeinterlaceRecord, noSave, 56)}},
        {"image quality",
         sizeof(BrevicorImageQualityRecord),
         40,
         {AT(BrevicorImageQualityRecord, level, 36)}},
        {"logo",
         sizeof(BrevicorLogoRecord),
         1132,
         {AT(BrevicorLogoRecord, fileName, 92), AT(BrevicorLogoRecord, filterText, 612)}},
        {"proc amp",
         sizeof(BrevicorProcAmpRecord),
         2436,
         {AT(BrevicorProcAmpRecord, noSave, 128), AT(BrevicorProcAmpRecord, sineTable, 388),
          AT(BrevicorProcAmpRecord, cosineTable, 1412)}},
        {"video decoder",
         sizeof(BrevicorVideoDecoderRecord),
         60,
         {AT(BrevicorVideoDecoderRecord, detectedSignalType, 44)}},
        {"closed captions", sizeof(BrevicorCCRecord), 600, {AT(BrevicorCCRecord, fontFileName, 80)}},
        {"loss of signal",
         sizeof(BrevicorLOSRecord),
         1120,
         {AT(BrevicorLOSRecord, fromRegistry, 72), AT(BrevicorLOSRecord, caption, 80),
          AT(BrevicorLOSRecord, fontFileName, 600)}},
        {"performance", sizeof(PerformanceSettings), 72, {AT(PerformanceSettings, vbiLineRemoval, 68)}},
        {"trace", sizeof(BrevicorSupportSettings), 552, {AT(BrevicorSupportSettings, logFileName, 32)}},
        {"notification",
         sizeof(BrevicorNotificationRecord),
         1108,
         {AT(BrevicorNotificationRecord, payload, 16)}},
        {"crop notification", sizeof(BrevicorCropNotification), 32, {}},
        {"deinterlace notification", sizeof(BrevicorDeinterlaceNotification), 28, {}},
        {"proc amp notification", sizeof(BrevicorProcAmpNotification), 24, {}},
        {"logo notification",
         sizeof(BrevicorLogoNotification),
         1088,
         {AT(BrevicorLogoNotification, filterText, 568)}},
        {"caption notification", sizeof(BrevicorCCNotification), 572, {}},
        {"loss-of-signal notification",
         sizeof(BrevicorLOSNotification),
         1092,
         {AT(BrevicorLOSNotification, fontFileName, 572)}},
        {"performance notification", sizeof(PerformanceNotification), 40, {}},
    };
    for (const Layout& layout : layouts) {
        std::string line = std::string(layout.name) + ": " + std::to_string(layout.size);
        for (const auto& [field, at] : layout.offsets)
            line += ", " + std::string(field) + " " + std::to_string(at.first);
        std::printf("%s\n", line.c_str());
        EXPECT_EQ(layout.size, layout.expectedSize) << layout.name;
        for (const auto& [field, at] : layout.offsets)
            EXPECT_EQ(at.first, at.second) << layout.name << " " << field;
    }
}

#undef AT

// Every identifier against its published text.
TEST(SettingsRecordsTest, IdentifiersHaveTheirPublishedValues)
{
    const std::vector<std::pair<GUID, std::u16string>> identifiers = {
        {PROPSETID_BREVICOR_INTERFACE_VERSION, u"{b724af09-8027-4c87-89d8-26da633da167}"},
        {PROPSETID_BREVICOR_DIAGNOSTICS, u"{4a5eb9fb-df54-4115-bc44-e7edc3b52d25}"},
        {PROPSETID_BREVICOR_PERFORMANCE, u"{becf09ff-66fe-47ae-9eaa-4794678b860f}"},
        {PROPSETID_BREVICOR_IMAGEQUALITY, u"{28a6269e-209b-4adb-b0ba-06d4c42f7ab6}"},
        {PROPSETID_BREVICOR_TRACE, u"{07f60a7c-78e7-432b-bc23-9bf19336153b}"},
        {PROPSETID_BREVICOR_CROSSBAR, u"{d1b620e9-7ddf-4fb5-bc93-0055991e753c}"},
        {PROPSETID_BREVICOR_VIDEODECODER, u"{fe57ce7e-67f4-4d00-b674-073816ada764}"},
        {PROPSETID_BREVICOR_VIDEOPROCAMP, u"{7ca213a8-cee0-4609-b970-3e0e669aa646}"},
        {PROPSETID_BREVICOR_AUDIO_CONFIG, u"{e5d2b57a-6352-4b4f-88d5-4271072f584a}"},
        {PROPSETID_BREVICOR_CC, u"{0e5d1e1d-1251-41ef-9a0c-548a5c7019e6}"},
        {PROPSETID_BREVICOR_CROP, u"{d52525f4-5fa9-4a79-8df7-691df9ec87ff}"},
        {PROPSETID_BREVICOR_LOS, u"{1fc0cd53-e668-46c5-a1b4-8ffacf57ae41}"},
        {PROPSETID_BREVICOR_LOGO, u"{344ffa73-7bc0-4453-8736-529b94a45604}"},
        {PROPSETID_BREVICOR_DEINTERLACE, u"{0564d75c-e596-4811-b661-d8e5c52a15ec}"},
        {PROPSETID_BREVICOR_INPUTDETECT, u"{c82227cc-7ba6-4ef0-9502-d7b515e43b2d}"},
        {PROPSETID_BREVICOR_DEVICE_CONFIG, u"{558207a6-e472-420b-afc6-ff990907e6fe}"},
        {PROPSETID_BREVICOR_DRIVER_INFORMATION, u"{2230deeb-297d-4d20-be06-494d13b2c784}"},
        {PROPSETID_BREVICOR_AUDIO_INPUT_INFO, u"{1577ac43-a6ea-4745-9c57-256762313fba}"},
        {KSEVENTSETID_BREVICOR_NOTIFICATION, u"{219342c0-3309-4a91-b7b8-b88bd5485910}"},
        {kBrevicorManufacturerGuid, u"{1dff3a8f-cd49-479f-b6eb-47fae933470c}"},
        {kBrevicorDriverInformationGuid2, u"{b2e6ba7a-1264-4e2e-bd81-20444066f239}"},
        {kBrevicorDriverInformationGuid4, u"{3766e380-b58f-4ed0-8c8c-0bbbca441bf4}"},
        {kVideoCaptureFilterReference, u"{13637b79-a9f8-4ce5-8ab7-4c9c15cc4834}"},
        {kCrossbarFilterReference, u"{0120854b-d745-400b-92e9-c0d10612aecc}"},
        {kAudioCaptureFilterReference, u"{93f10012-f5cd-4db5-a1db-33a329863534}"},
    };
    for (const auto& [guid, text] : identifiers) {
        WCHAR formatted[kBracedGuidCharacters];
        FormatBracedGuid(guid, formatted);
        EXPECT_EQ(std::u16string(formatted), text);
    }
}

TEST(SettingsRecordsTest, TextFieldsAreMeasuredWithinTheirField)
{
    WCHAR field[4] = {u'a', u'b', 0, u'c'};
    EXPECT_EQ(BoundedRecordTextLength(field, 4), 2);
    EXPECT_EQ(BoundedRecordTextLength(field, 2), -1);
    EXPECT_EQ(BoundedRecordTextLength(field, 0), -1);
    EXPECT_EQ(BoundedRecordTextLength(nullptr, 4), -1);
    // A field at an odd address, as in a packed record.
    unsigned char bytes[9] = {0xFF, 'x', 0, 'y', 0, 0, 0, 'z', 0};
    EXPECT_EQ(BoundedRecordTextLength(bytes + 1, 4), 2);
    EXPECT_EQ(BoundedRecordTextLength(bytes + 1, 2), -1);
}

} // namespace
