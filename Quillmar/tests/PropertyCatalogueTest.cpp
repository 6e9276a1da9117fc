// The catalogue of the filters', nodes' and pins' property items: the number of sets of each
// filter, every item's lengths and access, the values tables, the event set, and the standard
// records' published sizes against the lengths the catalogue gives their items.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "brevicorrecords.h"
#include "driver.h"
#include "propertycatalogue.h"
#include "shared/ksaudiorecords.h"
#include "shared/ksrecords.h"
#include "shared/ksvidcaprecords.h"

namespace {

// (id, get, set, property, data) of every item of a set, in order.
using Items = std::vector<std::tuple<ULONG, bool, bool, ULONG, ULONG>>;

Items ItemsOf(const PropertyCatalogueSet& set)
{
    Items items;
    for (ULONG i = 0; i < set.itemCount; ++i) {
        const auto& item = set.items[i];
        items.emplace_back(item.id, item.get, item.set, item.minProperty, item.minData);
    }
    return items;
}

const PropertyCatalogueItem& Item(const AutomationCatalogue& catalogue, const GUID& set, ULONG id)
{
    const PropertyCatalogueSet* found = FindCatalogueSet(catalogue, set);
    EXPECT_NE(found, nullptr);
    static const PropertyCatalogueItem none{};
    if (found == nullptr)
        return none;
    const PropertyCatalogueItem* item = FindCatalogueItem(*found, id);
    EXPECT_NE(item, nullptr) << id;
    return item != nullptr ? *item : none;
}

TEST(PropertyCatalogueTest, VideoCaptureFilterHasItsTwentyTwoSets)
{
    const AutomationCatalogue& video = GetVideoCaptureFilterCatalogue();
    ASSERT_EQ(video.setCount, 22u);
    const std::vector<std::pair<const GUID*, Items>> expected = {
        {&PROPSETID_BREVICOR_INTERFACE_VERSION, {{0, true, false, 28, 28}}},
        {&PROPSETID_VIDCAP_DROPPEDFRAMES, {{0, true, false, 48, 48}}},
        {&PROPSETID_BREVICOR_DIAGNOSTICS, {{0, true, true, 1849, 1849}}},
        {&PROPSETID_BREVICOR_PERFORMANCE, {{0, true, true, 72, 72}}},
        {&KSPROPSETID_General, {{0, true, false, 24, 72}}},
        {&PROPSETID_BREVICOR_IMAGEQUALITY, {{0, true, true, 40, 40}}},
        {&PROPSETID_BREVICOR_TRACE, {{0, true, true, 552, 552}}},
        {&PROPSETID_VIDCAP_CROSSBAR,
         {{0, true, false, 32, 32},
          {2, true, false, 40, 40},
          {3, true, true, 40, 40},
          {1, true, false, 64, 64}}},
        {&PROPSETID_BREVICOR_CROSSBAR,
         {{0, true, false, 32, 32},
          {2, true, false, 40, 40},
          {3, true, true, 40, 40},
          {1, true, false, 64, 64}}},
        {&PROPSETID_VIDCAP_VIDEODECODER,
         {{0, true, false, 40, 40}, {1, true, true, 32, 32}, {2, true, false, 32, 32}}},
        {&PROPSETID_BREVICOR_VIDEODECODER, {{0, true, true, 60, 60}}},
        {&PROPSETID_VIDCAP_VIDEOPROCAMP,
         {{1, true, true, 40, 40},
          {0, true, true, 40, 40},
          {2, true, true, 40, 40},
          {3, true, true, 40, 40}}},
        {&PROPSETID_BREVICOR_VIDEOPROCAMP, {{0, true, true, 2436, 2436}}},
        {&PROPSETID_BREVICOR_AUDIO_CONFIG, {{0, true, true, 122, 122}}},
        {&PROPSETID_BREVICOR_CC, {{0, true, true, 600, 600}}},
        {&PROPSETID_BREVICOR_CROP, {{0, true, true, 80, 80}}},
        {&PROPSETID_BREVICOR_LOS, {{0, true, true, 1120, 1120}}},
        {&PROPSETID_BREVICOR_LOGO, {{0, true, true, 1132, 1132}}},
        {&PROPSETID_BREVICOR_DEINTERLACE, {{0, true, true, 60, 60}}},
        {&PROPSETID_BREVICOR_INPUTDETECT, {{0, true, false, 32, 32}, {1, true, false, 580, 580}}},
        {&PROPSETID_BREVICOR_DEVICE_CONFIG, {{0, true, true, 628, 628}}},
        {&PROPSETID_BREVICOR_DRIVER_INFORMATION, {{0, true, false, 100, 100}}},
    };
    for (ULONG i = 0; i < video.setCount; ++i) {
        EXPECT_EQ(*video.sets[i].set, *expected[i].first) << i << " " << video.sets[i].name;
        EXPECT_EQ(ItemsOf(video.sets[i]), expected[i].second) << video.sets[i].name;
    }
    ASSERT_EQ(video.eventCount, 1u);
    EXPECT_EQ(*video.events[0].set, KSEVENTSETID_BREVICOR_NOTIFICATION);
    EXPECT_EQ(video.events[0].eventId, 0u);
    EXPECT_EQ(video.events[0].enableDataBytes, 1124u);
    EXPECT_EQ(video.events[0].enableDataBytes, sizeof(KSEVENTDATA) + sizeof(BrevicorNotificationRecord));
}

TEST(PropertyCatalogueTest, AudioAndCrossbarFilters)
{
    const AutomationCatalogue& audio = GetAudioCaptureFilterCatalogue();
    ASSERT_EQ(audio.setCount, 13u);
    EXPECT_EQ(audio.eventCount, 0u);
    EXPECT_EQ(*audio.sets[0].set, KSPROPSETID_General);
    EXPECT_EQ(ItemsOf(audio.sets[1]), (Items{{12, true, false, 32, 0}}));
    EXPECT_EQ(ItemsOf(audio.sets[2]), (Items{{1, true, false, 24, 16}}));
    EXPECT_EQ(*audio.sets[2].set, KSPROPSETID_Audio);
    // Listed twice; the first is the one found.
    EXPECT_EQ(*audio.sets[3].set, PROPSETID_BREVICOR_DRIVER_INFORMATION);
    EXPECT_EQ(*audio.sets[12].set, PROPSETID_BREVICOR_DRIVER_INFORMATION);
    EXPECT_EQ(FindCatalogueSet(audio, PROPSETID_BREVICOR_DRIVER_INFORMATION), &audio.sets[3]);
    EXPECT_EQ(ItemsOf(*FindCatalogueSet(audio, PROPSETID_BREVICOR_AUDIO_INPUT_INFO)),
              (Items{{0, true, false, 32, 32}, {1, true, false, 568, 568}}));
    EXPECT_EQ(ItemsOf(*FindCatalogueSet(audio, PROPSETID_BREVICOR_DEVICE_CONFIG)),
              (Items{{0, true, true, 628, 628}}));
    EXPECT_EQ(FindCatalogueSet(audio, PROPSETID_BREVICOR_CROP), nullptr);

    const AutomationCatalogue& crossbar = GetCrossbarFilterCatalogue();
    ASSERT_EQ(crossbar.setCount, 1u);
    EXPECT_EQ(*crossbar.sets[0].set, PROPSETID_VIDCAP_CROSSBAR);
    EXPECT_EQ(FindCatalogueSet(crossbar, PROPSETID_BREVICOR_TRACE), nullptr);
}

TEST(PropertyCatalogueTest, NodesAndPins)
{
    const auto& volume = Item(GetAudioVolumeNodeCatalogue(), KSPROPSETID_Audio, 4);
    EXPECT_EQ(volume.support, PropertySupportHandler::Volume);
    ASSERT_NE(volume.values, nullptr);
    EXPECT_EQ(volume.values->step, 28036);
    EXPECT_EQ(volume.values->minimum, -1729034);
    EXPECT_EQ(volume.values->maximum, 63510);
    EXPECT_FALSE(volume.values->hasDefault);
    EXPECT_TRUE(volume.values->multichannel);
    EXPECT_EQ(std::make_tuple(volume.get, volume.set, volume.minProperty, volume.minData),
              std::make_tuple(true, true, 40u, 4u));
    const auto& peak = Item(GetAudioPeakNodeCatalogue(), KSPROPSETID_Audio, 37);
    EXPECT_EQ(peak.support, PropertySupportHandler::Peak);
    EXPECT_FALSE(peak.set);
    EXPECT_EQ(Item(GetAudioMuxNodeCatalogue(), KSPROPSETID_Audio, 12).minProperty, 32u);
    EXPECT_EQ(Item(GetAudioMuteNodeCatalogue(), KSPROPSETID_Audio, 13).minProperty, 40u);
    for (const AutomationCatalogue* node : {&GetAudioVolumeNodeCatalogue(), &GetAudioMuteNodeCatalogue(),
                                            &GetAudioMuxNodeCatalogue(), &GetAudioPeakNodeCatalogue()}) {
        ASSERT_EQ(node->setCount, 1u);
        EXPECT_EQ(node->sets[0].itemCount, 2u);
        const auto& cpu = Item(*node, KSPROPSETID_Audio, 33);
        EXPECT_EQ(std::make_tuple(cpu.get, cpu.set, cpu.minProperty, cpu.minData),
                  std::make_tuple(true, false, 32u, 4u));
    }
    EXPECT_EQ(GetAudioInputPinCatalogue().sets[0].itemCount, 3u);

    // The compression items are at least as long as what the pin writes.
    const AutomationCatalogue& pin = GetVideoStreamingPinCatalogue();
    ASSERT_EQ(pin.setCount, 1u);
    EXPECT_EQ(ItemsOf(pin.sets[0]), (Items{{0, true, false, 40, 48},
                                           {1, true, true, 32, 32},
                                           {5, false, true, 32, 32},
                                           {4, false, true, 32, 32},
                                           {2, true, true, 32, 32},
                                           {3, true, true, 32, 32},
                                           {6, true, true, 32, 32}}));
    EXPECT_EQ(Item(pin, PROPSETID_VIDCAP_VIDEOCOMPRESSION, 0).minData,
              sizeof(KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S));
    EXPECT_EQ(Item(pin, PROPSETID_VIDCAP_VIDEOCOMPRESSION, 3).minData, sizeof(KSPROPERTY_VIDEOCOMPRESSION_S));
    const AutomationCatalogue& capture = GetVideoCapturePinCatalogue();
    ASSERT_EQ(capture.setCount, 2u);
    const auto& contrast = Item(capture, PROPSETID_VIDCAP_VIDEOPROCAMP, 1);
    ASSERT_NE(contrast.values, nullptr);
    EXPECT_EQ(std::make_tuple(contrast.values->step, contrast.values->minimum, contrast.values->maximum,
                              contrast.values->defaultValue),
              std::make_tuple(511, 0, 511, 100));
    const auto& hue = Item(capture, PROPSETID_VIDCAP_VIDEOPROCAMP, 2);
    EXPECT_EQ(std::make_tuple(hue.values->step, hue.values->minimum, hue.values->maximum),
              std::make_tuple(256, -128, 127));
}

TEST(PropertyCatalogueTest, ValuesTablesOfTheVideoFilter)
{
    const AutomationCatalogue& video = GetVideoCaptureFilterCatalogue();
    const auto& quality = Item(video, PROPSETID_BREVICOR_IMAGEQUALITY, 0);
    ASSERT_NE(quality.values, nullptr);
    EXPECT_EQ(std::make_tuple(quality.values->step, quality.values->minimum, quality.values->maximum,
                              quality.values->defaultValue),
              std::make_tuple(18, 5, 95, 5));
    const std::map<ULONG, std::tuple<LONG, LONG, LONG, LONG>> procAmp = {
        {0, {1, -20, 20, 0}}, {1, {1, 50, 200, 100}}, {2, {1, -90, 90, 0}}, {3, {1, -100, 100, 0}}};
    for (const auto& [id, expected] : procAmp) {
        const auto& item = Item(video, PROPSETID_VIDCAP_VIDEOPROCAMP, id);
        ASSERT_NE(item.values, nullptr) << id;
        EXPECT_EQ(std::make_tuple(item.values->step, item.values->minimum, item.values->maximum,
                                  item.values->defaultValue),
                  expected)
            << id;
    }
    EXPECT_EQ(Item(video, PROPSETID_BREVICOR_CROP, 0).values, nullptr);
}

// The lengths the catalogue gives items are the sizes of their records, private or published.
TEST(PropertyCatalogueTest, ItemLengthsAreTheirRecordsSizes)
{
    const AutomationCatalogue& video = GetVideoCaptureFilterCatalogue();
    const std::vector<std::tuple<const char*, const GUID*, ULONG, size_t>> records = {
        {"crossbar caps", &PROPSETID_VIDCAP_CROSSBAR, 0, sizeof(KSPROPERTY_CROSSBAR_CAPS_S)},
        {"crossbar pin info", &PROPSETID_VIDCAP_CROSSBAR, 1, sizeof(KSPROPERTY_CROSSBAR_PININFO_S)},
        {"crossbar route", &PROPSETID_VIDCAP_CROSSBAR, 3, sizeof(KSPROPERTY_CROSSBAR_ROUTE_S)},
        {"crossbar can route", &PROPSETID_VIDCAP_CROSSBAR, 2, sizeof(KSPROPERTY_CROSSBAR_ROUTE_S)},
        {"decoder caps", &PROPSETID_VIDCAP_VIDEODECODER, 0, sizeof(KSPROPERTY_VIDEODECODER_CAPS_S)},
        {"decoder standard", &PROPSETID_VIDCAP_VIDEODECODER, 1, sizeof(KSPROPERTY_VIDEODECODER_S)},
        {"decoder status", &PROPSETID_VIDCAP_VIDEODECODER, 2, sizeof(KSPROPERTY_VIDEODECODER_STATUS_S)},
        {"proc amp", &PROPSETID_VIDCAP_VIDEOPROCAMP, 0, sizeof(KSPROPERTY_VIDEOPROCAMP_S)},
        {"dropped frames", &PROPSETID_VIDCAP_DROPPEDFRAMES, 0, sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S)},
        {"interface version", &PROPSETID_BREVICOR_INTERFACE_VERSION, 0,
         sizeof(BrevicorInterfaceVersionRecord)},
        {"diagnostics", &PROPSETID_BREVICOR_DIAGNOSTICS, 0, sizeof(BrevicorDiagnosticsRecord)},
        {"performance", &PROPSETID_BREVICOR_PERFORMANCE, 0, sizeof(PerformanceSettings)},
        {"image quality", &PROPSETID_BREVICOR_IMAGEQUALITY, 0, sizeof(BrevicorImageQualityRecord)},
        {"trace", &PROPSETID_BREVICOR_TRACE, 0, sizeof(BrevicorSupportSettings)},
        {"video decoder", &PROPSETID_BREVICOR_VIDEODECODER, 0, sizeof(BrevicorVideoDecoderRecord)},
        {"private proc amp", &PROPSETID_BREVICOR_VIDEOPROCAMP, 0, sizeof(BrevicorProcAmpRecord)},
        {"audio configuration", &PROPSETID_BREVICOR_AUDIO_CONFIG, 0, sizeof(BrevicorAudioConfigRecord)},
        {"captions", &PROPSETID_BREVICOR_CC, 0, sizeof(BrevicorCCRecord)},
        {"crop", &PROPSETID_BREVICOR_CROP, 0, sizeof(BrevicorCropRecord)},
        {"loss of signal", &PROPSETID_BREVICOR_LOS, 0, sizeof(BrevicorLOSRecord)},
        {"logo", &PROPSETID_BREVICOR_LOGO, 0, sizeof(BrevicorLogoRecord)},
        {"deinterlace", &PROPSETID_BREVICOR_DEINTERLACE, 0, sizeof(BrevicorDeinterlaceRecord)},
        {"input count", &PROPSETID_BREVICOR_INPUTDETECT, 0, sizeof(BrevicorInputCountRecord)},
        {"input detection", &PROPSETID_BREVICOR_INPUTDETECT, 1, sizeof(BrevicorInputDetectRecord)},
        {"device configuration", &PROPSETID_BREVICOR_DEVICE_CONFIG, 0, sizeof(BrevicorDeviceConfigRecord)},
        {"driver information", &PROPSETID_BREVICOR_DRIVER_INFORMATION, 0,
         sizeof(BrevicorDriverInformationRecord)},
    };
    for (const auto& [name, set, id, size] : records) {
        const auto& item = Item(video, *set, id);
        std::printf("%s: record %zu, item %u / %u\n", name, size, static_cast<unsigned>(item.minProperty),
                    static_cast<unsigned>(item.minData));
        EXPECT_EQ(item.minData, size) << name;
    }
    const AutomationCatalogue& audio = GetAudioCaptureFilterCatalogue();
    EXPECT_EQ(Item(audio, PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0).minData,
              sizeof(BrevicorAudioInputCountRecord));
    EXPECT_EQ(Item(audio, PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 1).minData,
              sizeof(BrevicorAudioInputInfoRecord));
    EXPECT_EQ(Item(GetAudioMuteNodeCatalogue(), KSPROPSETID_Audio, 13).minProperty,
              sizeof(KSNODEPROPERTY_AUDIO_CHANNEL));
    EXPECT_EQ(Item(GetAudioMuxNodeCatalogue(), KSPROPSETID_Audio, 12).minProperty, sizeof(KSNODEPROPERTY));
}

} // namespace
