// The catalogue of the property items of the board's filters, their topology nodes and their pins:
// per filter kind, node kind and pin, the property sets in their table order, each item's id,
// whether it answers get and set, its minimum property and data lengths (header included), its
// values table (the stepped range the platform answers basic-support requests from) and its own
// basic-support handler where it has one; and the event sets. The filters build their automation
// tables from it; nothing here depends on how they do.
#pragma once
#include "km/types.h"
#include "shared/guiddef.h"

// Item ids of the standard sets the filters, nodes and pins list.
namespace PropertyItem {
constexpr ULONG kGeneralComponentId = 0;
constexpr ULONG kPinName = 12;
constexpr ULONG kAudioLatency = 1;
constexpr ULONG kAudioVolumeLevel = 4;
constexpr ULONG kAudioMuxSource = 12;
constexpr ULONG kAudioMute = 13;
constexpr ULONG kAudioCpuResources = 33;
constexpr ULONG kAudioPeakMeter = 37;
constexpr ULONG kCrossbarCaps = 0;
constexpr ULONG kCrossbarPinInfo = 1;
constexpr ULONG kCrossbarCanRoute = 2;
constexpr ULONG kCrossbarRoute = 3;
constexpr ULONG kDecoderCaps = 0;
constexpr ULONG kDecoderStandard = 1;
constexpr ULONG kDecoderStatus = 2;
constexpr ULONG kProcAmpBrightness = 0;
constexpr ULONG kProcAmpContrast = 1;
constexpr ULONG kProcAmpHue = 2;
constexpr ULONG kProcAmpSaturation = 3;
} // namespace PropertyItem

// A stepped range of VT_I4 values with its default (none for the multichannel volume).
struct PropertyCatalogueValues {
    LONG step;
    LONG minimum;
    LONG maximum;
    LONG defaultValue;
    bool hasDefault;
    bool multichannel;
};

// Which basic-support handler of the audio filter an item names, if any.
enum class PropertySupportHandler { None, Volume, Peak };

struct PropertyCatalogueItem {
    ULONG id;
    bool get;
    bool set;
    ULONG minProperty;
    ULONG minData; // 0: any length
    const PropertyCatalogueValues* values;
    PropertySupportHandler support;
};

struct PropertyCatalogueSet {
    const GUID* set;
    const char* name;
    const PropertyCatalogueItem* items;
    ULONG itemCount;
};

struct EventCatalogueSet {
    const GUID* set;
    ULONG eventId;
    ULONG enableDataBytes;
};

// The sets of one automation table, and its events.
struct AutomationCatalogue {
    const PropertyCatalogueSet* sets;
    ULONG setCount;
    const EventCatalogueSet* events;
    ULONG eventCount;
};

// Filters: 22 sets with the notification event; 13 sets (the driver information set is listed
// twice, the first entry is the one found); 1 set.
const AutomationCatalogue& GetVideoCaptureFilterCatalogue();
const AutomationCatalogue& GetAudioCaptureFilterCatalogue();
const AutomationCatalogue& GetCrossbarFilterCatalogue();

// The audio topology's nodes: each one audio set of its own item and the CPU-resources item.
const AutomationCatalogue& GetAudioVolumeNodeCatalogue();
const AutomationCatalogue& GetAudioMuteNodeCatalogue();
const AutomationCatalogue& GetAudioMuxNodeCatalogue();
const AutomationCatalogue& GetAudioPeakNodeCatalogue();
// The audio input pin: volume, mute and latency.
const AutomationCatalogue& GetAudioInputPinCatalogue();

// The video streaming pins (capture, preview, VBI, captions): the compression set. The capture
// pin adds the standard proc-amp set with values tables of its own.
const AutomationCatalogue& GetVideoStreamingPinCatalogue();
const AutomationCatalogue& GetVideoCapturePinCatalogue();

// The first entry of `set` in a catalogue, or null.
const PropertyCatalogueSet* FindCatalogueSet(const AutomationCatalogue& catalogue, const GUID& set);
// Item `id` of a set, or null.
const PropertyCatalogueItem* FindCatalogueItem(const PropertyCatalogueSet& set, ULONG id);
