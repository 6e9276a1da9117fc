// ANSI_STRING set-up and the conversions between ANSI and wide counted strings through code page
// 1252: into caller buffers at their limits, and into buffers they allocate from the pool.
#include <gtest/gtest.h>

#include <string>

#include "km/pool.h"
#include "km/status.h"
#include "km/string.h"
#include "standin/pool.h"

namespace {

const char16_t* const kWideText = u"Gr\u00FC\u00DFe\u20AC\u4E2D"; // 7 characters
const char* const kAnsiText = "Gr\xFC\xDF" "e\x80?";

UNICODE_STRING WideView(const char16_t* text)
{
    UNICODE_STRING s;
    RtlInitUnicodeString(&s, text);
    return s;
}

} // namespace

TEST(AnsiString, InitCountsBytesAndCutsAtTheLimit)
{
    ANSI_STRING s;
    RtlInitAnsiString(&s, "abc");
    EXPECT_EQ(s.Length, 3);
    EXPECT_EQ(s.MaximumLength, 4);
    RtlInitAnsiString(&s, nullptr);
    EXPECT_EQ(s.Length + s.MaximumLength, 0);
    EXPECT_EQ(s.Buffer, nullptr);
    const std::string longest(0xFFFD, 'x');
    RtlInitAnsiString(&s, longest.c_str());
    EXPECT_EQ(s.Length, 0xFFFD);
    EXPECT_EQ(s.MaximumLength, 0xFFFE);
    for (size_t bytes : {0xFFFEu, 0xFFFFu, 0x20000u}) {
        const std::string source(bytes, 'x');
        RtlInitAnsiString(&s, source.c_str());
        EXPECT_EQ(s.Length, 0xFFFD) << bytes;
        EXPECT_EQ(s.MaximumLength, 0xFFFE) << bytes;
    }
}

TEST(AnsiString, WideToAnsiIntoCallerBufferIsCutWithOverflow)
{
    UNICODE_STRING source = WideView(kWideText);
    char buffer[16];
    ANSI_STRING exact{0, 8, buffer}; // seven characters and the terminator
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&exact, &source, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(exact.Length, 7);
    EXPECT_STREQ(buffer, kAnsiText);

    std::fill(std::begin(buffer), std::end(buffer), '#');
    ANSI_STRING oneShort{0, 7, buffer}; // room for six and the terminator
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&oneShort, &source, FALSE), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(oneShort.Length, 6);
    EXPECT_EQ(std::string(buffer, 8), std::string(kAnsiText, 6) + '\0' + '#');

    ANSI_STRING none{5, 0, nullptr};
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&none, &source, FALSE), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(none.Length, 5);

    UNICODE_STRING odd = source;
    odd.Length = 5; // two whole characters
    ANSI_STRING target{0, 8, buffer};
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&target, &odd, FALSE), STATUS_SUCCESS);
    EXPECT_STREQ(buffer, "Gr");
    EXPECT_EQ(RtlUnicodeStringToAnsiString(nullptr, &odd, FALSE), STATUS_INVALID_PARAMETER);
    UNICODE_STRING noBuffer{4, 4, nullptr};
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&target, &noBuffer, FALSE), STATUS_INVALID_PARAMETER);
}

TEST(AnsiString, AnsiToWideIntoCallerBufferIsAllOrNothing)
{
    ANSI_STRING source;
    RtlInitAnsiString(&source, "caf\xE9\x80");
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    UNICODE_STRING exact{0, 12, buffer};
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&exact, &source, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(exact.Length, 10);
    EXPECT_EQ(std::u16string(buffer, 7), std::u16string(u"caf\u00E9\u20AC\0#", 7));

    std::fill(std::begin(buffer), std::end(buffer), u'#');
    UNICODE_STRING oneShort{2, 11, buffer}; // the terminator would need byte 11
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&oneShort, &source, FALSE), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(oneShort.Length, 2); // left as it was
    EXPECT_EQ(buffer[0], u'#');

    const std::string longest(0x7FFE, 'a'); // (0x7FFE + 1) x 2 = 0xFFFE bytes: the largest that converts
    const std::string tooLong(0x7FFF, 'a');
    ANSI_STRING big{0x7FFE, 0x7FFF, const_cast<char*>(longest.c_str())};
    std::u16string wide(0x7FFF, u'#');
    UNICODE_STRING target{0, 0xFFFE, wide.data()};
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&target, &big, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(target.Length, 0xFFFC);
    ANSI_STRING huge{0x7FFF, 0x8000, const_cast<char*>(tooLong.c_str())};
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&target, &huge, FALSE), STATUS_INVALID_PARAMETER_2);
}

TEST(AnsiString, CodePageRoundTripsEveryByte)
{
    char bytes[256];
    for (int i = 1; i < 256; ++i)
        bytes[i - 1] = static_cast<char>(i);
    ANSI_STRING source{255, 256, bytes};
    char16_t wide[256];
    UNICODE_STRING middle{0, sizeof wide, wide};
    ASSERT_EQ(RtlAnsiStringToUnicodeString(&middle, &source, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(wide[0x80 - 1], u'\u20AC');
    EXPECT_EQ(wide[0x9F - 1], u'\u0178');
    EXPECT_EQ(wide[0x81 - 1], u'\u0081'); // undefined in 1252: the control character of the same value
    char back[256];
    ANSI_STRING result{0, sizeof back, back};
    ASSERT_EQ(RtlUnicodeStringToAnsiString(&result, &middle, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(std::string(back, result.Length), std::string(bytes, 255));
}

TEST(AnsiString, ConversionsAllocateFromPagedPoolAndFreeAgain)
{
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, "caf\xE9");
    UNICODE_STRING wide{7, 9, nullptr}; // whatever it held is replaced
    ASSERT_EQ(RtlAnsiStringToUnicodeString(&wide, &ansi, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(wide.Length, 8);
    EXPECT_EQ(wide.MaximumLength, 10);
    EXPECT_EQ(std::u16string(wide.Buffer, 5), std::u16string(u"caf\u00E9\0", 5));
    standin::PoolBlockInfo block;
    ASSERT_TRUE(standin::PoolQueryBlock(wide.Buffer, &block));
    EXPECT_EQ(block.type, PagedPool);
    EXPECT_EQ(block.tag, standin::MakePoolTag("Strg"));
    EXPECT_EQ(block.size, 10u);

    ANSI_STRING back{};
    ASSERT_EQ(RtlUnicodeStringToAnsiString(&back, &wide, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(back.Length, 4);
    EXPECT_EQ(back.MaximumLength, 5);
    EXPECT_STREQ(back.Buffer, "caf\xE9");

    void* const wideBuffer = wide.Buffer;
    RtlFreeUnicodeString(&wide);
    RtlFreeAnsiString(&back);
    EXPECT_FALSE(standin::PoolQueryBlock(wideBuffer, &block));
    EXPECT_EQ(wide.Buffer, nullptr);
    EXPECT_EQ(wide.Length + wide.MaximumLength, 0);
    EXPECT_EQ(back.Buffer, nullptr);
    RtlFreeUnicodeString(&wide); // freeing an emptied or absent string does nothing
    RtlFreeUnicodeString(nullptr);
    RtlFreeAnsiString(nullptr);
}

TEST(AnsiString, EmptyTextStillGetsATerminatedBuffer)
{
    ANSI_STRING empty{0, 0, nullptr};
    UNICODE_STRING wide;
    ASSERT_EQ(RtlAnsiStringToUnicodeString(&wide, &empty, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(wide.Length, 0);
    EXPECT_EQ(wide.MaximumLength, 2);
    EXPECT_EQ(wide.Buffer[0], u'\0');
    RtlFreeUnicodeString(&wide);
}

TEST(AnsiString, AllocationFailureLeavesTheDestination)
{
    standin::PoolFailTag(standin::MakePoolTag("Strg"));
    ANSI_STRING ansi;
    RtlInitAnsiString(&ansi, "abc");
    UNICODE_STRING wide{2, 4, nullptr};
    EXPECT_EQ(RtlAnsiStringToUnicodeString(&wide, &ansi, TRUE), STATUS_NO_MEMORY);
    EXPECT_EQ(wide.Length, 2);
    EXPECT_EQ(wide.Buffer, nullptr);
    UNICODE_STRING source;
    RtlInitUnicodeString(&source, u"abc");
    ANSI_STRING narrow{1, 2, nullptr};
    EXPECT_EQ(RtlUnicodeStringToAnsiString(&narrow, &source, TRUE), STATUS_NO_MEMORY);
    EXPECT_EQ(narrow.Length, 1);
    EXPECT_EQ(narrow.Buffer, nullptr);
    EXPECT_EQ(standin::PoolInjectedFailures(), 2u);
    standin::PoolClearFailures();
}
