// Data ranges: reading a pin's ranges and their attribute lists, and matching formats and caller
// ranges against them with the wildcards.
#include "KsDataRanges.h"

#include <cstring>

namespace standin {
namespace {

std::vector<KsRangeEntry> Entries(ULONG count, const PKSDATARANGE* ranges)
{
    std::vector<KsRangeEntry> entries;
    // A range with attributes takes the next array slot for its list; the count counts ranges only.
    for (ULONG slot = 0; ranges && entries.size() < count; ++slot) {
        const KSDATARANGE* range = ranges[slot];
        if (!range)
            break;
        const KSATTRIBUTE_LIST* attributes = nullptr;
        if (range->Flags & KSDATARANGE_ATTRIBUTES)
            attributes = reinterpret_cast<const KSATTRIBUTE_LIST*>(ranges[++slot]);
        entries.push_back({range, attributes});
    }
    return entries;
}

bool HasAttribute(const KSMULTIPLE_ITEM* list, const GUID& attribute)
{
    if (!list)
        return false;
    // The caller's list: each attribute must lie whole within it before it counts or the cursor
    // moves past it (and its padding, which only the last one may lack).
    const auto* at = reinterpret_cast<const UCHAR*>(list + 1);
    const auto* end = reinterpret_cast<const UCHAR*>(list) + list->Size;
    for (ULONG i = 0; i < list->Count && size_t(end - at) >= sizeof(KSATTRIBUTE); ++i) {
        KSATTRIBUTE item;
        std::memcpy(&item, at, sizeof item);
        if (item.Size < sizeof(KSATTRIBUTE) || item.Size > size_t(end - at))
            break;
        if (item.Attribute == attribute)
            return true;
        if (KsAlign8(item.Size) >= size_t(end - at))
            break;
        at += KsAlign8(item.Size);
    }
    return false;
}

} // namespace

std::vector<KsRangeEntry> KsPinRanges(const KSPIN_DESCRIPTOR& descriptor)
{
    return Entries(descriptor.DataRangesCount, descriptor.DataRanges);
}

std::vector<KsRangeEntry> KsPinConstrainedRanges(const KSPIN_DESCRIPTOR& descriptor)
{
    if (descriptor.ConstrainedDataRangesCount && descriptor.ConstrainedDataRanges)
        return Entries(descriptor.ConstrainedDataRangesCount, descriptor.ConstrainedDataRanges);
    return KsPinRanges(descriptor);
}

bool KsGuidsMatch(const KSDATAFORMAT& a, const KSDATAFORMAT& b)
{
    auto same = [](const GUID& x, const GUID& y) { return x == GUID_NULL || y == GUID_NULL || x == y; };
    return same(a.MajorFormat, b.MajorFormat) && same(a.SubFormat, b.SubFormat) && same(a.Specifier, b.Specifier);
}

bool KsFormatInRange(const KSDATAFORMAT& format, const KSMULTIPLE_ITEM* attributes, const KsRangeEntry& entry)
{
    if (!KsGuidsMatch(format, *entry.range))
        return false;
    if (!(entry.range->Flags & KSDATARANGE_REQUIRED_ATTRIBUTES) || !entry.attributes)
        return true;
    const auto* at = reinterpret_cast<const UCHAR*>(entry.attributes + 1);
    for (ULONG i = 0; i < entry.attributes->Count; ++i) {
        const auto* item = reinterpret_cast<const KSATTRIBUTE*>(at);
        if ((item->Flags & KSATTRIBUTE_REQUIRED) && !HasAttribute(attributes, item->Attribute))
            return false;
        at += KsAlign8(item->Size < sizeof(KSATTRIBUTE) ? sizeof(KSATTRIBUTE) : item->Size);
    }
    return true;
}

const KSMULTIPLE_ITEM* KsFormatAttributes(const KSDATAFORMAT* format, size_t length, bool* bad)
{
    *bad = false;
    if (!(format->Flags & KSDATAFORMAT_ATTRIBUTES))
        return nullptr;
    const size_t at = KsAlign8(format->FormatSize);
    KSMULTIPLE_ITEM head{};
    if (at + sizeof head > length) {
        *bad = true;
        return nullptr;
    }
    std::memcpy(&head, reinterpret_cast<const UCHAR*>(format) + at, sizeof head);
    if (head.Size < sizeof head || head.Size > length - at ||
        (head.Size - sizeof head) / sizeof(KSATTRIBUTE) < head.Count) {
        *bad = true;
        return nullptr;
    }
    return reinterpret_cast<const KSMULTIPLE_ITEM*>(reinterpret_cast<const UCHAR*>(format) + at);
}

size_t KsFormatWholeSize(const KSDATAFORMAT& format, const KSMULTIPLE_ITEM* attributes)
{
    return attributes ? KsAlign8(format.FormatSize) + attributes->Size : format.FormatSize;
}

} // namespace standin
