// Data intersection: which format a pin would accept for the ranges a caller offers, with the
// buffer-size protocol of the intersect handlers (no buffer: the size; too small: refused).
#include "KsDataRanges.h"
#include "KsObjects.h"
#include "km/status.h"

#include <cstring>

namespace standin {
namespace {

// Without a handler of its own, a pin offers a range of its own that is a whole format (no wildcard
// GUID) as it is.
NTSTATUS DefaultIntersect(const KSDATARANGE& mine, ULONG dataLength, UCHAR* data, ULONG* size)
{
    if (mine.MajorFormat == GUID_NULL || mine.SubFormat == GUID_NULL || mine.Specifier == GUID_NULL)
        return STATUS_NO_MATCH;
    *size = mine.FormatSize;
    if (dataLength == 0)
        return STATUS_BUFFER_OVERFLOW;
    if (dataLength < mine.FormatSize)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(data, &mine, mine.FormatSize);
    return STATUS_SUCCESS;
}

// The cursor past a record of `size` bytes at `at` and its padding to 8 bytes: the record itself
// lies within [at, end) (checked by the caller); null when the padded end lies beyond `end`, so that
// nothing can be read after the record.
UCHAR* Skip(UCHAR* at, UCHAR* end, size_t size)
{
    const size_t padded = KsAlign8(size);
    return padded > size_t(end - at) ? nullptr : at + padded;
}

} // namespace

NTSTATUS KsIntersectPin(KsFilterObject* filter, PIRP irp, const KSPIN_DESCRIPTOR_EX& pin, UCHAR* request,
                        ULONG requestLength, UCHAR* data, ULONG dataLength, ULONG_PTR* information)
{
    if (requestLength < sizeof(KSP_PIN) + sizeof(KSMULTIPLE_ITEM))
        return STATUS_INVALID_BUFFER_SIZE;
    KSMULTIPLE_ITEM list;
    std::memcpy(&list, request + sizeof(KSP_PIN), sizeof list);
    if (list.Size < sizeof list || list.Size > requestLength - sizeof(KSP_PIN))
        return STATUS_INVALID_PARAMETER;
    // The request copy starts 8-byte aligned, so each range (8-byte aligned in the list) is too.
    UCHAR* at = request + sizeof(KSP_PIN) + sizeof list;
    UCHAR* const end = request + sizeof(KSP_PIN) + list.Size;
    const std::vector<KsRangeEntry> mine = KsPinRanges(pin.PinDescriptor);
    for (ULONG i = 0; i < list.Count; ++i) {
        if (size_t(end - at) < sizeof(KSDATARANGE))
            return STATUS_INVALID_PARAMETER;
        auto* theirs = reinterpret_cast<PKSDATARANGE>(at);
        if (theirs->FormatSize < sizeof(KSDATARANGE) || theirs->FormatSize > size_t(end - at))
            return STATUS_INVALID_PARAMETER;
        for (const KsRangeEntry& entry : mine) {
            if (!KsGuidsMatch(*theirs, *entry.range))
                continue;
            ULONG size = 0;
            NTSTATUS status;
            if (pin.IntersectHandler)
                status = pin.IntersectHandler(&filter->filter, irp, reinterpret_cast<PKSP_PIN>(request), theirs,
                                              const_cast<PKSDATARANGE>(entry.range), dataLength, data, &size);
            else
                status = DefaultIntersect(*entry.range, dataLength, data, &size);
            if (status == STATUS_NO_MATCH)
                continue;
            if (NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW)
                *information = size;
            return status;
        }
        // The range's padding may be missing only at the end of the list: whatever follows it (its
        // attribute list, the next range) starts 8-byte aligned and inside the list, which the
        // cursor is kept within before anything is read there.
        at = Skip(at, end, theirs->FormatSize);
        if (theirs->Flags & KSDATARANGE_ATTRIBUTES) {
            // The caller's attribute list follows its range; it is the range's, not a range.
            KSMULTIPLE_ITEM attributes;
            if (at == nullptr || size_t(end - at) < sizeof attributes)
                return STATUS_INVALID_PARAMETER;
            std::memcpy(&attributes, at, sizeof attributes);
            if (attributes.Size < sizeof attributes || attributes.Size > size_t(end - at))
                return STATUS_INVALID_PARAMETER;
            at = Skip(at, end, attributes.Size);
        }
        if (i + 1 < list.Count && at == nullptr)
            return STATUS_INVALID_PARAMETER; // the next range would start past the list
    }
    return STATUS_NO_MATCH;
}

} // namespace standin
