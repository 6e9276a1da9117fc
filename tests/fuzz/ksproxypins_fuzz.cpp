// What the proxy filter reads from outside: a "FilterData" value of an interface key and a driver's
// list answers (pin mediums, data ranges), then the media types and capabilities it makes of the
// ranges. The first byte picks the reader; the rest is the value or the answer.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ksproxy/KsMediaTypes.h"
#include "ksproxy/KsPinFactory.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const std::vector<BYTE> bytes(data + 1, data + size);
    switch (data[0] % 3) {
    case 0: {
        std::vector<ksproxy::PinFactory> pins;
        if (ksproxy::ParseFilterData(bytes.data(), bytes.size(), &pins)) {
            Check(!pins.empty() && 4 + pins.size() * 44 <= bytes.size());
            for (const ksproxy::PinFactory& pin : pins)
                Check(pin.mediumOnly && pin.mediums.size() == 1);
        } else {
            Check(pins.empty());
        }
        break;
    }
    case 1: {
        std::vector<std::vector<BYTE>> mediums;
        if (ksproxy::SplitItems(bytes, sizeof(KSPIN_MEDIUM), &mediums))
            for (const auto& medium : mediums)
                Check(medium.size() == sizeof(KSPIN_MEDIUM));
        break;
    }
    default: {
        ksproxy::PinFactory pin;
        if (!ksproxy::SplitItems(bytes, 0, &pin.ranges))
            break;
        for (const auto& range : pin.ranges)
            Check(range.size() >= sizeof(KSDATARANGE));
        // No filter: an audio range's intersection fails and the range is left out.
        const std::vector<ksproxy::OfferedType> types = ksproxy::TypesFromRanges(nullptr, pin);
        Check(types.size() <= pin.ranges.size());
        const int capsSize = ksproxy::CapsSize(types);
        for (const ksproxy::OfferedType& offered : types) {
            Check(offered.caps.size() <= size_t(capsSize));
            Check((offered.type.cbFormat == 0) == (offered.type.pbFormat == nullptr));
            const std::vector<BYTE> format = ksproxy::DataFormatOf(offered.type);
            Check(format.size() == sizeof(KSDATAFORMAT) + offered.type.cbFormat);
        }
        break;
    }
    }
    return 0;
}
