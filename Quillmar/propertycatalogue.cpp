// The property and event catalogue of the filters, nodes and pins, as data.
#include "propertycatalogue.h"

#include "brevicorrecords.h"
#include "shared/ksaudiorecords.h"
#include "shared/ksrecords.h"
#include "shared/ksvidcaprecords.h"

namespace {

using namespace PropertyItem;

constexpr PropertySupportHandler kNone = PropertySupportHandler::None;

template <size_t N> constexpr ULONG Count(const PropertyCatalogueItem (&)[N])
{
    return static_cast<ULONG>(N);
}
template <size_t N> constexpr ULONG Count(const PropertyCatalogueSet (&)[N])
{
    return static_cast<ULONG>(N);
}

#define GET_ITEM(id, property, data)                                                                         \
    {                                                                                                        \
        id, true, false, property, data, nullptr, kNone                                                      \
    }
#define GET_SET_ITEM(id, property, data)                                                                     \
    {                                                                                                        \
        id, true, true, property, data, nullptr, kNone                                                       \
    }
#define SET_ITEM(id, property, data)                                                                         \
    {                                                                                                        \
        id, false, true, property, data, nullptr, kNone                                                      \
    }
#define SET_OF(guid, items)                                                                                  \
    {                                                                                                        \
        &guid, #guid, items, Count(items)                                                                    \
    }

// ---- values tables ------------------------------------------------------------------------------
constexpr PropertyCatalogueValues kImageQualityValues = {18, 5, 95, 5, true, false};
constexpr PropertyCatalogueValues kFilterBrightnessValues = {1, -20, 20, 0, true, false};
constexpr PropertyCatalogueValues kFilterContrastValues = {1, 50, 200, 100, true, false};
constexpr PropertyCatalogueValues kFilterHueValues = {1, -90, 90, 0, true, false};
constexpr PropertyCatalogueValues kFilterSaturationValues = {1, -100, 100, 0, true, false};
constexpr PropertyCatalogueValues kPinBrightnessValues = {256, -128, 127, 0, true, false};
constexpr PropertyCatalogueValues kPinContrastValues = {511, 0, 511, 100, true, false};
constexpr PropertyCatalogueValues kPinHueValues = {256, -128, 127, 0, true, false};
constexpr PropertyCatalogueValues kPinSaturationValues = {511, 0, 511, 0, true, false};
constexpr PropertyCatalogueValues kVolumeValues = {28036, -1729034, 63510, 0, false, true};

// ---- items shared by several tables -------------------------------------------------------------
const PropertyCatalogueItem kInterfaceVersionItems[] = {GET_ITEM(0, 28, 28)};
const PropertyCatalogueItem kDroppedFramesItems[] = {GET_ITEM(0, 48, 48)};
const PropertyCatalogueItem kDiagnosticsItems[] = {GET_SET_ITEM(0, 1849, 1849)};
const PropertyCatalogueItem kPerformanceItems[] = {GET_SET_ITEM(0, 72, 72)};
const PropertyCatalogueItem kGeneralItems[] = {GET_ITEM(kGeneralComponentId, 24, 72)};
const PropertyCatalogueItem kImageQualityItems[] = {{0, true, true, 40, 40, &kImageQualityValues, kNone}};
const PropertyCatalogueItem kTraceItems[] = {GET_SET_ITEM(0, 552, 552)};
const PropertyCatalogueItem kCrossbarItems[] = {
    GET_ITEM(kCrossbarCaps, 32, 32),
    GET_ITEM(kCrossbarCanRoute, 40, 40),
    GET_SET_ITEM(kCrossbarRoute, 40, 40),
    GET_ITEM(kCrossbarPinInfo, 64, 64),
};
const PropertyCatalogueItem kDecoderItems[] = {
    GET_ITEM(kDecoderCaps, 40, 40),
    GET_SET_ITEM(kDecoderStandard, 32, 32),
    GET_ITEM(kDecoderStatus, 32, 32),
};
const PropertyCatalogueItem kBrevicorDecoderItems[] = {GET_SET_ITEM(0, 60, 60)};
const PropertyCatalogueItem kFilterProcAmpItems[] = {
    {kProcAmpContrast, true, true, 40, 40, &kFilterContrastValues, kNone},
    {kProcAmpBrightness, true, true, 40, 40, &kFilterBrightnessValues, kNone},
    {kProcAmpHue, true, true, 40, 40, &kFilterHueValues, kNone},
    {kProcAmpSaturation, true, true, 40, 40, &kFilterSaturationValues, kNone},
};
const PropertyCatalogueItem kBrevicorProcAmpItems[] = {GET_SET_ITEM(0, 2436, 2436)};
const PropertyCatalogueItem kAudioConfigItems[] = {GET_SET_ITEM(0, 122, 122)};
const PropertyCatalogueItem kCCItems[] = {GET_SET_ITEM(0, 600, 600)};
const PropertyCatalogueItem kCropItems[] = {GET_SET_ITEM(0, 80, 80)};
const PropertyCatalogueItem kLOSItems[] = {GET_SET_ITEM(0, 1120, 1120)};
const PropertyCatalogueItem kLogoItems[] = {GET_SET_ITEM(0, 1132, 1132)};
const PropertyCatalogueItem kDeinterlaceItems[] = {GET_SET_ITEM(0, 60, 60)};
const PropertyCatalogueItem kInputDetectItems[] = {GET_ITEM(0, 32, 32), GET_ITEM(1, 580, 580)};
// A set reaches the filter, which answers success and changes nothing.
const PropertyCatalogueItem kDeviceConfigItems[] = {GET_SET_ITEM(0, 628, 628)};
const PropertyCatalogueItem kDriverInformationItems[] = {GET_ITEM(0, 100, 100)};

// ---- video capture filter -----------------------------------------------------------------------
const PropertyCatalogueSet kVideoFilterSets[] = {
    SET_OF(PROPSETID_BREVICOR_INTERFACE_VERSION, kInterfaceVersionItems),
    SET_OF(PROPSETID_VIDCAP_DROPPEDFRAMES, kDroppedFramesItems),
    SET_OF(PROPSETID_BREVICOR_DIAGNOSTICS, kDiagnosticsItems),
    SET_OF(PROPSETID_BREVICOR_PERFORMANCE, kPerformanceItems),
    SET_OF(KSPROPSETID_General, kGeneralItems),
    SET_OF(PROPSETID_BREVICOR_IMAGEQUALITY, kImageQualityItems),
    SET_OF(PROPSETID_BREVICOR_TRACE, kTraceItems),
    SET_OF(PROPSETID_VIDCAP_CROSSBAR, kCrossbarItems),
    SET_OF(PROPSETID_BREVICOR_CROSSBAR, kCrossbarItems),
    SET_OF(PROPSETID_VIDCAP_VIDEODECODER, kDecoderItems),
    SET_OF(PROPSETID_BREVICOR_VIDEODECODER, kBrevicorDecoderItems),
    SET_OF(PROPSETID_VIDCAP_VIDEOPROCAMP, kFilterProcAmpItems),
    SET_OF(PROPSETID_BREVICOR_VIDEOPROCAMP, kBrevicorProcAmpItems),
    SET_OF(PROPSETID_BREVICOR_AUDIO_CONFIG, kAudioConfigItems),
    SET_OF(PROPSETID_BREVICOR_CC, kCCItems),
    SET_OF(PROPSETID_BREVICOR_CROP, kCropItems),
    SET_OF(PROPSETID_BREVICOR_LOS, kLOSItems),
    SET_OF(PROPSETID_BREVICOR_LOGO, kLogoItems),
    SET_OF(PROPSETID_BREVICOR_DEINTERLACE, kDeinterlaceItems),
    SET_OF(PROPSETID_BREVICOR_INPUTDETECT, kInputDetectItems),
    SET_OF(PROPSETID_BREVICOR_DEVICE_CONFIG, kDeviceConfigItems),
    SET_OF(PROPSETID_BREVICOR_DRIVER_INFORMATION, kDriverInformationItems),
};
const EventCatalogueSet kVideoFilterEvents[] = {
    {&KSEVENTSETID_BREVICOR_NOTIFICATION, 0, kNotificationEnableDataBytes},
};

// ---- audio capture filter -----------------------------------------------------------------------
const PropertyCatalogueItem kPinNameItems[] = {GET_ITEM(kPinName, 32, 0)};
const PropertyCatalogueItem kAudioLatencyItems[] = {GET_ITEM(kAudioLatency, 24, 16)};
const PropertyCatalogueItem kAudioInputInfoItems[] = {GET_ITEM(0, 32, 32), GET_ITEM(1, 568, 568)};
const PropertyCatalogueSet kAudioFilterSets[] = {
    SET_OF(KSPROPSETID_General, kGeneralItems),
    SET_OF(KSPROPSETID_Pin, kPinNameItems),
    SET_OF(KSPROPSETID_Audio, kAudioLatencyItems),
    SET_OF(PROPSETID_BREVICOR_DRIVER_INFORMATION, kDriverInformationItems),
    SET_OF(PROPSETID_BREVICOR_INTERFACE_VERSION, kInterfaceVersionItems),
    SET_OF(PROPSETID_VIDCAP_DROPPEDFRAMES, kDroppedFramesItems),
    SET_OF(PROPSETID_BREVICOR_DIAGNOSTICS, kDiagnosticsItems),
    SET_OF(PROPSETID_BREVICOR_TRACE, kTraceItems),
    SET_OF(PROPSETID_BREVICOR_AUDIO_CONFIG, kAudioConfigItems),
    SET_OF(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, kAudioInputInfoItems),
    SET_OF(PROPSETID_BREVICOR_INPUTDETECT, kInputDetectItems),
    SET_OF(PROPSETID_BREVICOR_DEVICE_CONFIG, kDeviceConfigItems),
    SET_OF(PROPSETID_BREVICOR_DRIVER_INFORMATION, kDriverInformationItems),
};

// ---- crossbar filter ----------------------------------------------------------------------------
const PropertyCatalogueSet kCrossbarFilterSets[] = {
    SET_OF(PROPSETID_VIDCAP_CROSSBAR, kCrossbarItems),
};

// ---- audio nodes and the audio input pin -----------------------------------------------------------
const PropertyCatalogueItem kVolumeNodeItems[] = {
    {kAudioVolumeLevel, true, true, 40, 4, &kVolumeValues, PropertySupportHandler::Volume},
    GET_ITEM(kAudioCpuResources, 32, 4),
};
const PropertyCatalogueItem kMuteNodeItems[] = {
    GET_SET_ITEM(kAudioMute, 40, 4),
    GET_ITEM(kAudioCpuResources, 32, 4),
};
const PropertyCatalogueItem kMuxNodeItems[] = {
    GET_SET_ITEM(kAudioMuxSource, 32, 4),
    GET_ITEM(kAudioCpuResources, 32, 4),
};
const PropertyCatalogueItem kPeakNodeItems[] = {
    {kAudioPeakMeter, true, false, 40, 4, nullptr, PropertySupportHandler::Peak},
    GET_ITEM(kAudioCpuResources, 32, 4),
};
const PropertyCatalogueItem kAudioInputPinItems[] = {
    {kAudioVolumeLevel, true, true, 40, 4, &kVolumeValues, PropertySupportHandler::Volume},
    GET_SET_ITEM(kAudioMute, 40, 4),
    GET_ITEM(kAudioLatency, 24, 16),
};
const PropertyCatalogueSet kVolumeNodeSets[] = {SET_OF(KSPROPSETID_Audio, kVolumeNodeItems)};
const PropertyCatalogueSet kMuteNodeSets[] = {SET_OF(KSPROPSETID_Audio, kMuteNodeItems)};
const PropertyCatalogueSet kMuxNodeSets[] = {SET_OF(KSPROPSETID_Audio, kMuxNodeItems)};
const PropertyCatalogueSet kPeakNodeSets[] = {SET_OF(KSPROPSETID_Audio, kPeakNodeItems)};
const PropertyCatalogueSet kAudioInputPinSets[] = {SET_OF(KSPROPSETID_Audio, kAudioInputPinItems)};

// ---- video streaming pins -----------------------------------------------------------------------
// Every item's data is as long as what the pin writes: the compression information is 48 bytes,
// and the other items answer a 32-byte record.
const PropertyCatalogueItem kCompressionItems[] = {
    GET_ITEM(0, 40, 48),     // information
    GET_SET_ITEM(1, 32, 32), // key-frame rate
    SET_ITEM(5, 32, 32),     // override frame size
    SET_ITEM(4, 32, 32),     // override key frame
    GET_SET_ITEM(2, 32, 32), // P-frames per key frame
    GET_SET_ITEM(3, 32, 32), // quality
    GET_SET_ITEM(6, 32, 32), // window size
};
const PropertyCatalogueItem kPinProcAmpItems[] = {
    {kProcAmpContrast, true, true, 40, 40, &kPinContrastValues, kNone},
    {kProcAmpBrightness, true, true, 40, 40, &kPinBrightnessValues, kNone},
    {kProcAmpHue, true, true, 40, 40, &kPinHueValues, kNone},
    {kProcAmpSaturation, true, true, 40, 40, &kPinSaturationValues, kNone},
};
const PropertyCatalogueSet kStreamingPinSets[] = {
    SET_OF(PROPSETID_VIDCAP_VIDEOCOMPRESSION, kCompressionItems)};
const PropertyCatalogueSet kCapturePinSets[] = {
    SET_OF(PROPSETID_VIDCAP_VIDEOCOMPRESSION, kCompressionItems),
    SET_OF(PROPSETID_VIDCAP_VIDEOPROCAMP, kPinProcAmpItems),
};

#undef GET_ITEM
#undef GET_SET_ITEM
#undef SET_ITEM
#undef SET_OF

template <size_t N> constexpr AutomationCatalogue Table(const PropertyCatalogueSet (&sets)[N])
{
    return {sets, static_cast<ULONG>(N), nullptr, 0};
}

const AutomationCatalogue kVideoFilter = {kVideoFilterSets, Count(kVideoFilterSets), kVideoFilterEvents, 1};
const AutomationCatalogue kAudioFilter = Table(kAudioFilterSets);
const AutomationCatalogue kCrossbarFilter = Table(kCrossbarFilterSets);
const AutomationCatalogue kVolumeNode = Table(kVolumeNodeSets);
const AutomationCatalogue kMuteNode = Table(kMuteNodeSets);
const AutomationCatalogue kMuxNode = Table(kMuxNodeSets);
const AutomationCatalogue kPeakNode = Table(kPeakNodeSets);
const AutomationCatalogue kAudioInputPin = Table(kAudioInputPinSets);
const AutomationCatalogue kStreamingPin = Table(kStreamingPinSets);
const AutomationCatalogue kCapturePin = Table(kCapturePinSets);

} // namespace

const AutomationCatalogue& GetVideoCaptureFilterCatalogue()
{
    return kVideoFilter;
}
const AutomationCatalogue& GetAudioCaptureFilterCatalogue()
{
    return kAudioFilter;
}
const AutomationCatalogue& GetCrossbarFilterCatalogue()
{
    return kCrossbarFilter;
}
const AutomationCatalogue& GetAudioVolumeNodeCatalogue()
{
    return kVolumeNode;
}
const AutomationCatalogue& GetAudioMuteNodeCatalogue()
{
    return kMuteNode;
}
const AutomationCatalogue& GetAudioMuxNodeCatalogue()
{
    return kMuxNode;
}
const AutomationCatalogue& GetAudioPeakNodeCatalogue()
{
    return kPeakNode;
}
const AutomationCatalogue& GetAudioInputPinCatalogue()
{
    return kAudioInputPin;
}
const AutomationCatalogue& GetVideoStreamingPinCatalogue()
{
    return kStreamingPin;
}
const AutomationCatalogue& GetVideoCapturePinCatalogue()
{
    return kCapturePin;
}

const PropertyCatalogueSet* FindCatalogueSet(const AutomationCatalogue& catalogue, const GUID& set)
{
    for (ULONG i = 0; i < catalogue.setCount; ++i)
        if (*catalogue.sets[i].set == set)
            return &catalogue.sets[i];
    return nullptr;
}

const PropertyCatalogueItem* FindCatalogueItem(const PropertyCatalogueSet& set, ULONG id)
{
    for (ULONG i = 0; i < set.itemCount; ++i)
        if (set.items[i].id == id)
            return &set.items[i];
    return nullptr;
}
