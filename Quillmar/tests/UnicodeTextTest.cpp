// UnicodeText and CountedUnicodeString: owned copies, conversions both ways, the limits of a
// counted string, and the exact room each copy-out needs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/countedunicodestring.h"
#include "kernel/unicodetext.h"
#include "kernel/widelength.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/pool.h"

namespace {

const ULONG kTag = standin::MakePoolTag("Wdm ");

std::u16string Text(const CountedUnicodeString& s)
{
    return std::u16string(s.Buffer(), s.Length() / 2);
}

uint64_t Outstanding()
{
    return standin::PoolUsageByTag(kTag).outstandingBlocks;
}

} // namespace

TEST(WideLength, CountsUpToTheZeroOrTheLimit)
{
    EXPECT_EQ(WideLength(u"abc"), 3u);
    EXPECT_EQ(WideByteLength(u"abc"), 6u);
    EXPECT_EQ(WideLength(u""), 0u);
    EXPECT_EQ(WideLength(nullptr), 0u);
    // An unterminated text is read no further than the limit (AddressSanitizer watches the end).
    std::vector<WCHAR> unterminated(5, u'x');
    EXPECT_EQ(WideLength(unterminated.data(), 5), 5u);
    EXPECT_EQ(WideByteLength(unterminated.data(), 5), 10u);
}

TEST(UnicodeText, CopiesWideTextWithItsTerminator)
{
    const uint64_t before = Outstanding();
    const WCHAR source[] = u"abc";
    {
        UnicodeText text(source, PagedPool);
        ASSERT_TRUE(text.OwnsBuffer());
        EXPECT_NE(text.Buffer(), source);
        EXPECT_EQ(text.Length(), 6u);
        EXPECT_EQ(text.MaximumLength(), 8u);
        EXPECT_EQ(Text(text), u"abc");
        EXPECT_EQ(text.Buffer()[3], 0);
        standin::PoolBlockInfo info;
        ASSERT_TRUE(standin::PoolQueryBlock(text.Buffer(), &info));
        EXPECT_EQ(info.type, PagedPool);
        EXPECT_EQ(info.size, 8u);
        EXPECT_EQ(Outstanding(), before + 1);

        UnicodeText empty(u"", NonPagedPool);
        EXPECT_TRUE(empty.OwnsBuffer());
        EXPECT_EQ(empty.Length(), 0u);
        EXPECT_EQ(empty.MaximumLength(), 2u);
    }
    EXPECT_EQ(Outstanding(), before);
}

TEST(UnicodeText, FailedCopyLeavesAllFieldsZero)
{
    standin::PoolFailNthAllocation(1);
    UnicodeText failed(u"abc", NonPagedPool);
    UnicodeText none(nullptr, NonPagedPool);
    std::u16string longest(32766, u'w');
    std::u16string tooLong(32767, u'w');
    UnicodeText fits(longest.c_str(), NonPagedPool);
    UnicodeText refused(tooLong.c_str(), NonPagedPool);
    for (const UnicodeText* t : {&failed, &none, &refused}) {
        EXPECT_FALSE(t->OwnsBuffer());
        EXPECT_EQ(t->Buffer(), nullptr);
        EXPECT_EQ(t->Length(), 0u);
        EXPECT_EQ(t->MaximumLength(), 0u);
    }
    EXPECT_EQ(fits.Length(), 0xFFFCu);
    EXPECT_EQ(fits.MaximumLength(), 0xFFFEu);
}

TEST(UnicodeText, CopyToNeedsRoomForTheWholeTerminator)
{
    UnicodeText text(u"abc", NonPagedPool);
    WCHAR out[5];
    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_EQ(text.CopyTo(out, 6), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(text.CopyTo(out, 7), STATUS_BUFFER_TOO_SMALL); // an odd capacity: the zero would overrun
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(out[3], u'#');
    EXPECT_EQ(text.CopyTo(out, 8), STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(out), u"abc");
    EXPECT_EQ(out[4], u'#');
    EXPECT_EQ(text.CopyTo(nullptr, 100), STATUS_BUFFER_TOO_SMALL);

    UnicodeText empty;
    EXPECT_EQ(empty.CopyTo(out, 2), STATUS_SUCCESS);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(empty.CopyTo(out, 1), STATUS_BUFFER_TOO_SMALL);
}

TEST(UnicodeText, ToAnsiNeedsRoomForTheZero)
{
    UnicodeText text(u"ab\u00e9\u20ac", NonPagedPool); // e acute and the euro sign, in Windows-1252
    char out[6];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(text.ToAnsi(out, 4), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(out[0], '#');
    EXPECT_EQ(text.ToAnsi(out, 5), STATUS_SUCCESS);
    EXPECT_EQ(std::string(out), "ab\xE9\x80");
    EXPECT_EQ(out[5], '#');
    EXPECT_EQ(text.ToAnsi(nullptr, 5), STATUS_BUFFER_TOO_SMALL);
}

TEST(UnicodeText, FromAnsiRoundTrip)
{
    const uint64_t before = Outstanding();
    UnicodeText text;
    ASSERT_EQ(text.FromAnsi("Hello \x80\xE9", NonPagedPool), STATUS_SUCCESS);
    EXPECT_EQ(Text(text), u"Hello \u20ac\u00e9");
    EXPECT_EQ(text.Length(), 16u);
    EXPECT_EQ(text.MaximumLength(), 18u);
    EXPECT_EQ(text.Buffer()[8], 0);
    char back[9];
    ASSERT_EQ(text.ToAnsi(back, sizeof back), STATUS_SUCCESS);
    EXPECT_EQ(std::string(back), "Hello \x80\xE9");

    // A second conversion replaces the first buffer.
    ASSERT_EQ(text.FromAnsi("", PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_EQ(text.MaximumLength(), 2u);
    EXPECT_EQ(Outstanding(), before + 1);

    EXPECT_EQ(text.FromAnsi(nullptr, NonPagedPool), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(text.Buffer(), nullptr);
    std::string tooLong(32767, 'n');
    EXPECT_EQ(text.FromAnsi(tooLong.c_str(), NonPagedPool), STATUS_INVALID_PARAMETER);
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(text.FromAnsi("abc", NonPagedPool), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(text.OwnsBuffer());
    EXPECT_EQ(Outstanding(), before);
}

TEST(UnicodeText, AllocateAndAppendWithinTheRoom)
{
    const uint64_t before = Outstanding();
    UnicodeText text;
    ASSERT_EQ(text.Allocate(7, NonPagedPool), STATUS_SUCCESS); // rounded down to 6
    EXPECT_EQ(text.MaximumLength(), 6u);
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_EQ(text.Buffer()[0], 0);
    EXPECT_EQ(text.Append(u"ab"), STATUS_SUCCESS);
    EXPECT_EQ(text.Buffer()[2], 0); // terminated while there is room
    EXPECT_EQ(text.Append(u"c"), STATUS_SUCCESS);
    EXPECT_EQ(Text(text), u"abc");
    EXPECT_EQ(text.Append(u"d"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(Text(text), u"abc");
    EXPECT_EQ(text.Append(u""), STATUS_SUCCESS);
    EXPECT_EQ(text.Append(nullptr), STATUS_SUCCESS);

    ASSERT_EQ(text.Reallocate(20, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(text.MaximumLength(), 20u);
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_EQ(Outstanding(), before + 1); // the old buffer went back

    EXPECT_EQ(text.Allocate(1, NonPagedPool), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(text.Allocate(0x10000, NonPagedPool), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(text.OwnsBuffer());
    ASSERT_EQ(text.Allocate(0xFFFF, NonPagedPool), STATUS_SUCCESS);
    EXPECT_EQ(text.MaximumLength(), 0xFFFEu);
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(text.Reallocate(8, NonPagedPool), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(text.Buffer(), nullptr);
    EXPECT_EQ(Outstanding(), before);
}

TEST(UnicodeText, EqualsIsCaseSensitiveOverByteLengths)
{
    UnicodeText a(u"Driver", NonPagedPool);
    UnicodeText same(u"Driver", PagedPool);
    UnicodeText lower(u"driver", NonPagedPool);
    UnicodeText prefix(u"Drive", NonPagedPool);
    UnicodeText empty1, empty2(u"", NonPagedPool);
    EXPECT_TRUE(a.Equals(same));
    EXPECT_FALSE(a.Equals(lower));
    EXPECT_FALSE(a.Equals(prefix));
    EXPECT_FALSE(prefix.Equals(a));
    EXPECT_TRUE(empty1.Equals(empty2));
    EXPECT_FALSE(a.Equals(nullptr));
    CountedUnicodeString view;
    view.Init(u"Driver");
    EXPECT_TRUE(a.Equals(view));
}

TEST(CountedUnicodeString, InitPointsWithoutOwning)
{
    const WCHAR source[] = u"xyz";
    CountedUnicodeString view;
    view.Init(source);
    EXPECT_EQ(view.Buffer(), source);
    EXPECT_EQ(view.Length(), 6u);
    EXPECT_EQ(view.MaximumLength(), 8u);
    EXPECT_FALSE(view.OwnsBuffer());
    // The text it points at is never written: one more character would fit MaximumLength, but
    // the terminator it overwrote would leave the caller's text unterminated.
    EXPECT_EQ(view.Append(u"!"), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(std::u16string(source), u"xyz");
    view.Free();
    EXPECT_EQ(view.Length(), 0u);
    EXPECT_EQ(view.Buffer(), source);
    view.Release();
    EXPECT_EQ(view.Buffer(), nullptr);
    EXPECT_EQ(view.MaximumLength(), 0u);
}

TEST(CountedUnicodeString, OwnedBufferIsFreedByReleaseFreeAndInit)
{
    const uint64_t before = Outstanding();
    UnicodeText text(u"owned", NonPagedPool);
    CountedUnicodeString& counted = text;
    counted.Free();
    EXPECT_EQ(counted.Buffer(), nullptr);
    EXPECT_EQ(Outstanding(), before);

    ASSERT_EQ(text.Allocate(16, NonPagedPool), STATUS_SUCCESS);
    counted.Init(u"view"); // the owned buffer goes first
    EXPECT_FALSE(counted.OwnsBuffer());
    EXPECT_EQ(Outstanding(), before);

    UnicodeText another(u"again", NonPagedPool);
    another.Release();
    EXPECT_EQ(another.Length(), 0u);
    EXPECT_EQ(Outstanding(), before);
}
