// The automation tables of the filters, nodes and pins, built from the property catalogue.
#include "filterautomation.h"

#include "basicaudiofilter.h"
#include "basicfilter.h"
#include "kernel/poolallocation.h"
#include "km/status.h"

#include <cstring>

namespace {

// The value type of every values table: a 32-bit signed integer.
constexpr ULONG kValueTypeI4 = 3;
// A stepped range that applies to every channel of a multichannel node.
constexpr ULONG kMemberFlagMultichannel = 0x00000002;

constexpr SIZE_T Aligned(SIZE_T bytes)
{
    return (bytes + 7) & ~SIZE_T(7);
}

// `count` elements from the cursor, which then moves on to the next 8-byte boundary.
template <class T> T* Take(UCHAR** cursor, ULONG count)
{
    T* first = reinterpret_cast<T*>(*cursor);
    *cursor += Aligned(sizeof(T) * count);
    return first;
}

} // namespace

FilterAutomation::~FilterAutomation()
{
    for (Built& built : m_tables)
        if (built.block != nullptr)
            FreePool(built.block);
}

NTSTATUS FilterAutomation::Build()
{
    const AutomationCatalogue* catalogues[TableCount] = {
        &GetVideoCaptureFilterCatalogue(), &GetAudioCaptureFilterCatalogue(), &GetCrossbarFilterCatalogue(),
        &GetAudioVolumeNodeCatalogue(),    &GetAudioMuteNodeCatalogue(),     &GetAudioMuxNodeCatalogue(),
        &GetAudioPeakNodeCatalogue(),      &GetAudioInputPinCatalogue(),     &GetVideoStreamingPinCatalogue(),
        &GetVideoCapturePinCatalogue(),
    };
    for (ULONG i = 0; i < TableCount; ++i) {
        const NTSTATUS status = BuildOne(*catalogues[i], &m_tables[i]);
        if (!NT_SUCCESS(status)) {
            for (Built& built : m_tables) {
                if (built.block != nullptr)
                    FreePool(built.block);
                built = Built{};
            }
            return status;
        }
    }
    return STATUS_SUCCESS;
}

NTSTATUS FilterAutomation::BuildOne(const AutomationCatalogue& catalogue, Built* built)
{
    ULONG items = 0;
    for (ULONG s = 0; s < catalogue.setCount; ++s)
        items += catalogue.sets[s].itemCount;
    // Per item at most: its values, two members lists, one stepped range and a default.
    const SIZE_T bytes = Aligned(sizeof(KSPROPERTY_SET) * catalogue.setCount) + Aligned(sizeof(KSPROPERTY_ITEM) * items) +
                         Aligned(sizeof(KSPROPERTY_VALUES) * items) + Aligned(sizeof(KSPROPERTY_MEMBERSLIST) * 2 * items) +
                         Aligned(sizeof(KSPROPERTY_STEPPING_LONG) * items) + Aligned(sizeof(LONG) * items) +
                         Aligned(sizeof(KSEVENT_SET) * catalogue.eventCount) +
                         Aligned(sizeof(KSEVENT_ITEM) * catalogue.eventCount);
    auto* block = static_cast<UCHAR*>(AllocatePoolOfType(bytes, NonPagedPool));
    if (block == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block, 0, bytes);
    UCHAR* cursor = block;
    KSPROPERTY_SET* sets = Take<KSPROPERTY_SET>(&cursor, catalogue.setCount);
    KSPROPERTY_ITEM* itemArray = Take<KSPROPERTY_ITEM>(&cursor, items);
    KSPROPERTY_VALUES* values = Take<KSPROPERTY_VALUES>(&cursor, items);
    KSPROPERTY_MEMBERSLIST* lists = Take<KSPROPERTY_MEMBERSLIST>(&cursor, 2 * items);
    KSPROPERTY_STEPPING_LONG* ranges = Take<KSPROPERTY_STEPPING_LONG>(&cursor, items);
    LONG* defaults = Take<LONG>(&cursor, items);
    KSEVENT_SET* eventSets = Take<KSEVENT_SET>(&cursor, catalogue.eventCount);
    KSEVENT_ITEM* eventItems = Take<KSEVENT_ITEM>(&cursor, catalogue.eventCount);

    ULONG n = 0;
    for (ULONG s = 0; s < catalogue.setCount; ++s) {
        const PropertyCatalogueSet& from = catalogue.sets[s];
        sets[s].Set = from.set;
        sets[s].PropertiesCount = from.itemCount;
        sets[s].PropertyItem = &itemArray[n];
        for (ULONG i = 0; i < from.itemCount; ++i, ++n) {
            const PropertyCatalogueItem& source = from.items[i];
            KSPROPERTY_ITEM& item = itemArray[n];
            item.PropertyId = source.id;
            item.GetPropertyHandler = source.get ? &BasicFilter::GetPropertyCallback : nullptr;
            item.SetPropertyHandler = source.set ? &BasicFilter::SetPropertyCallback : nullptr;
            item.MinProperty = source.minProperty;
            item.MinData = source.minData;
            switch (source.support) {
            case PropertySupportHandler::Volume:
                item.SupportHandler = &BasicAudioFilter::PropHandlerVolume;
                break;
            case PropertySupportHandler::Peak:
                item.SupportHandler = &BasicAudioFilter::PropHandlerPeak;
                break;
            case PropertySupportHandler::None:
                break;
            }
            if (source.values != nullptr) {
                const PropertyCatalogueValues& v = *source.values;
                ranges[n].SteppingDelta = static_cast<ULONG>(v.step);
                ranges[n].Bounds.SignedMinimum = v.minimum;
                ranges[n].Bounds.SignedMaximum = v.maximum;
                defaults[n] = v.defaultValue;
                KSPROPERTY_MEMBERSLIST* list = &lists[2 * n];
                list[0].MembersHeader = {KSPROPERTY_MEMBER_STEPPEDRANGES, sizeof(KSPROPERTY_STEPPING_LONG), 1,
                                         v.multichannel ? kMemberFlagMultichannel : 0};
                list[0].Members = &ranges[n];
                list[1].MembersHeader = {KSPROPERTY_MEMBER_VALUES, sizeof(LONG), 1, KSPROPERTY_MEMBER_FLAG_DEFAULT};
                list[1].Members = &defaults[n];
                values[n].PropTypeSet = KSIDENTIFIER{KSPROPTYPESETID_General, kValueTypeI4, 0};
                values[n].MembersListCount = v.hasDefault ? 2 : 1;
                values[n].MembersList = list;
                item.Values = &values[n];
            }
        }
    }
    for (ULONG e = 0; e < catalogue.eventCount; ++e) {
        eventItems[e].EventId = catalogue.events[e].eventId;
        eventItems[e].DataInput = catalogue.events[e].enableDataBytes;
        eventSets[e].Set = catalogue.events[e].set;
        eventSets[e].EventsCount = 1;
        eventSets[e].EventItem = &eventItems[e];
    }
    built->block = block;
    built->table = KSAUTOMATION_TABLE{};
    built->table.PropertySetsCount = catalogue.setCount;
    built->table.PropertyItemSize = sizeof(KSPROPERTY_ITEM);
    built->table.PropertySets = sets;
    built->table.EventSetsCount = catalogue.eventCount;
    built->table.EventItemSize = sizeof(KSEVENT_ITEM);
    built->table.EventSets = catalogue.eventCount != 0 ? eventSets : nullptr;
    return STATUS_SUCCESS;
}
