// Critical sections: recursion, contention between threads, and the breaches of misuse.
#include "SyncTestSupport.h"

#include <atomic>
#include <future>
#include <vector>

namespace {

TEST(CriticalSection, AnotherThreadCannotEnterWhileItIsHeldTwice)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    auto tryOther = [&] {
        return std::async(std::launch::async, [&] {
                   const BOOL entered = TryEnterCriticalSection(&section);
                   if (entered)
                       LeaveCriticalSection(&section);
                   return entered;
               }).get();
    };
    EXPECT_FALSE(tryOther());
    LeaveCriticalSection(&section);
    EXPECT_FALSE(tryOther());
    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryOther());
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, EnterWaitsForTheHolderAndGuardsItsData)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0; // guarded by the section only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    for (auto& t : threads)
        t.join();
    EnterCriticalSection(&section);
    EXPECT_EQ(counter, 8000);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
}

TEST(CriticalSection, MisuseIsReportedAndChangesNothing)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    // Leaving one not held.
    LeaveCriticalSection(&section);
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 1u);
    // Leaving one another thread holds.
    EnterCriticalSection(&section);
    std::thread([&] { LeaveCriticalSection(&section); }).join();
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 1u);
    EXPECT_TRUE(std::async(std::launch::async, [&] { return TryEnterCriticalSection(&section); }).get() == FALSE);
    // Deleting one held: it stays, still held.
    DeleteCriticalSection(&section);
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 1u);
    LeaveCriticalSection(&section);
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 0u);
    DeleteCriticalSection(&section);
    // Deleted: every call is reported.
    EnterCriticalSection(&section);
    EXPECT_FALSE(TryEnterCriticalSection(&section));
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 4u);
}

TEST(CriticalSection, OneNeverDeletedIsALeak)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    InitializeCriticalSection(&section);
    EXPECT_EQ(usertest::TakeBreaches("critical-section"), 1u);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    const auto breaches = standin::VerifierTakeViolations();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "leak");
    EXPECT_NE(breaches[0].detail.find("critical-sections: critical section"), std::string::npos);
    DeleteCriticalSection(&section);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}

} // namespace
