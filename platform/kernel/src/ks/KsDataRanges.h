// A pin descriptor's data ranges as the framework reads them: the ranges with their attribute
// lists, whether a format or a caller's range falls in a range, and the checks of a format record
// that arrives from outside.
#pragma once
#include "km/kspin.h"

#include <vector>

namespace standin {

struct KsRangeEntry {
    const KSDATARANGE* range;
    const KSATTRIBUTE_LIST* attributes; // NULL unless the range has KSDATARANGE_ATTRIBUTES
};

// The ranges of a pin descriptor (DataRangesCount of them, each with its attribute list).
std::vector<KsRangeEntry> KsPinRanges(const KSPIN_DESCRIPTOR& descriptor);
std::vector<KsRangeEntry> KsPinConstrainedRanges(const KSPIN_DESCRIPTOR& descriptor);
// Major format, subformat and specifier equal, a GUID_NULL on either side matching any.
bool KsGuidsMatch(const KSDATAFORMAT& a, const KSDATAFORMAT& b);
// The format (FormatSize bytes, followed by `attributes` when it has KSDATAFORMAT_ATTRIBUTES) falls
// in the range: the GUIDs match and every attribute the range requires is in the format's list.
bool KsFormatInRange(const KSDATAFORMAT& format, const KSMULTIPLE_ITEM* attributes, const KsRangeEntry& entry);
// The attribute list that follows a format of `length` bytes at `format` (8-byte aligned after it),
// or NULL when the format has none; *bad set when the flag is there but the list is not whole.
const KSMULTIPLE_ITEM* KsFormatAttributes(const KSDATAFORMAT* format, size_t length, bool* bad);
// Bytes of a format with its attribute list, the list 8-byte aligned after the format.
size_t KsFormatWholeSize(const KSDATAFORMAT& format, const KSMULTIPLE_ITEM* attributes);
constexpr size_t KsAlign8(size_t n)
{
    return (n + 7) & ~size_t(7);
}

} // namespace standin
