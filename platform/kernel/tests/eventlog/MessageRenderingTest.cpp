// Rendering of event-log entries: message-file inserts and escapes, the driver's %2-based messages
// through a registered table, messages the table lacks, and the log as text lines.
#include <gtest/gtest.h>

#include "EventLogTestSupport.h"
#include "km/time.h"
#include "platform/Clock.h"
#include "standin/eventlog.h"
#include "standin/system.h"

using eventlogtest::EventLogTest;
using eventlogtest::TestDriver;
using standin::FormatEventMessage;

namespace {

const standin::MessageTableEntry kTable[] = {
    {0x40070000, "Device %2 is starting\r\n"},
    {0xC0071019, "Attempt to open file [%2] failed.  Status returned was %3.\r\n"},
    {0xC0071017, "Unlock requested by %2 failed.  Lock is held by %3.%n%1 keeps going.\r\n"},
    {0x00000000, "Setup of %1 failed%0 and this is never seen"},
};

class RenderingTest : public EventLogTest {
protected:
    void SetUp() override
    {
        EventLogTest::SetUp();
        standin::RegisterMessageTable("FRAMECAP", kTable, std::size(kTable));
    }
    void TearDown() override { standin::UnregisterMessageTable("Framecap"); }

    std::string RenderLast()
    {
        const auto entries = standin::EventLogEntries();
        return entries.empty() ? "(none)" : standin::RenderEventLogEntry(entries.back());
    }

    TestDriver driver{u"\\Driver\\Framecap"};
};

} // namespace

TEST_F(RenderingTest, PacketStringsBecomePercentTwoOnwardAndTheObjectIsPercentOne)
{
    eventlogtest::Log(&driver.object, 0xC0071019, {u"C:\\Drivers\\dsp.img", u"0xC0000034"});
    EXPECT_EQ(RenderLast(),
              "Attempt to open file [C:\\Drivers\\dsp.img] failed.  Status returned was 0xC0000034.\r\n");
    eventlogtest::Log(&driver.object, 0x40070000, {u"Framecap HD 1"});
    EXPECT_EQ(RenderLast(), "Device Framecap HD 1 is starting\r\n");
    eventlogtest::Log(&driver.object, 0xC0071017, {u"Open", u"Close"});
    EXPECT_EQ(RenderLast(),
              "Unlock requested by Open failed.  Lock is held by Close.\r\nFramecap keeps going.\r\n");
}

TEST_F(RenderingTest, MessageIdZeroIsAcceptedAndRenderedFromTheTable)
{
    eventlogtest::Log(&driver.object, 0, {});
    EXPECT_EQ(RenderLast(), "Setup of Framecap failed");
    standin::UnregisterMessageTable("framecap");
    EXPECT_EQ(RenderLast(),
              "The description for Event ID 0x00000000 from source Framecap cannot be found. The "
              "following information was included with the event:\r\nFramecap");
}

TEST_F(RenderingTest, AMessageTheTableLacksShowsTheIdSourceAndInserts)
{
    eventlogtest::Log(&driver.object, 0xC0071FFF, {u"first", u""});
    EXPECT_EQ(RenderLast(),
              "The description for Event ID 0xC0071FFF from source Framecap cannot be found. The "
              "following information was included with the event:\r\nFramecap\r\nfirst\r\n");
    TestDriver other(u"\\Driver\\Other");
    eventlogtest::Log(&other.object, 0x40070000, {u"x"});
    EXPECT_EQ(RenderLast().substr(0, 62), "The description for Event ID 0x40070000 from source Other cann");
}

TEST(MessageText, EscapesOfMessageFiles)
{
    EXPECT_EQ(FormatEventMessage("100%% done%n%tnext%rX%bY% Z%.%!", {}), "100% done\r\n\tnext\rX Y Z.!");
    EXPECT_EQ(FormatEventMessage("abc%0def", {}), "abc");
    EXPECT_EQ(FormatEventMessage("ends with %", {}), "ends with %");
    EXPECT_EQ(FormatEventMessage("%q is itself", {}), "q is itself");
}

TEST(MessageText, InsertsByNumberWithAndWithoutPrintfSpecifications)
{
    const std::vector<std::u16string> inserts = {u"255", u"abc", u"notnum", u"0x1F", u"-5", u"\u00e9"};
    EXPECT_EQ(FormatEventMessage("%1!d!|%1!5d!|%1!-5d!|%1!08X!|%1!#x!|%1!o!", inserts),
              "255|  255|255  |000000FF|0xff|377");
    EXPECT_EQ(FormatEventMessage("%2!s!|%2!5s!|%2!-5s!|%2!.2s!|%2!ws!|%2!c!", inserts),
              "abc|  abc|abc  |ab|abc|a");
    EXPECT_EQ(FormatEventMessage("%3!d!|%4!d!|%5!d!|%5!u!|%1!.1f!", inserts),
              "notnum|31|-5|18446744073709551611|255.0");
    EXPECT_EQ(FormatEventMessage("[%6]", inserts), "[\xC3\xA9]");
    // A conversion the stand-in cannot take shows the insert as it is; one that is not closed
    // is not a conversion.
    EXPECT_EQ(FormatEventMessage("%1!*d!|%1!1234d!|%1!p!|%1!d", inserts), "255|255|255|255!d");
}

TEST(MessageText, MissingInsertsStayAndInsertsAreNotReadForEscapes)
{
    EXPECT_EQ(FormatEventMessage("%1 %2 %3!d! %99", {u"a", u"%2%n"}), "a %2%n %3!d! %99");
    std::vector<std::u16string> twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.push_back(u"i" + std::u16string(1, char16_t(u'a' + i)));
    EXPECT_EQ(FormatEventMessage("%10|%12|%100|%1", twelve), "ik|im|ik0|ib");
}

TEST(MessageText, SeverityComesFromTheTopBits)
{
    EXPECT_STREQ(standin::EventSeverityName(0), "Success");
    EXPECT_STREQ(standin::EventSeverityName(0x40070005), "Information");
    EXPECT_STREQ(standin::EventSeverityName(0x80000005), "Warning");
    EXPECT_STREQ(standin::EventSeverityName(0xC0071019), "Error");
}

TEST_F(RenderingTest, TheWholeLogAsLinesWithLocalTimeAndContinuations)
{
    // 2024-05-01 13:04:05.067 UTC, with the clock held nearly still so the milliseconds stay put.
    constexpr int64_t kUnixEpoch = 116444736000000000LL;
    const int64_t time = kUnixEpoch + (1714521600LL + 13 * 3600 + 4 * 60 + 5) * 10000000LL + 670000;
    const LONGLONG savedBias = standin::TimeZoneBias();
    platform::Clock::SetSpeedFactor(1e-6);
    platform::Clock::SetSystemTime(time);
    standin::SetTimeZoneBias(-2 * 3600 * 10000000LL); // two hours east of Greenwich
    eventlogtest::Log(&driver.object, 0x40070000, {u"Framecap HD 1"});
    eventlogtest::Log(&driver.object, 0xC0071017, {u"Open", u"Close"});
    platform::Clock::SetSpeedFactor(1);
    const std::string text = standin::EventLogText();
    standin::SetTimeZoneBias(savedBias);

    EXPECT_EQ(text,
              "2024-05-01 15:04:05.067 Framecap Information 0x40070000 Device Framecap HD 1 is starting\n"
              "2024-05-01 15:04:05.067 Framecap Error 0xC0071017 Unlock requested by Open failed.  Lock is "
              "held by Close.\n\tFramecap keeps going.\n");
}
