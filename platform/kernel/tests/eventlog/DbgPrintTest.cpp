// DbgPrint: Windows formatting, the record in call order, the transmitted size, the bound on the
// record, the echo to stderr, and the IRQL rule for wide text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "../core/Breaches.h"
#include "EventLogTestSupport.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/debugger.h"

using eventlogtest::EventLogTest;
using testing::ElementsAre;

using DbgPrintTest = EventLogTest;

TEST_F(DbgPrintTest, FormatsWithWindowsRulesAndKeepsEachCallInOrder)
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"dev");
    EXPECT_EQ(DbgPrint("%s %ls %wZ|%I64d|%lx|%5.2f\n", "narrow", u"wide", &name, -(1LL << 40), 0xABCDu, 2.5),
              static_cast<ULONG>(STATUS_SUCCESS));
    DbgPrint("%s", "no line end");
    DbgPrint("");
    EXPECT_THAT(standin::DebugOutput(),
                ElementsAre("narrow wide dev|-1099511627776|abcd| 2.50\n", "no line end", ""));
}

TEST_F(DbgPrintTest, OneCallTransmitsAtMost511Characters)
{
    const std::string exact(511, 'x');
    DbgPrint("%s", exact.c_str());
    EXPECT_EQ(standin::DebugOutputTruncated(), 0u);
    const std::string longer(2000, 'y');
    DbgPrint("%s\n", longer.c_str());
    const auto output = standin::DebugOutput();
    ASSERT_EQ(output.size(), 2u);
    EXPECT_EQ(output[0], exact);
    EXPECT_EQ(output[1], std::string(511, 'y'));
    EXPECT_EQ(standin::DebugOutputTruncated(), 1u);
}

TEST_F(DbgPrintTest, TheRecordKeepsTheNewestAndCountsTheDropped)
{
    standin::SetDebugOutputCapacity(2);
    for (int i = 0; i < 5; ++i)
        DbgPrint("%d", i);
    standin::SetDebugOutputCapacity(standin::kDebugOutputCapacity);
    EXPECT_THAT(standin::DebugOutput(), ElementsAre("3", "4"));
    EXPECT_EQ(standin::DebugOutputDropped(), 3u);
    standin::DebugOutputClear();
    EXPECT_EQ(standin::DebugOutputDropped(), 0u);
    EXPECT_TRUE(standin::DebugOutput().empty());
}

TEST_F(DbgPrintTest, EchoesToStderrWhenAsked)
{
    const bool saved = standin::DebugOutputEcho();
    standin::SetDebugOutputEcho(true);
    testing::internal::CaptureStderr();
    DbgPrint("echo %d\n", 1);
    standin::SetDebugOutputEcho(false);
    DbgPrint("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "echo 1\n");
    standin::SetDebugOutputEcho(saved);
}

TEST_F(DbgPrintTest, WideTextAbovePassiveLevelIsABreachNarrowTextIsNot)
{
    QuietBreaches breaches;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    DbgPrint("%s %hs %Z %c %hS %%ls %I64x %Iu\n", "a", "b", static_cast<void*>(nullptr), 'c', "d", 1LL,
             size_t{2});
    EXPECT_TRUE(breaches.Take().empty());
    auto breachesOf = [&breaches](const char* format) {
        const auto taken = breaches.Take();
        return taken.size() == 1 && taken[0].rule == "irql" ? std::string("irql") : format;
    };
    for (const char* format : {"%ls", "%ws", "%S", "%-5S", "%wZ"}) {
        DbgPrint(format, static_cast<const void*>(nullptr));
        EXPECT_EQ(breachesOf(format), "irql");
    }
    for (const char* format : {"%C", "%lc", "%wc"}) {
        DbgPrint(format, 'x');
        EXPECT_EQ(breachesOf(format), "irql");
    }
    KeLowerIrql(old);
    DbgPrint("%ls\n", u"fine");
    EXPECT_TRUE(breaches.Take().empty());
    EXPECT_EQ(standin::DebugOutput().back(), "fine\n");
}

TEST_F(DbgPrintTest, ANullFormatIsRefused)
{
    QuietBreaches breaches;
    EXPECT_EQ(DbgPrint(nullptr), static_cast<ULONG>(STATUS_INVALID_PARAMETER));
    EXPECT_EQ(breaches.Take().size(), 1u);
    EXPECT_TRUE(standin::DebugOutput().empty());
}

TEST_F(DbgPrintTest, ConcurrentPrintsArriveWholeAndInEachThreadsOrder)
{
    constexpr int kThreads = 8;
    constexpr int kPerThread = 300;
    std::vector<std::thread> printers;
    for (int t = 0; t < kThreads; ++t)
        printers.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i)
                DbgPrint("%d:%d\n", t, i);
        });
    for (auto& p : printers)
        p.join();
    const auto output = standin::DebugOutput();
    ASSERT_EQ(output.size(), size_t{kThreads * kPerThread});
    std::vector<int> next(kThreads, 0);
    for (const auto& line : output) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d:%d\n", &t, &i), 2) << line;
        ASSERT_GE(t, 0);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(i, next[t]++);
    }
}
