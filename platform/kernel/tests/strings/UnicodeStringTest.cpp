// The UNICODE_STRING functions at their limits: exact fits, one byte short, odd byte lengths, the
// 0xFFFE limit, null strings and buffers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "km/status.h"
#include "km/string.h"
#include "standin/verifier.h"

namespace {

// A caller-owned wide buffer filled with '#' so that writes past the text show.
struct WideBuffer {
    explicit WideBuffer(USHORT maximumBytes) : storage(64, u'#') { string = {0, maximumBytes, storage.data()}; }
    std::u16string Text() const { return std::u16string(string.Buffer, string.Length / 2); }
    std::u16string storage;
    UNICODE_STRING string;
};

UNICODE_STRING View(const char16_t* text)
{
    UNICODE_STRING s;
    RtlInitUnicodeString(&s, text);
    return s;
}

std::vector<standin::VerifierViolation> TakeQuietly(const std::function<void()>& action)
{
    standin::VerifierSetEcho(false);
    action();
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    return breaches;
}

} // namespace

TEST(UnicodeString, InitCountsBytesAndCutsAtTheLimit)
{
    const char16_t* text = u"abc";
    UNICODE_STRING s = View(text);
    EXPECT_EQ(s.Length, 6);
    EXPECT_EQ(s.MaximumLength, 8);
    EXPECT_EQ(s.Buffer, text);
    s = View(u"");
    EXPECT_EQ(s.Length, 0);
    EXPECT_EQ(s.MaximumLength, 2);
    s = View(nullptr);
    EXPECT_EQ(s.Length + s.MaximumLength, 0);
    EXPECT_EQ(s.Buffer, nullptr);

    std::u16string longest(32765, u'x');
    s = View(longest.c_str());
    EXPECT_EQ(s.Length, 0xFFFA);
    EXPECT_EQ(s.MaximumLength, 0xFFFC);
    for (size_t characters : {32766u, 32767u, 40000u}) {
        const std::u16string source(characters, u'x');
        s = View(source.c_str());
        EXPECT_EQ(s.Length, 0xFFFC) << characters;
        EXPECT_EQ(s.MaximumLength, 0xFFFE) << characters;
    }
    auto breaches = TakeQuietly([] { RtlInitUnicodeString(nullptr, u"x"); });
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "rtl-string");
}

TEST(UnicodeString, CopyFitsWholeCharactersAndTerminatesOnlyWithinRoom)
{
    UNICODE_STRING source = View(u"abc");
    WideBuffer room(8);
    RtlCopyUnicodeString(&room.string, &source);
    EXPECT_EQ(room.Text(), u"abc");
    EXPECT_EQ(room.storage[3], u'\0');

    WideBuffer exact(6);
    RtlCopyUnicodeString(&exact.string, &source);
    EXPECT_EQ(exact.Text(), u"abc");
    EXPECT_EQ(exact.storage[3], u'#');

    WideBuffer oneShort(5); // copies two whole characters, no terminator past byte 5
    RtlCopyUnicodeString(&oneShort.string, &source);
    EXPECT_EQ(oneShort.string.Length, 4);
    EXPECT_EQ(oneShort.storage.substr(0, 4), u"ab##");

    WideBuffer odd(7); // all three characters; a terminator would reach byte 8
    RtlCopyUnicodeString(&odd.string, &source);
    EXPECT_EQ(odd.string.Length, 6);
    EXPECT_EQ(odd.storage[3], u'#');

    RtlCopyUnicodeString(&room.string, nullptr);
    EXPECT_EQ(room.string.Length, 0);

    UNICODE_STRING broken{0, 8, nullptr};
    auto breaches = TakeQuietly([&] { RtlCopyUnicodeString(&broken, &source); });
    EXPECT_EQ(breaches.size(), 1u);
    EXPECT_EQ(broken.Length, 0);
}

TEST(UnicodeString, AppendStringToString)
{
    UNICODE_STRING tail = View(u"cd");
    WideBuffer room(10);
    RtlAppendUnicodeToString(&room.string, u"ab");
    EXPECT_EQ(RtlAppendUnicodeStringToString(&room.string, &tail), STATUS_SUCCESS);
    EXPECT_EQ(room.Text(), u"abcd");
    EXPECT_EQ(room.storage[4], u'\0');

    WideBuffer exact(8);
    RtlAppendUnicodeToString(&exact.string, u"ab");
    EXPECT_EQ(RtlAppendUnicodeStringToString(&exact.string, &tail), STATUS_SUCCESS);
    EXPECT_EQ(exact.Text(), u"abcd");
    EXPECT_EQ(exact.storage[4], u'#');

    WideBuffer oneShort(7);
    RtlAppendUnicodeToString(&oneShort.string, u"ab");
    EXPECT_EQ(RtlAppendUnicodeStringToString(&oneShort.string, &tail), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(oneShort.Text(), u"ab");

    // Appending a string to itself reads it before it grows.
    EXPECT_EQ(RtlAppendUnicodeStringToString(&room.string, &room.string), STATUS_BUFFER_TOO_SMALL);
    WideBuffer self(16);
    RtlAppendUnicodeToString(&self.string, u"xy");
    EXPECT_EQ(RtlAppendUnicodeStringToString(&self.string, &self.string), STATUS_SUCCESS);
    EXPECT_EQ(self.Text(), u"xyxy");

    UNICODE_STRING empty{0, 0, nullptr};
    EXPECT_EQ(RtlAppendUnicodeStringToString(&exact.string, &empty), STATUS_SUCCESS);
    EXPECT_EQ(exact.string.Length, 8);
}

TEST(UnicodeString, AppendRefusesMalformedStrings)
{
    WideBuffer target(16);
    UNICODE_STRING oddSource{3, 4, target.storage.data()};
    EXPECT_EQ(RtlAppendUnicodeStringToString(&target.string, &oddSource), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(RtlAppendUnicodeStringToString(&target.string, nullptr), STATUS_INVALID_PARAMETER);
    UNICODE_STRING noBuffer{0, 8, nullptr};
    EXPECT_EQ(RtlAppendUnicodeToString(&noBuffer, u"a"), STATUS_INVALID_PARAMETER);
    UNICODE_STRING tooLong{10, 8, target.storage.data()};
    EXPECT_EQ(RtlAppendUnicodeToString(&tooLong, u"a"), STATUS_INVALID_PARAMETER);
    UNICODE_STRING oddTarget{1, 8, target.storage.data()};
    EXPECT_EQ(RtlAppendUnicodeToString(&oddTarget, u"a"), STATUS_INVALID_PARAMETER);
}

TEST(UnicodeString, AppendZeroTerminatedText)
{
    WideBuffer target(8);
    EXPECT_EQ(RtlAppendUnicodeToString(&target.string, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(RtlAppendUnicodeToString(&target.string, u"abcd"), STATUS_SUCCESS);
    EXPECT_EQ(target.Text(), u"abcd");
    EXPECT_EQ(RtlAppendUnicodeToString(&target.string, u"e"), STATUS_BUFFER_TOO_SMALL);
    // A source far longer than the room is refused without reading it to its end.
    const std::u16string huge(100000, u'z');
    WideBuffer small(6);
    EXPECT_EQ(RtlAppendUnicodeToString(&small.string, huge.c_str()), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(small.string.Length, 0);
}

TEST(UnicodeString, CompareAndEqual)
{
    UNICODE_STRING abc = View(u"abc");
    UNICODE_STRING abcd = View(u"abcd");
    UNICODE_STRING upper = View(u"ABC");
    EXPECT_LT(RtlCompareUnicodeString(&abc, &abcd, FALSE), 0);
    EXPECT_GT(RtlCompareUnicodeString(&abcd, &abc, FALSE), 0);
    EXPECT_EQ(RtlCompareUnicodeString(&abc, &upper, FALSE), u'a' - u'A');
    EXPECT_EQ(RtlCompareUnicodeString(&abc, &upper, TRUE), 0);
    EXPECT_TRUE(RtlEqualUnicodeString(&abc, &upper, TRUE));
    EXPECT_FALSE(RtlEqualUnicodeString(&abc, &upper, FALSE));
    EXPECT_FALSE(RtlEqualUnicodeString(&abc, &abcd, TRUE));

    UNICODE_STRING latin = View(u"\u00E4\u00F8\u00FF\u0101\u013A\u03C3\u0436\u0451");
    UNICODE_STRING capitals = View(u"\u00C4\u00D8\u0178\u0100\u0139\u03A3\u0416\u0401");
    EXPECT_TRUE(RtlEqualUnicodeString(&latin, &capitals, TRUE));
    UNICODE_STRING division = View(u"\u00F7");
    UNICODE_STRING times = View(u"\u00D7");
    EXPECT_FALSE(RtlEqualUnicodeString(&division, &times, TRUE));

    // Counted, not terminated: only Length bytes take part.
    UNICODE_STRING prefix{4, 8, abcd.Buffer};
    UNICODE_STRING ab = View(u"ab");
    EXPECT_TRUE(RtlEqualUnicodeString(&prefix, &ab, FALSE));

    auto breaches = TakeQuietly([&] {
        UNICODE_STRING empty{0, 0, nullptr};
        EXPECT_TRUE(RtlEqualUnicodeString(nullptr, &empty, FALSE));
    });
    EXPECT_EQ(breaches.size(), 1u);
}

TEST(UnicodeString, IntegerToText)
{
    WideBuffer text(22);
    EXPECT_EQ(RtlIntegerToUnicodeString(1234, 0, &text.string), STATUS_SUCCESS);
    EXPECT_EQ(text.Text(), u"1234");
    EXPECT_EQ(text.storage[4], u'\0');
    EXPECT_EQ(RtlIntegerToUnicodeString(0, 10, &text.string), STATUS_SUCCESS);
    EXPECT_EQ(text.Text(), u"0");
    EXPECT_EQ(RtlIntegerToUnicodeString(0xFFFFFFFF, 16, &text.string), STATUS_SUCCESS);
    EXPECT_EQ(text.Text(), u"FFFFFFFF");
    EXPECT_EQ(RtlIntegerToUnicodeString(8, 8, &text.string), STATUS_SUCCESS);
    EXPECT_EQ(text.Text(), u"10");
    EXPECT_EQ(RtlIntegerToUnicodeString(5, 3, &text.string), STATUS_INVALID_PARAMETER);

    WideBuffer binary(66); // 32 digits and the terminator
    EXPECT_EQ(RtlIntegerToUnicodeString(0xFFFFFFFF, 2, &binary.string), STATUS_SUCCESS);
    EXPECT_EQ(binary.Text(), std::u16string(32, u'1'));

    WideBuffer exact(10); // four digits and the terminator
    EXPECT_EQ(RtlIntegerToUnicodeString(4321, 10, &exact.string), STATUS_SUCCESS);
    WideBuffer noTerminator(8);
    EXPECT_EQ(RtlIntegerToUnicodeString(4321, 10, &noTerminator.string), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(noTerminator.string.Length, 0);
    EXPECT_EQ(noTerminator.storage[0], u'#');
}

TEST(UnicodeString, TextToInteger)
{
    auto parse = [](const char16_t* text, ULONG base, NTSTATUS expected = STATUS_SUCCESS) {
        UNICODE_STRING s = View(text);
        ULONG value = 0xDEADBEEF;
        EXPECT_EQ(RtlUnicodeStringToInteger(&s, base, &value), expected) << std::u16string(text).size();
        return value;
    };
    EXPECT_EQ(parse(u"  \t-42", 0), static_cast<ULONG>(-42));
    EXPECT_EQ(parse(u"+17", 10), 17u);
    EXPECT_EQ(parse(u"0x1F", 0), 31u);
    EXPECT_EQ(parse(u"0x1F", 16), 0u); // prefixes only with base 0
    EXPECT_EQ(parse(u"0b101", 0), 5u);
    EXPECT_EQ(parse(u"0o17", 0), 15u);
    EXPECT_EQ(parse(u"17", 8), 15u);
    EXPECT_EQ(parse(u"ff", 16), 255u);
    EXPECT_EQ(parse(u"12abc", 10), 12u);
    EXPECT_EQ(parse(u"", 10), 0u);
    EXPECT_EQ(parse(u"4294967297", 10), 1u); // wraps modulo 2^32 as on Windows
    EXPECT_EQ(parse(u"1", 7, STATUS_INVALID_PARAMETER), 0xDEADBEEFu);

    UNICODE_STRING counted = View(u"1234");
    counted.Length = 4;
    ULONG value = 0;
    EXPECT_EQ(RtlUnicodeStringToInteger(&counted, 10, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 12u);
    EXPECT_EQ(RtlUnicodeStringToInteger(&counted, 10, nullptr), STATUS_ACCESS_VIOLATION);
    EXPECT_EQ(RtlUnicodeStringToInteger(nullptr, 10, &value), STATUS_INVALID_PARAMETER);
}
