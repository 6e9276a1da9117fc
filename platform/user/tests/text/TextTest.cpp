// Text calls: code-page conversions, upper-casing, the lstr calls and formatting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "um/stdio.h"
#include "um/windows.h"

namespace {

TEST(MultiByteToWideChar, EuroSignOfTheAnsiCodePageWithItsZero)
{
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", -1, nullptr, 0), 2);
    WCHAR out[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", -1, out, 4), 2);
    EXPECT_EQ(out[0], u'\x20AC');
    EXPECT_EQ(out[1], u'\0');
    EXPECT_EQ(out[2], u'x');
    // The thread's code page is the same one; so is 1252 named outright.
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, "\x9F\xE9", 2, out, 4), 2);
    EXPECT_EQ(out[0], u'\x0178');
    EXPECT_EQ(out[1], u'\x00E9');
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x81", 1, out, 4), 1);
    EXPECT_EQ(out[0], u'\x0081');
}

TEST(MultiByteToWideChar, ExplicitLengthCarriesNoZeroAndShortBuffersFail)
{
    WCHAR out[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, out, 3), 3);
    EXPECT_EQ(std::u16string(out, 3), u"abc");
    SetLastError(0);
    WCHAR small[2] = {u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[0], u'x');
}

TEST(MultiByteToWideChar, BadArgumentsAndFlags)
{
    WCHAR out[4];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 0, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", -2, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_COMPOSITE, "a", 1, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, out, 4), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
}

TEST(MultiByteToWideChar, Utf8WithAndWithoutStrictness)
{
    WCHAR out[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE4\xB8\x80\xF0\x9F\x98\x80", 7, out, 8), 3);
    EXPECT_EQ(std::u16string(out, 3), u"\x4E00\xD83D\xDE00");
    // Each bad byte becomes U+FFFD; the good ones around it convert.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF" "b\xC3", 4, out, 8), 4);
    EXPECT_EQ(std::u16string(out, 4), u"a\xFFFD" u"b\xFFFD");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, out, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    // A long run of bad bytes: one replacement each, the text after them intact.
    std::string bad(1 << 18, '\xFF');
    bad += "ok";
    std::u16string wide(bad.size(), u'\0');
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad.data(), static_cast<int>(bad.size()), wide.data(),
                                  static_cast<int>(wide.size())),
              static_cast<int>(bad.size()));
    EXPECT_EQ(wide.substr(wide.size() - 3), u"\xFFFDok");
    EXPECT_EQ(std::count(wide.begin(), wide.end(), u'\xFFFD'), 1 << 18);
}

TEST(WideCharToMultiByte, UnmappedCharacterTakesTheDefault)
{
    char out[8] = {};
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\x4E00", -1, out, 8, nullptr, &used), 2);
    EXPECT_STREQ(out, "?");
    EXPECT_EQ(used, TRUE);
    // A real question mark is no default.
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"?\x20AC", 2, out, 8, nullptr, &used), 2);
    EXPECT_EQ(std::string(out, 2), "?\x80");
    EXPECT_EQ(used, FALSE);
    const char star = '*';
    EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, u"a\x0416", 2, out, 8, &star, &used), 2);
    EXPECT_EQ(std::string(out, 2), "a*");
    EXPECT_EQ(used, TRUE);
}

TEST(WideCharToMultiByte, SizeQueryShortBufferAndUtf8Rules)
{
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, nullptr, 0, nullptr, nullptr), 4);
    char out[8] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, out, 8, nullptr, nullptr), 4);
    EXPECT_STREQ(out, "\xE2\x82\xAC");
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, out, 8, nullptr, &used), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\xD800", 1, out, 8, nullptr, nullptr), 3);
    EXPECT_EQ(std::string(out, 3), "\xEF\xBF\xBD");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xD800", 1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, u"a", 1, out, 8, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FLAGS));
}

TEST(CharUpper, TextBuffersAndSingleCharacters)
{
    char text[] = "video \xE9t\xE9 \xFF \xB5";
    EXPECT_EQ(CharUpperA(text), text);
    // 0xFF is ÿ, whose upper case Ÿ is 0x9F; µ's upper case (Greek Mu) is not in the code page.
    EXPECT_STREQ(text, "VIDEO \xC9T\xC9 \x9F \xB5");
    WCHAR wide[] = u"stra\x00DF" u"e \x03B1\x0436";
    CharUpperW(wide);
    EXPECT_EQ(std::u16string(wide), u"STRA\x00DF" u"E \x0391\x0416");
    char buffer[4] = {'a', '\0', 'b', 'c'};
    EXPECT_EQ(CharUpperBuffA(buffer, 3), DWORD(3));
    EXPECT_EQ(std::string(buffer, 4), std::string("A\0Bc", 4));
    WCHAR wideBuffer[2] = {u'q', u'r'};
    EXPECT_EQ(CharUpperBuffW(wideBuffer, 1), DWORD(1));
    EXPECT_EQ(wideBuffer[1], u'r');
    EXPECT_EQ(wideBuffer[0], u'Q');
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(reinterpret_cast<LPSTR>(uintptr_t('q')))), uintptr_t('Q'));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperW(reinterpret_cast<LPWSTR>(uintptr_t(0x3B1)))), uintptr_t(0x391));
}

TEST(Lstr, LengthsComparisonsAndCopies)
{
    EXPECT_EQ(lstrlenA("Video"), 5);
    EXPECT_EQ(lstrlenW(u"Video"), 5);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrcmpiA("video proc amp", "Video Proc Amp"), 0);
    EXPECT_EQ(lstrcmpiW(u"\x00E9t\x00E9", u"\x00C9T\x00C9"), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
    EXPECT_NE(lstrcmpA("video", "Video"), 0);
    EXPECT_LT(lstrcmpA("video", "Video"), 0);
    EXPECT_LT(lstrcmpA("a", "B"), 0);
    EXPECT_LT(lstrcmpA("b", "B"), 0);
    EXPECT_LT(lstrcmpA("B", "c"), 0);
    EXPECT_EQ(lstrcmpW(u"same", u"same"), 0);
    EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
    EXPECT_EQ(lstrcmpiA(nullptr, nullptr), 0);

    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(lstrcpynA(out, "Device", 4), out);
    EXPECT_STREQ(out, "Dev");
    WCHAR wide[8];
    EXPECT_EQ(lstrcpynW(wide, u"ab", 8), wide);
    EXPECT_EQ(std::u16string(wide), u"ab");
    EXPECT_EQ(lstrcpynA(out, "a", 0), nullptr);
    EXPECT_EQ(out[0], 'D');
}

TEST(Wsprintf, WideTextIntoNarrowAndTheCap)
{
    char out[1100];
    EXPECT_EQ(wsprintfA(out, "%lsVideo Device %d", u"Test ", 1), 19);
    EXPECT_STREQ(out, "Test Video Device 1");
    WCHAR wide[64];
    EXPECT_EQ(wsprintfW(wide, u"%s (%S%d)", u"Composite", "Board ", 2), 19);
    EXPECT_EQ(std::u16string(wide), u"Composite (Board 2)");
    EXPECT_EQ(wsprintfA(out, "%04x|%-3d|%c", 0xAB, 7, 'z'), 10);
    EXPECT_STREQ(out, "00ab|7  |z");
    // 1,024 characters at most with the zero.
    const std::string longText(2000, 'q');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::string(out), longText.substr(0, 1023));
    // No floating point: the letter stands and the next conversion takes the next argument.
    EXPECT_EQ(wsprintfA(out, "%0.2f|%d", 5), 3);
    EXPECT_STREQ(out, "f|5");
}

TEST(Snprintf, FloatingPointAndTheCountRule)
{
    char out[16];
    EXPECT_EQ(_snprintf(out, sizeof out, "%0.2f dB", -25.5), 9);
    EXPECT_STREQ(out, "-25.50 dB");
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(_snprintf(small, 4, "%s", "abcd"), 4);
    EXPECT_EQ(std::string(small, 4), "abcd");
    EXPECT_EQ(_snprintf(small, 4, "%s", "abcde"), -1);
    WCHAR wide[16];
    EXPECT_EQ(_snwprintf(wide, 16, u"%ls-%d", u"pin", 3), 5);
    EXPECT_EQ(std::u16string(wide), u"pin-3");
}

} // namespace
