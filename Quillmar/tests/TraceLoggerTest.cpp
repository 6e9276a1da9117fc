// TraceLogger: which levels print, the line's prefix and cut, dropped unprintable lines, the log
// file (created with its header, restarted after a new name, appended to after an unclean run,
// re-created when the append open fails), exact accounting of lines lost while the writer is
// stalled or many threads print, stop, and the event-log entries of TraceStatus.
#include "TraceTestSupport.h"

#include <atomic>
#include <regex>
#include <set>

#include "km/pool.h"
#include "standin/debugger.h"
#include "standin/eventlog.h"
#include "standin/filefaults.h"
#include "standin/pool.h"
#include "standin/verifier.h"
#include "messages/Talvexon.h"
#include "tracescope.h"

namespace {

using tracetest::TraceTest;
using tracetest::WaitUntil;

constexpr const char* kFile = "C:\\trace\\Source.cpp";

void Print(ULONG level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    TraceLogger::TraceV(TraceLogger::Instance(), reinterpret_cast<void*>(0x1234), "Owner::Method", kFile, 42, level,
                        format, args);
    va_end(args);
}

const std::regex kPrefix(R"(^\d\d:\d\d:\d\d\.\d{3} 0x[0-9A-F]{16} 0x[0-9A-F]{16} \d{6} [A-Z<>] \S+ \S+: )");

TEST_F(TraceTest, LinePrintsOnlyAtKnownLevelsWithAllBitsInTheMask)
{
    logger->SetTraceMask(0xFFFFFFFF);
    for (ULONG level : {0x0u, 0x3u, 0x20000u, 0x80000000u, 0x100000u})
        Print(level, "level %x", level);
    EXPECT_TRUE(standin::DebugOutput().empty());

    logger->SetTraceMask(kTraceAlways | kTraceHighs);
    Print(kTraceHighs, "high");
    Print(kTraceLows, "low");
    Print(kTraceAlways, "always");
    const auto out = standin::DebugOutput();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out[0].find(" H Source.cpp Owner::Method: high\n"), std::string::npos) << out[0];
    EXPECT_NE(out[1].find(" A Source.cpp Owner::Method: always\n"), std::string::npos) << out[1];
    EXPECT_TRUE(std::regex_search(out[0], kPrefix)) << out[0];
    EXPECT_NE(out[0].find("0x0000000000001234 000042"), std::string::npos) << out[0];

    logger->DisableOutput();
    Print(kTraceHighs, "hidden");
    EXPECT_EQ(standin::DebugOutput().size(), 2u);
}

TEST_F(TraceTest, ScopesPrintEntryAndExitAtPairedLevels)
{
    const std::pair<ULONG, char> pairs[] = {{kTraceLowEnter, '<'}, {kTraceEnter, '<'}, {kTraceHighEnter, '<'},
                                            {kTraceLocksEnter, '<'}};
    for (const auto& [entry, letter] : pairs) {
        standin::DebugOutputClear();
        logger->SetTraceMask(kTraceAlways | entry | TraceExitLevel(entry));
        {
            TraceScope scope(this, "A::B", "x\\y\\z.cpp", 7, entry, "n=%d", 5);
            EXPECT_TRUE(scope.Enabled());
        }
        const auto out = standin::DebugOutput();
        ASSERT_EQ(out.size(), 2u) << std::hex << entry;
        EXPECT_NE(out[0].find(" > z.cpp A::B: n=5\n"), std::string::npos) << out[0];
        // The exit line has no text and no closing ": ".
        EXPECT_NE(out[1].find(std::string(" ") + letter + " z.cpp A::B\n"), std::string::npos) << out[1];
    }
    // Without the entry bit neither line shows, even with the exit bit set.
    standin::DebugOutputClear();
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceExit);
    {
        TraceScope scope(this, "A::B", "z.cpp", 7, kTraceEnter);
        EXPECT_FALSE(scope.Enabled());
    }
    EXPECT_TRUE(standin::DebugOutput().empty());
    // Source paths from the build use '/': the line still shows the file name alone.
    logger->SetTraceMask(kTraceAlways | kTraceEnter);
    {
        TraceScope scope(this, "A::B", "/build/src/Quillmar/q.cpp", 7, kTraceEnter);
    }
    const auto out = standin::DebugOutput();
    ASSERT_FALSE(out.empty());
    EXPECT_NE(out[0].find(" > q.cpp A::B"), std::string::npos) << out[0];
    EXPECT_EQ(out[0].find("/build/"), std::string::npos) << out[0];
}

TEST_F(TraceTest, LongTextIsCutAndUnprintableLinesAreDropped)
{
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    const std::string longText(3000, 'x');
    Print(kTraceHighs, "%s", longText.c_str());
    Print(kTraceHighs, "tab\there");
    Print(kTraceHighs, "high byte \x80");
    Print(kTraceHighs, "last");
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("last\r\n") != std::string::npos; }));
    const std::string text = LogText();
    ASSERT_EQ(text.rfind("*****", 0), 0u);
    const size_t firstEnd = text.find("\r\n");
    EXPECT_EQ(firstEnd - 5, TraceLogger::kMaximumLineCharacters); // 1,998 characters, then CR LF
    EXPECT_EQ(text.find("tab"), std::string::npos);
    EXPECT_EQ(text.find("high byte"), std::string::npos);
    EXPECT_EQ(DebugLinesWith("tab").size(), 0u);
    // The two printed lines are whole and in order, each with the prefix.
    std::istringstream lines(text.substr(5));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        EXPECT_TRUE(std::regex_search(line, kPrefix)) << line.substr(0, 80);
        ++count;
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(logger->LastSequenceNumber(), 2u);
}

TEST_F(TraceTest, FileOnlyWithLogTraceToFileAndRestartedAfterNewName)
{
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    logger->SetTraceMask(kTraceAlways | kTraceHighs);
    Print(kTraceHighs, "debugger only");
    EXPECT_EQ(DebugLinesWith("debugger only").size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(LogExists());

    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    Print(kTraceHighs, "one");
    Print(kTraceHighs, "two");
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("two\r\n") != std::string::npos; }));
    EXPECT_TRUE(logger->FileCreated());

    // A new name (here the same file) starts the log anew with its header.
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    EXPECT_FALSE(logger->FileCreated());
    Print(kTraceHighs, "three");
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("three\r\n") != std::string::npos; }));
    const std::string text = LogText();
    EXPECT_EQ(text.rfind("*****", 0), 0u);
    EXPECT_EQ(text.find("one"), std::string::npos);
    EXPECT_EQ(text.find("*****", 1), std::string::npos);

    WCHAR name[TraceLogger::kLogFileNameCharacters];
    EXPECT_EQ(logger->GetLogFileName(name, TraceLogger::kLogFileNameCharacters), 20u);
    EXPECT_EQ(std::u16string(name), u"\\DosDevices\\C:\\t.log");
}

TEST_F(TraceTest, AfterUncleanRunTheLogIsAppendedAndAFailedAppendOpenRecreatesIt)
{
    {
        std::ofstream old(root / "C" / "t.log", std::ios::binary);
        old << "old run\r\n";
    }
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    logger->SetFileCreated(true);
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    Print(kTraceHighs, "appended");
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("appended\r\n") != std::string::npos; }));
    EXPECT_EQ(LogText().rfind("old run\r\n", 0), 0u);

    standin::InjectOpenFailure(u"C:\\t.log", STATUS_SHARING_VIOLATION, 1);
    Print(kTraceHighs, "recreated");
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("recreated\r\n") != std::string::npos; }));
    const std::string text = LogText();
    EXPECT_EQ(text.rfind("*****", 0), 0u);
    EXPECT_EQ(text.find("old run"), std::string::npos);
}

TEST_F(TraceTest, LinesLostWhileTheWriterIsStalledAreCountedExactly)
{
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    standin::StallWrites(u"C:\\t.log");
    Print(kTraceHighs, "line %d", 1);
    ASSERT_TRUE(standin::WaitForStalledWrites(1, std::chrono::seconds(10)));
    // The writer holds line 1; the ring takes 500 more; the next 19 are lost.
    for (int i = 2; i <= 520; ++i)
        Print(kTraceHighs, "line %d", i);
    standin::ReleaseStalledWrites();
    // The next line is printed once the ring has drained, so it is not lost itself.
    ASSERT_TRUE(WaitUntil([&] { return LogText().find(": line 501\r\n") != std::string::npos; }));
    Print(kTraceHighs, "line %d", 521);
    ASSERT_TRUE(WaitUntil([&] { return LogText().find("line 521\r\n") != std::string::npos; }));
    const std::string text = LogText();
    EXPECT_NE(text.find(": line 501\r\n***** 19 trace lines have been lost *****"), std::string::npos);
    EXPECT_EQ(text.find(": line 502\r\n"), std::string::npos);
    EXPECT_EQ(text.find(": line 520\r\n"), std::string::npos);
    size_t lost = 0;
    for (size_t at = text.find("lost"); at != std::string::npos; at = text.find("lost", at + 1))
        ++lost;
    EXPECT_EQ(lost, 1u);
}

TEST_F(TraceTest, ConcurrentPrintersAccountForEveryLine)
{
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                Print(kTraceHighs, "t%d n%d", t, i);
        });
    for (auto& thread : threads)
        thread.join();
    // A closing line printed while the ring is still full is lost too: print closing lines until
    // the last one reaches the file, so that every earlier line is written or counted in a gap.
    int closing = 0;
    for (bool written = false; !written;) {
        ++closing;
        ASSERT_LT(closing, 100);
        Print(kTraceHighs, "final %d", closing);
        const std::string wanted = "final " + std::to_string(closing) + "\r\n";
        written = WaitUntil([&] { return LogText().find(wanted) != std::string::npos; }, std::chrono::milliseconds(500));
    }
    const std::string text = LogText().substr(5);
    std::istringstream in(text);
    std::string line;
    std::set<std::string> seen;
    long written = 0;
    long lost = 0;
    const std::regex lostLine(R"(^\*\*\*\*\* (-?\d+) trace lines have been lost \*\*\*\*\*(.*)$)");
    while (std::getline(in, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        std::smatch m;
        if (std::regex_match(line, m, lostLine)) {
            const long gap = std::stol(m[1]);
            EXPECT_GT(gap, 0);
            lost += gap;
            line = m[2];
        }
        EXPECT_TRUE(std::regex_search(line, kPrefix)) << line;
        EXPECT_TRUE(seen.insert(line.substr(line.find(": ") + 2)).second) << line;
        ++written;
    }
    EXPECT_EQ(written + lost, kThreads * kLines + closing);
}

TEST_F(TraceTest, StopEndsTheWriterAndLaterPrintsDoNothing)
{
    ASSERT_EQ(logger->SetLogFileName(u"C:\\t.log"), STATUS_SUCCESS);
    logger->SetTraceMask(kTraceAlways | kTraceHighs | kTraceLogToFile);
    standin::StallWrites(u"C:\\t.log");
    for (int i = 0; i < 50; ++i)
        Print(kTraceHighs, "queued %d", i);
    ASSERT_TRUE(standin::WaitForStalledWrites(1, std::chrono::seconds(10)));
    std::thread release([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        standin::ReleaseStalledWrites();
    });
    logger->Stop(); // the writer drains the queue before it ends (the verifier checks the pool after)
    release.join();
    standin::DebugOutputClear();
    Print(kTraceHighs, "after stop");
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_DUPLICATE_TIMER_REQUEST, "x");
    EXPECT_TRUE(standin::DebugOutput().empty());
    EXPECT_EQ(standin::EventLogCount(), 0u);
    // Nothing queued before the stop is lost, and nothing printed after it is written.
    const std::string log = LogText();
    for (int i = 0; i < 50; ++i)
        EXPECT_NE(log.find("queued " + std::to_string(i) + "\r\n"), std::string::npos) << i;
    EXPECT_EQ(log.find("after stop"), std::string::npos);
}

// ---- Event log ----------------------------------------------------------------------------------

TEST_F(TraceTest, TraceStatusWritesOneEntryWithWideInsertsAndTheLine)
{
    logger->SetTraceMask(kTraceAlways | kTraceErrors);
    const char16_t wide[] = u"wide";
    TraceLogger::TraceStatus(logger, this, "Crop::Set", kFile, 9, kTraceErrors, MSG_SPECIFIED_CROP_HEIGHT_EXCEEDS_ALLOWED_MAXIMUM,
                             "crop %d of %s / %ls / %I64u / %08x / %5.1f / %c / 100%%", 1200, "narrow", wide,
                             0x123456789ULL, 0xBEEFu, 2.25, 'q');
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    const auto& e = entries[0];
    EXPECT_EQ(e.messageId, 0xC007102Au);
    EXPECT_EQ(e.uniqueErrorValue, 0x102Au);
    EXPECT_EQ(e.finalStatus, 0);
    EXPECT_EQ(e.sequenceNumber, 0u);
    EXPECT_FALSE(e.malformed);
    const std::vector<std::u16string> expected = {u"1200", u"narrow", u"wide", u"4886718345", u"0000beef", u"  2.3",
                                                  u"q"};
    EXPECT_EQ(e.inserts, expected);
    const auto lines = DebugLinesWith("crop 1200 of narrow / wide / 4886718345 / 0000beef /   2.3 / q / 100%");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" E Source.cpp Crop::Set: "), std::string::npos);
}

TEST_F(TraceTest, EventLogInsertsKeepEmptyStringsAndAreCutToTheEntryMaximum)
{
    logger->SetTraceMask(kTraceAlways | kTraceErrors);
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                             "[%s] %d", "", 5);
    const std::string longName(300, 'n');
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_ATTEMPT_OPEN_FILE_FAILED_STATUS_RETURNED,
                             "[%s] %d", longName.c_str(), 7);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].inserts, (std::vector<std::u16string>{u"", u"5"}));
    // 240 bytes: 48 for the header and 96 characters with their zeros for the inserts.
    ASSERT_EQ(entries[1].inserts.size(), 1u);
    EXPECT_EQ(entries[1].inserts[0], std::u16string(95, u'n'));
    EXPECT_FALSE(entries[1].malformed);
    EXPECT_EQ(standin::VerifierTakeViolations().size(), 0u);
}

TEST_F(TraceTest, FailedEntryAllocationStillPrintsTheLineAndDisabledOutputDoesNeither)
{
    logger->SetTraceMask(kTraceAlways | kTraceErrors);
    standin::PoolFailTag(standin::kErrorLogPoolTag);
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_DUPLICATE_TIMER_REQUEST,
                             "Duplicate timer request.");
    standin::PoolClearFailures();
    EXPECT_EQ(standin::EventLogCount(), 0u);
    EXPECT_EQ(DebugLinesWith("Duplicate timer request.").size(), 1u);

    logger->DisableOutput();
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_DUPLICATE_TIMER_REQUEST, "again");
    EXPECT_EQ(standin::EventLogCount(), 0u);
    EXPECT_TRUE(DebugLinesWith("again").empty());
    logger->EnableOutput();
    TraceLogger::TraceStatus(logger, nullptr, "F", kFile, 1, kTraceErrors, MSG_DUPLICATE_TIMER_REQUEST, "again");
    EXPECT_EQ(standin::EventLogCount(), 1u);
}

TEST(TraceWithoutLogger, ScopesAndPrintsDoNothing)
{
    ASSERT_EQ(TraceLogger::Instance(), nullptr);
    standin::DebugOutputClear();
    {
        TraceScope scope(nullptr, "A::B", "a.cpp", 1, kTraceLowEnter, "x");
        EXPECT_FALSE(scope.Enabled());
    }
    TraceLogger::TraceStatus(nullptr, nullptr, "F", "a.cpp", 1, kTraceErrors, MSG_DUPLICATE_TIMER_REQUEST, "x");
    EXPECT_TRUE(standin::DebugOutput().empty());
}

} // namespace
