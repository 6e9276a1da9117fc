// Every conversion the driver's format strings use, against the text Windows prints for it,
// through _snprintf and standin::Format (which must agree).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <limits>

#include "km/format.h"
#include "standin/format.h"
#include "standin/verifier.h"

namespace {

std::string Narrow(const char* format, ...)
{
    char buffer[1024];
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = _vsnprintf(buffer, sizeof buffer, format, args);
    const std::string formatted = standin::FormatV(format, again);
    va_end(again);
    va_end(args);
    EXPECT_GE(length, 0) << format;
    const std::string text(buffer, length < 0 ? 0 : static_cast<size_t>(length));
    EXPECT_EQ(text, formatted) << format;
    return text;
}

} // namespace

TEST(FormatConversions, TraceLinePrefixAndCommonIntegers)
{
    EXPECT_EQ(Narrow("%02d:%02d:%02d.%03d 0x%p 0x%p %06d %s %s %s: ", 9, 5, 3, 7,
                     reinterpret_cast<void*>(uintptr_t{0x7FFE1234ABCD}), nullptr, 42, "H", "Device.cpp",
                     "Device::OnStart"),
              "09:05:03.007 0x00007FFE1234ABCD 0x0000000000000000 000042 H Device.cpp Device::OnStart: ");
    EXPECT_EQ(Narrow("%08x|%08X|%04x|%02x", 0xABCu, 0xBEEFu, 0x1u, 0x1FFu), "00000abc|0000BEEF|0001|1ff");
    EXPECT_EQ(Narrow("%08x", -1), "ffffffff");
    EXPECT_EQ(Narrow("%8.8X", 0xBEEFu), "0000BEEF");
    EXPECT_EQ(Narrow("%d|%d|%u", INT_MIN, INT_MAX, -1), "-2147483648|2147483647|4294967295");
    EXPECT_EQ(Narrow("%02d.%02d", 5, 7), "05.07");
    EXPECT_EQ(Narrow("%d.%d.%d.%d", 2, 1, 62, 0), "2.1.62.0");
    EXPECT_EQ(Narrow("%d%%", 50), "50%");
    EXPECT_EQ(Narrow("%c%c%c", 'a', 'b', 'c'), "abc");
}

TEST(FormatConversions, SizePrefixesFollowWindowsWidths)
{
    EXPECT_EQ(Narrow("%I64u", std::numeric_limits<uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(Narrow("%I64d", std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(Narrow("%I64x", uint64_t{0x123456789ABCDEF0}), "123456789abcdef0");
    EXPECT_EQ(Narrow("%llX", uint64_t{0x123456789ABCDEF0}), "123456789ABCDEF0");
    EXPECT_EQ(Narrow("%Ix", size_t{0x123456789}), "123456789"); // I alone is pointer-sized
    // l and I32 are 32 bits: of a 64-bit argument only the low half is read.
    EXPECT_EQ(Narrow("%lx %lu", uint64_t{0x100000005}, uint64_t{0x100000006}), "5 6");
    EXPECT_EQ(Narrow("%I32x", uint64_t{0x123456789ABCDEF0}), "9abcdef0");
    EXPECT_EQ(Narrow("%hd|%hu|%hhd|%hhu", 65535, 65536 + 5, 255, 256 + 7), "-1|5|-1|7");
    // Arguments after a 64-bit one are read from the right place.
    EXPECT_EQ(Narrow("%s FN=%I64u, PID=%d", "Video", uint64_t{1} << 40, 3), "Video FN=1099511627776, PID=3");
}

TEST(FormatConversions, PointersAreSixteenUpperCaseDigits)
{
    auto* p = reinterpret_cast<void*>(uintptr_t{0xDEADBEEF});
    EXPECT_EQ(Narrow("%p", p), "00000000DEADBEEF");
    EXPECT_EQ(Narrow("0x%08p", p), "0x00000000DEADBEEF"); // precision is always the full width
    EXPECT_EQ(Narrow("%#p", p), "0X00000000DEADBEEF");
    EXPECT_EQ(Narrow("%20p|", p), "    00000000DEADBEEF|");
}

TEST(FormatConversions, FlagsWidthAndPrecision)
{
    EXPECT_EQ(Narrow("%-10s|%10s|", "abc", "abc"), "abc       |       abc|");
    EXPECT_EQ(Narrow("%05s", "ab"), "000ab"); // the runtime zero-pads text too
    EXPECT_EQ(Narrow("%*d|%*d|", 5, 42, -5, 42), "   42|42   |");
    EXPECT_EQ(Narrow("%.*d|%.*d", 4, 7, -1, 7), "0007|7");
    EXPECT_EQ(Narrow("%*.*f", 8, 2, 3.14159), "    3.14");
    EXPECT_EQ(Narrow("%+d|% d|%+ d|%+u", 5, 5, 5, 5u), "+5| 5|+5|5");
    EXPECT_EQ(Narrow("%05d|%-05d|%05.3d", -42, 42, 7), "-0042|42   |  007");
    EXPECT_EQ(Narrow("%#x|%#x|%#X|%#o|%#o", 0u, 255u, 255u, 8u, 0u), "0|0xff|0XFF|010|0");
    EXPECT_EQ(Narrow("[%.0d][%5.0d][%#.0o]", 0, 0, 0u), "[][     ][0]");
}

TEST(FormatConversions, NarrowAndWideTextIntoNarrowOutput)
{
    const char16_t* text = u"Gr\u00FC\u00DFe \u20AC \u4E2D";
    EXPECT_EQ(Narrow("%ls", text), "Gr\xFC\xDF" "e \x80 ?"); // code page 1252, '?' when unmapped
    EXPECT_EQ(Narrow("%S|%ws|%hs|%s", u"wide", u"wide", "narrow", "narrow"), "wide|wide|narrow|narrow");
    EXPECT_EQ(Narrow("%.3s|%.3ls|%.3S", "abcdef", u"abcdef", u"abcdef"), "abc|abc|abc");
    EXPECT_EQ(Narrow("%-6ws|%6ls|", u"ab", u"ab"), "ab    |    ab|");
    EXPECT_EQ(Narrow("%s|%ls|%.2s", nullptr, nullptr, nullptr), "(null)|(null)|(n");
    EXPECT_EQ(Narrow("%ls\\%ls%d\\%ls", u"VideoInputs", u"Input", 2, u"VideoPins"), "VideoInputs\\Input2\\VideoPins");
    EXPECT_EQ(Narrow("%C|%lc|%wc|%hc|%c", u'\u20AC', u'\u4E2D', u'x', 'y', 'z'), "\x80|?|x|y|z");
}

TEST(FormatConversions, CountedStrings)
{
    char ansiText[] = "abcdef";
    ANSI_STRING ansi{3, 7, ansiText};
    char16_t wideText[] = u"\u00C4bcdef";
    UNICODE_STRING unicode{5, 14, wideText}; // an odd byte length prints the whole characters only
    EXPECT_EQ(Narrow("[%Z][%wZ][%8wZ]", &ansi, &unicode, &unicode), "[abc][\xC4" "b][      \xC4" "b]");
    EXPECT_EQ(Narrow("%.1Z", &ansi), "abc"); // precision does not apply
    UNICODE_STRING empty{0, 0, nullptr};
    EXPECT_EQ(Narrow("%Z|%wZ", nullptr, &empty), "(null)|(null)");
}

TEST(FormatConversions, FloatingPointFollowsTheWindowsRuntime)
{
    EXPECT_EQ(Narrow("%0.2f dB|%2.2f|%f", -6.02, 3.14159, 1.5), "-6.02 dB|3.14|1.500000");
    // Ties round away from zero on the decimal digits (glibc rounds these to even).
    EXPECT_EQ(Narrow("%.2f|%.0f|%.0f|%.1f", 0.125, 0.5, 2.5, 0.25), "0.13|1|3|0.3");
    // At most 17 significant digits; the rest print as zeros.
    EXPECT_EQ(Narrow("%f", 1e23), "99999999999999992000000.000000");
    EXPECT_EQ(Narrow("%.20f", 0.1), "0.10000000000000001000");
    // Exponents have at least three digits.
    EXPECT_EQ(Narrow("%e|%E|%.2e|%e", 12345.678, 12345.678, 9.999, 0.0),
              "1.234568e+004|1.234568E+004|1.00e+001|0.000000e+000");
    EXPECT_EQ(Narrow("%g|%g|%g|%g|%g|%G", 0.0001, 0.00001, 123456.0, 1234567.0, 100.0, 1e-10),
              "0.0001|1e-005|123456|1.23457e+006|100|1E-010");
    EXPECT_EQ(Narrow("%#g|%#.0f|%#.0e|%g", 1.5, 2.0, 2.0, 0.0), "1.50000|2.|2.e+000|0");
    EXPECT_EQ(Narrow("%+.1f|% .1f|%08.2f|%-8.2f|", 1.25, 1.25, -3.5, 3.5), "+1.3| 1.3|-0003.50|3.50    |");
    EXPECT_EQ(Narrow("%.1f", 9.96), "10.0"); // a carry out of the first digit
}

TEST(FormatConversions, ValuesThatAreNotFinite)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Narrow("%f|%f|%e|%g", inf, -inf, inf, inf), "1.#INF00|-1.#INF00|1.#INF00e+000|1.#INF");
    EXPECT_EQ(Narrow("%.2f", inf), "1.#J"); // the runtime rounds the marker like digits
    EXPECT_EQ(Narrow("%f", std::numeric_limits<double>::quiet_NaN()), "1.#QNAN0");
    EXPECT_EQ(Narrow("%f", -std::numeric_limits<double>::quiet_NaN()), "-1.#IND00");
    EXPECT_EQ(Narrow("%f", std::numeric_limits<double>::signaling_NaN()), "1.#SNAN0");
}

TEST(FormatConversions, OddFormatsPrintAsTheRuntimePrintsThem)
{
    EXPECT_EQ(Narrow("%%|%y|%-5y|%Is|abc%"), "%|y|y|Is|abc");
    EXPECT_EQ(Narrow("%w"), ""); // the format ends inside a conversion
    EXPECT_EQ(Narrow("%Lf|%wd", 2.5, 4), "2.500000|4");
}

TEST(FormatConversions, PercentNIsRefused)
{
    standin::VerifierSetEcho(false);
    int written = 1234;
    char buffer[16] = {};
    EXPECT_EQ(_snprintf(buffer, sizeof buffer, "ab%ncd", &written), -1);
    EXPECT_EQ(standin::Format("ab%ncd", &written), "ab");
    EXPECT_EQ(written, 1234);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "format");
}
