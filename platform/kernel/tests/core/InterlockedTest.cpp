// Interlocked operations: the Windows return value of each (new value for Increment and Decrement,
// old value for the rest), wrap-around, and exact results under contention. Includes the umbrella
// header so that it is compiled with everything it gathers.
#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "km/kernel.h"

TEST(Interlocked, ThirtyTwoBitFormsReturnWhatWindowsReturns)
{
    volatile LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9); // matches: stored
    EXPECT_EQ(v, 1);
    EXPECT_EQ(InterlockedCompareExchange(&v, 7, 3), 1); // differs: left alone
    EXPECT_EQ(v, 1);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 1);
    EXPECT_EQ(v, 11);
    EXPECT_EQ(InterlockedExchangeAdd(&v, -20), 11);
    EXPECT_EQ(v, -9);
    v = 0x0B;
    EXPECT_EQ(InterlockedOr(&v, 0x30), 0x0B);
    EXPECT_EQ(v, 0x3B);
    EXPECT_EQ(InterlockedAnd(&v, 0x0F), 0x3B);
    EXPECT_EQ(v, 0x0B);
}

TEST(Interlocked, SixtyFourBitFormsUseTheWholeWord)
{
    const LONG64 big = LONG64(1) << 40;
    volatile LONG64 v = big;
    EXPECT_EQ(InterlockedIncrement64(&v), big + 1);
    EXPECT_EQ(InterlockedDecrement64(&v), big);
    EXPECT_EQ(InterlockedExchange64(&v, big * 3), big);
    EXPECT_EQ(InterlockedCompareExchange64(&v, 2, big * 3), big * 3);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(InterlockedCompareExchange64(&v, 8, big * 3), 2);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(InterlockedExchangeAdd64(&v, big), 2);
    EXPECT_EQ(v, big + 2);
    EXPECT_EQ(InterlockedOr64(&v, LONG64(1) << 50), big + 2);
    EXPECT_EQ(InterlockedAnd64(&v, big), (LONG64(1) << 50) + big + 2);
    EXPECT_EQ(v, big);
}

TEST(Interlocked, ArithmeticWrapsAround)
{
    // LONG is 32 bits here as on Windows, whatever the host's long is.
    constexpr LONG kMax = std::numeric_limits<LONG>::max();
    constexpr LONG kMin = std::numeric_limits<LONG>::min();
    volatile LONG v = kMax;
    EXPECT_EQ(InterlockedIncrement(&v), kMin);
    EXPECT_EQ(InterlockedDecrement(&v), kMax);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 2), kMax);
    EXPECT_EQ(v, kMin + 1);
    volatile LONG64 w = std::numeric_limits<LONG64>::min();
    EXPECT_EQ(InterlockedDecrement64(&w), std::numeric_limits<LONG64>::max());
}

TEST(Interlocked, PointerFormsReturnTheOldPointer)
{
    int a = 0, b = 0;
    PVOID volatile slot = &a;
    EXPECT_EQ(InterlockedExchangePointer(&slot, &b), &a);
    EXPECT_EQ(slot, &b);
    EXPECT_EQ(InterlockedCompareExchangePointer(&slot, nullptr, &a), &b);
    EXPECT_EQ(slot, &b);
    EXPECT_EQ(InterlockedCompareExchangePointer(&slot, nullptr, &b), &b);
    EXPECT_EQ(slot, nullptr);
}

TEST(Interlocked, ResultsAreExactUnderContention)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 50000;
    volatile LONG count = 0;
    volatile LONG64 sum = 0;
    volatile LONG bits = 0;
    volatile LONG maximum = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                InterlockedIncrement(&count);
                InterlockedExchangeAdd64(&sum, i);
                const LONG candidate = t * kRounds + i;
                // The first compare-exchange doubles as the read of the current maximum.
                for (LONG seen = 0; seen < candidate;) {
                    const LONG before = InterlockedCompareExchange(&maximum, candidate, seen);
                    if (before == seen)
                        break;
                    seen = before;
                }
            }
            InterlockedOr(&bits, 1 << t);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(count, kThreads * kRounds);
    EXPECT_EQ(sum, LONG64(kThreads) * (LONG64(kRounds) * (kRounds - 1) / 2));
    EXPECT_EQ(bits, (1 << kThreads) - 1);
    EXPECT_EQ(maximum, kThreads * kRounds - 1);
}
