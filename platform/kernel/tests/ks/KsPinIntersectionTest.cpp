// The walk over a caller's data ranges in a pin intersection, and over a caller's format attributes,
// straight on the framework's functions with requests exactly as long as they claim to be (so a
// read past one is a heap overflow under AddressSanitizer): each record and its padding checked
// against what is left before the cursor moves.
#include "KsDataRanges.h"
#include "KsObjects.h"

#include "km/status.h"
#include "shared/ksaudiorecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace standin;

namespace {

// A request of exactly the bytes given: KSP_PIN, the list head, then `body` (ranges, attributes).
std::vector<UCHAR> Request(ULONG listSize, ULONG count, const std::vector<UCHAR>& body)
{
    KSP_PIN pin{};
    pin.Property.Set = KSPROPSETID_Pin;
    pin.Property.Id = KSPROPERTY_PIN_DATAINTERSECTION;
    pin.Property.Flags = KSPROPERTY_TYPE_GET;
    const KSMULTIPLE_ITEM list{listSize, count};
    std::vector<UCHAR> bytes(sizeof pin + sizeof list);
    std::memcpy(bytes.data(), &pin, sizeof pin);
    std::memcpy(bytes.data() + sizeof pin, &list, sizeof list);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// A caller's range head of `formatSize` bytes (zero-filled beyond the head) with `flags`.
std::vector<UCHAR> Range(ULONG formatSize, ULONG flags, const GUID& major = GUID_NULL)
{
    KSDATARANGE range{};
    range.FormatSize = formatSize;
    range.Flags = flags;
    range.MajorFormat = major;
    std::vector<UCHAR> bytes(formatSize < sizeof range ? sizeof range : formatSize);
    std::memcpy(bytes.data(), &range, sizeof range);
    bytes.resize(formatSize);
    return bytes;
}

std::vector<UCHAR> Join(std::initializer_list<std::vector<UCHAR>> parts)
{
    std::vector<UCHAR> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<UCHAR> Pad(std::vector<UCHAR> bytes, size_t to)
{
    bytes.resize(to);
    return bytes;
}

class KsPinIntersectionTest : public testing::Test {
protected:
    // A pin of `ranges` without an intersect handler of its own.
    NTSTATUS Intersect(std::vector<UCHAR>& request, ULONG* information = nullptr)
    {
        KSPIN_DESCRIPTOR_EX pin{};
        pin.PinDescriptor.DataRangesCount = ULONG(ranges.size());
        pin.PinDescriptor.DataRanges = ranges.empty() ? nullptr : ranges.data();
        std::vector<UCHAR> request_copy = request; // exactly request.size() bytes on the heap
        ULONG_PTR info = 0;
        const NTSTATUS status = KsIntersectPin(nullptr, nullptr, pin, request_copy.data(), ULONG(request_copy.size()),
                                               answer, sizeof answer, &info);
        if (information)
            *information = ULONG(info);
        return status;
    }
    std::vector<PKSDATARANGE> ranges;
    UCHAR answer[256] = {};
};

TEST_F(KsPinIntersectionTest, ARangeWhosePaddingRunsPastTheListIsRefusedBeforeItsAttributesAreRead)
{
    // The request as it came: KSP_PIN {pin set, DATAINTERSECTION, GET, pin 0}, list {Size 0x49,
    // Count 1}, a range {FormatSize 0x41, Flags KSDATARANGE_ATTRIBUTES}: 105 bytes. The range's
    // aligned end (72 bytes on) lies past the list's end, so no attribute list can follow it.
    std::vector<UCHAR> request = Request(0x49, 1, Range(0x41, KSDATARANGE_ATTRIBUTES));
    ASSERT_EQ(request.size(), 105u);
    EXPECT_EQ(Intersect(request), STATUS_INVALID_PARAMETER);

    // The same with a second range behind the first one's missing padding.
    request = Request(0x49, 2, Range(0x41, 0));
    EXPECT_EQ(Intersect(request), STATUS_INVALID_PARAMETER);
    // A last range without attributes may end the list without its padding.
    request = Request(0x49, 1, Range(0x41, 0));
    EXPECT_EQ(Intersect(request), STATUS_NO_MATCH);
}

TEST_F(KsPinIntersectionTest, AnAttributeListWhosePaddingRunsPastTheListEndsTheWalk)
{
    // Range (64 bytes), then an attribute list of 12 bytes ending the list: a second range cannot
    // start 16 bytes on.
    const KSMULTIPLE_ITEM attributes{12, 0};
    std::vector<UCHAR> list(12);
    std::memcpy(list.data(), &attributes, sizeof attributes);
    const std::vector<UCHAR> body = Join({Range(64, KSDATARANGE_ATTRIBUTES), list});
    std::vector<UCHAR> request = Request(ULONG(8 + body.size()), 2, body);
    EXPECT_EQ(Intersect(request), STATUS_INVALID_PARAMETER);
    request = Request(ULONG(8 + body.size()), 1, body);
    EXPECT_EQ(Intersect(request), STATUS_NO_MATCH);

    // An attribute list that claims more than is left, and one too short for its own head.
    for (ULONG size : {ULONG(0x49), ULONG(4)}) {
        const KSMULTIPLE_ITEM bad{size, 0};
        std::memcpy(list.data(), &bad, sizeof bad);
        const std::vector<UCHAR> badBody = Join({Range(64, KSDATARANGE_ATTRIBUTES), list});
        request = Request(ULONG(8 + badBody.size()), 1, badBody);
        EXPECT_EQ(Intersect(request), STATUS_INVALID_PARAMETER) << size;
    }
}

TEST_F(KsPinIntersectionTest, AWellFormedListIsWalkedToTheRangeThePinHas)
{
    // The first range (audio, 0x41 bytes padded to 72, with a 32-byte attribute list) is skipped;
    // the second (video, whole) meets the pin's range, which answers as it is.
    KSDATARANGE mine{};
    mine.FormatSize = sizeof mine;
    mine.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    mine.SubFormat = KSDATAFORMAT_SUBTYPE_RGB32;
    mine.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    ranges.push_back(&mine);
    KSMULTIPLE_ITEM attributes{32, 1};
    KSATTRIBUTE attribute{sizeof(KSATTRIBUTE), 0, KSDATAFORMAT_SUBTYPE_UYVY};
    std::vector<UCHAR> list(32);
    std::memcpy(list.data(), &attributes, sizeof attributes);
    std::memcpy(list.data() + 8, &attribute, sizeof attribute);
    const std::vector<UCHAR> body =
        Join({Pad(Range(0x41, KSDATARANGE_ATTRIBUTES, KSDATAFORMAT_TYPE_AUDIO), 72), list,
              Range(64, 0, KSDATAFORMAT_TYPE_VIDEO)});
    std::vector<UCHAR> request = Request(ULONG(8 + body.size()), 2, body);
    ULONG information = 0;
    ASSERT_EQ(Intersect(request, &information), STATUS_SUCCESS);
    EXPECT_EQ(information, sizeof mine);
    EXPECT_EQ(std::memcmp(answer, &mine, sizeof mine), 0);
}

TEST(KsFormatAttributesTest, AnAttributeRunningPastTheFormatsListDoesNotCount)
{
    // The pin's range requires the UYVY attribute; the caller's format lists it in an item whose
    // Size claims more than the list holds, or less than an attribute's head: not a whole attribute.
    KSDATARANGE range{};
    range.FormatSize = sizeof range;
    range.Flags = KSDATARANGE_ATTRIBUTES | KSDATARANGE_REQUIRED_ATTRIBUTES;
    struct {
        KSMULTIPLE_ITEM head;
        KSATTRIBUTE item;
    } required{{sizeof(KSMULTIPLE_ITEM) + sizeof(KSATTRIBUTE), 1},
               {sizeof(KSATTRIBUTE), KSATTRIBUTE_REQUIRED, KSDATAFORMAT_SUBTYPE_UYVY}};
    const KsRangeEntry entry{&range, &required.head};

    for (ULONG itemSize : {ULONG(sizeof(KSATTRIBUTE)), ULONG(0x1000), ULONG(sizeof(KSATTRIBUTE) + 1), ULONG(8)}) {
        KSDATAFORMAT format{};
        format.FormatSize = sizeof format;
        format.Flags = KSDATAFORMAT_ATTRIBUTES;
        const KSMULTIPLE_ITEM head{sizeof(KSMULTIPLE_ITEM) + sizeof(KSATTRIBUTE), 1};
        const KSATTRIBUTE item{itemSize, 0, KSDATAFORMAT_SUBTYPE_UYVY};
        std::vector<UCHAR> whole(sizeof format + head.Size);
        std::memcpy(whole.data(), &format, sizeof format);
        std::memcpy(whole.data() + sizeof format, &head, sizeof head);
        std::memcpy(whole.data() + sizeof format + sizeof head, &item, sizeof item);
        bool bad = true;
        const auto* formatCopy = reinterpret_cast<const KSDATAFORMAT*>(whole.data());
        const KSMULTIPLE_ITEM* attributes = KsFormatAttributes(formatCopy, whole.size(), &bad);
        ASSERT_FALSE(bad);
        ASSERT_NE(attributes, nullptr);
        EXPECT_EQ(KsFormatInRange(*formatCopy, attributes, entry), itemSize == sizeof(KSATTRIBUTE)) << itemSize;
    }
}

} // namespace
