// The _snprintf family's return convention at the exact boundary, wide output, and refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "km/format.h"
#include "standin/format.h"
#include "standin/verifier.h"

namespace {

constexpr char kUntouched = '#';

struct NarrowResult {
    int result;
    std::string stored; // the whole buffer, sentinel bytes included
};

// Formats "abcde" (5 characters) into a count-sized window of a larger buffer filled with '#'.
NarrowResult FormatFive(size_t count)
{
    char buffer[16];
    std::memset(buffer, kUntouched, sizeof buffer);
    const int result = _snprintf(buffer, count, "%s%c", "abcd", 'e');
    return {result, std::string(buffer, 8)};
}

} // namespace

TEST(Snprintf, NarrowBoundaryConvention)
{
    auto fits = FormatFive(6); // length < count: terminated
    EXPECT_EQ(fits.result, 5);
    EXPECT_EQ(fits.stored, std::string("abcde\0##", 8));
    auto exact = FormatFive(5); // length == count: stored whole, not terminated
    EXPECT_EQ(exact.result, 5);
    EXPECT_EQ(exact.stored, "abcde###");
    auto over = FormatFive(4); // length > count: count characters, not terminated, -1
    EXPECT_EQ(over.result, -1);
    EXPECT_EQ(over.stored, "abcd####");
    auto none = FormatFive(0);
    EXPECT_EQ(none.result, -1);
    EXPECT_EQ(none.stored, "########");
}

TEST(Snprintf, EmptyTextAndMeasuring)
{
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(_snprintf(buffer, 0, "%s", ""), 0); // length == count == 0: nothing stored
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(_snprintf(buffer, 1, "%s", ""), 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(_snprintf(nullptr, 0, "%d-%s", 1234, "xyz"), 8);
    // A width far beyond the buffer is measured and cut without writing it out.
    EXPECT_EQ(_snprintf(nullptr, 0, "%100000d", 1), 100000);
    char small[8];
    EXPECT_EQ(_snprintf(small, sizeof small, "%2000000000d", 1), -1);
    EXPECT_EQ(std::string(small, sizeof small), "        ");
}

TEST(Snprintf, InvalidArgumentsAreRefused)
{
    standin::VerifierSetEcho(false);
    char buffer[8] = "#######";
    EXPECT_EQ(_snprintf(nullptr, 4, "abc"), -1);
    EXPECT_EQ(_snprintf(buffer, sizeof buffer, nullptr), -1);
    EXPECT_EQ(_snwprintf(nullptr, 4, u"abc"), -1);
    EXPECT_STREQ(buffer, "#######");
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 3u);
    for (const auto& breach : breaches)
        EXPECT_EQ(breach.rule, "format");
}

TEST(Snprintf, WideBoundaryConventionCountsCharacters)
{
    char16_t buffer[8];
    auto reset = [&] { std::fill(std::begin(buffer), std::end(buffer), u'#'); };
    reset();
    EXPECT_EQ(_snwprintf(buffer, 4, u"%d", 123), 3);
    EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"123\0#", 5));
    reset();
    EXPECT_EQ(_snwprintf(buffer, 3, u"%d", 123), 3);
    EXPECT_EQ(std::u16string(buffer, 5), u"123##");
    reset();
    EXPECT_EQ(_snwprintf(buffer, 2, u"%d", 123), -1);
    EXPECT_EQ(std::u16string(buffer, 5), u"12###");
    EXPECT_EQ(_snwprintf(nullptr, 0, u"%ls%d", u"Input", 12), 7);
}

TEST(Snprintf, WideOutputSwapsTheMeaningOfS)
{
    // In wide output %s and %c are wide, %S, %hs, %C and %hc narrow; %ls and %ws stay wide.
    EXPECT_EQ(standin::Format(u"%s|%S|%hs|%ls|%ws", u"w\u4E2D", "n\x80", "n", u"l", u"w"), u"w\u4E2D|n\u20AC|n|l|w");
    EXPECT_EQ(standin::Format(u"%c%C%hc%lc", u'\u4E2D', '\x80', 'h', u'l'), u"\u4E2D\u20ACh" u"l");
    EXPECT_EQ(standin::Format(u"%.3s|%.2hs|%-4S|", u"abcdef", "abcdef", "ab"), u"abc|ab|ab  |");
    EXPECT_EQ(standin::Format(u"%lsVideo Device %d", u"Framecap HD ", 3), u"Framecap HD Video Device 3");
    EXPECT_EQ(standin::Format(u"0x%p %I64u %08x %s", reinterpret_cast<void*>(uintptr_t{0xAB}), uint64_t{1} << 63,
                              0xFFu, nullptr),
              u"0x00000000000000AB 9223372036854775808 000000ff (null)");
    EXPECT_EQ(standin::Format(u"%0.2f %e", 0.125, 1e100), u"0.13 1.000000e+100");
    char ansiText[] = "caf\xE9";
    ANSI_STRING ansi{4, 4, ansiText};
    char16_t wideText[] = u"\u4E2Dx";
    UNICODE_STRING unicode{4, 4, wideText};
    EXPECT_EQ(standin::Format(u"%Z %wZ", &ansi, &unicode), u"caf\u00E9 \u4E2Dx");
}

TEST(Snprintf, ThreadsFormatIndependently)
{
    // The formatter keeps no state between calls: lines formatted at once on many threads (as the
    // trace facility does from any thread) come out whole and with their own values.
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 2000; ++i) {
                char narrow[64];
                const int length = _snprintf(narrow, sizeof narrow, "%02d:%06d %ls %.2f", t, i, u"line", i / 4.0);
                const std::string expected = std::to_string(t + 100).substr(1) + ":" +
                                             std::to_string(i + 1000000).substr(1) + " line " +
                                             standin::Format("%.2f", i / 4.0);
                if (length < 0 || std::string(narrow, static_cast<size_t>(length)) != expected)
                    ++mismatches[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(8, 0));
}
