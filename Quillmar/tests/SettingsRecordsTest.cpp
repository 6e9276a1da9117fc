// The property records' sizes and the offsets clients rely on, printed and compared with the
// layouts the property pages use, and the bounded measure of the records' text fields.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "brevicorrecords.h"
#include "driver.h"

namespace {

struct Layout {
    const char* name;
    size_t size;
    size_t expectedSize;
    std::vector<std::pair<const char*, std::pair<size_t, size_t>>> offsets; // name, (actual, expected)
};

#define AT(Record, field, expected) {#field, {offsetof(Record, field), expected}}

TEST(SettingsRecordsTest, SizesAndOffsets)
{
    const std::vector<Layout> layouts = {
        {"interface version", sizeof(BrevicorInterfaceVersionRecord), 28,
         {AT(BrevicorInterfaceVersionRecord, interfaceVersion, 24)}},
        {"driver information", sizeof(BrevicorDriverInformationRecord), 100,
         {AT(BrevicorDriverInformationRecord, identifier4, 72), AT(BrevicorDriverInformationRecord, value3, 96)}},
        {"device configuration", sizeof(BrevicorDeviceConfigRecord), 628,
         {AT(BrevicorDeviceConfigRecord, identification1, 50), AT(BrevicorDeviceConfigRecord, productName, 116)}},
        {"diagnostics", sizeof(BrevicorDiagnosticsRecord), 1849,
         {AT(BrevicorDiagnosticsRecord, command, 60), AT(BrevicorDiagnosticsRecord, window, 64),
          AT(BrevicorDiagnosticsRecord, fillByte, 1848)}},
        {"audio configuration", sizeof(BrevicorAudioConfigRecord), 122,
         {AT(BrevicorAudioConfigRecord, gain, 72), AT(BrevicorAudioConfigRecord, gainSpan, 112),
          AT(BrevicorAudioConfigRecord, kernelVersion6, 121)}},
        {"input count", sizeof(BrevicorInputCountRecord), 32, {AT(BrevicorInputCountRecord, inputCount, 28)}},
        {"input detection", sizeof(BrevicorInputDetectRecord), 580,
         {AT(BrevicorInputDetectRecord, detectedStandard, 38), AT(BrevicorInputDetectRecord, frameRate, 66)}},
        {"audio input count", sizeof(BrevicorAudioInputCountRecord), 32,
         {AT(BrevicorAudioInputCountRecord, muxNodeOrAll, 28)}},
        {"audio input information", sizeof(BrevicorAudioInputInfoRecord), 568,
         {AT(BrevicorAudioInputInfoRecord, inputName, 32), AT(BrevicorAudioInputInfoRecord, topologyIds, 552)}},
        {"crop", sizeof(BrevicorCropRecord), 80, {AT(BrevicorCropRecord, noSave, 76)}},
        {"deinterlace", sizeof(BrevicorDeinterlaceRecord), 60, {AT(BrevicorDeinterlaceRecord, noSave, 56)}},
        {"image quality", sizeof(BrevicorImageQualityRecord), 40, {AT(BrevicorImageQualityRecord, level, 36)}},
        {"logo", sizeof(BrevicorLogoRecord), 1132,
         {AT(BrevicorLogoRecord, fileName, 92), AT(BrevicorLogoRecord, filterText, 612)}},
        {"proc amp", sizeof(BrevicorProcAmpRecord), 2436,
         {AT(BrevicorProcAmpRecord, noSave, 128), AT(BrevicorProcAmpRecord, sineTable, 388),
          AT(BrevicorProcAmpRecord, cosineTable, 1412)}},
        {"video decoder", sizeof(BrevicorVideoDecoderRecord), 60,
         {AT(BrevicorVideoDecoderRecord, detectedSignalType, 44)}},
        {"closed captions", sizeof(BrevicorCCRecord), 600, {AT(BrevicorCCRecord, fontFileName, 80)}},
        {"loss of signal", sizeof(BrevicorLOSRecord), 1120,
         {AT(BrevicorLOSRecord, fromRegistry, 72), AT(BrevicorLOSRecord, caption, 80),
          AT(BrevicorLOSRecord, fontFileName, 600)}},
        {"performance", sizeof(PerformanceSettings), 72, {AT(PerformanceSettings, vbiLineRemoval, 68)}},
        {"trace", sizeof(BrevicorSupportSettings), 552, {AT(BrevicorSupportSettings, logFileName, 32)}},
        {"notification", sizeof(BrevicorNotificationRecord), 1108, {AT(BrevicorNotificationRecord, payload, 16)}},
        {"crop notification", sizeof(BrevicorCropNotification), 32, {}},
        {"deinterlace notification", sizeof(BrevicorDeinterlaceNotification), 28, {}},
        {"proc amp notification", sizeof(BrevicorProcAmpNotification), 24, {}},
        {"logo notification", sizeof(BrevicorLogoNotification), 1088, {AT(BrevicorLogoNotification, filterText, 568)}},
        {"caption notification", sizeof(BrevicorCCNotification), 572, {}},
        {"loss-of-signal notification", sizeof(BrevicorLOSNotification), 1092,
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
