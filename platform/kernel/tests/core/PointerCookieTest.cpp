// Pointer cookies: a cookie resolves for its owner only; dropped, forged and foreign cookies do not;
// cookies are never 0 nor given twice while live, also under concurrent use; one left live is a
// "cookies" leak.
#include "Breaches.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "km/pointercookie.h"

using standin::PointerCookie;

TEST(PointerCookie, ResolvesForItsOwnerOnly)
{
    char buffer[64];
    int owner = 0, stranger = 0;
    const ULONG cookie = PointerCookie::Give(buffer, sizeof buffer, &owner);
    ASSERT_NE(cookie, 0u);
    SIZE_T length = 0;
    EXPECT_EQ(PointerCookie::Resolve(cookie, &owner, &length), buffer);
    EXPECT_EQ(length, sizeof buffer);
    EXPECT_EQ(PointerCookie::Resolve(cookie, &stranger), nullptr) << "a foreign owner resolved it";
    EXPECT_EQ(PointerCookie::Resolve(cookie, nullptr), nullptr);
    EXPECT_EQ(PointerCookie::Resolve(cookie + 1, &owner), nullptr) << "a forged cookie resolved";
    EXPECT_EQ(PointerCookie::Resolve(0, &owner), nullptr);
    EXPECT_EQ(PointerCookie::Resolve(0xFFFFFFFF, &owner), nullptr);

    EXPECT_EQ(PointerCookie::Drop(cookie, &stranger), FALSE) << "a stranger dropped it";
    EXPECT_EQ(PointerCookie::Resolve(cookie, &owner), buffer);
    EXPECT_EQ(PointerCookie::Drop(cookie, &owner), TRUE);
    EXPECT_EQ(PointerCookie::Resolve(cookie, &owner), nullptr) << "a dropped cookie resolved";
    EXPECT_EQ(PointerCookie::Drop(cookie, &owner), FALSE);

    EXPECT_EQ(PointerCookie::Give(nullptr, 4, &owner), 0u);
    EXPECT_EQ(PointerCookie::Give(buffer, 4, nullptr), 0u);
}

TEST(PointerCookie, TheSameAddressTwiceGetsTwoCookiesAndNoneIsReusedWhileLive)
{
    char buffer[8];
    int owner = 0;
    const ULONG first = PointerCookie::Give(buffer, 8, &owner);
    const ULONG second = PointerCookie::Give(buffer, 4, &owner);
    EXPECT_NE(first, second);
    SIZE_T length = 0;
    PointerCookie::Resolve(second, &owner, &length);
    EXPECT_EQ(length, 4u);
    PointerCookie::Drop(first, &owner);
    EXPECT_EQ(PointerCookie::Resolve(second, &owner), buffer);
    PointerCookie::Drop(second, &owner);

    // Threads giving and dropping at once never see a cookie twice among the live ones.
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<ULONG>> given(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                const ULONG cookie = PointerCookie::Give(buffer, 1, &given[t]);
                given[t].push_back(cookie);
                if (i % 2) {
                    EXPECT_EQ(PointerCookie::Resolve(cookie, &given[t]), buffer);
                }
            }
        });
    for (auto& thread : threads)
        thread.join();
    std::set<ULONG> all;
    for (int t = 0; t < kThreads; ++t)
        for (ULONG cookie : given[t]) {
            EXPECT_NE(cookie, 0u);
            EXPECT_TRUE(all.insert(cookie).second) << "cookie " << cookie << " given twice";
            EXPECT_EQ(PointerCookie::Drop(cookie, &given[t]), TRUE);
        }
}

TEST(PointerCookie, OneLeftLiveIsALeak)
{
    QuietBreaches breaches;
    int owner = 0;
    char buffer[16];
    const ULONG cookie = PointerCookie::Give(buffer, sizeof buffer, &owner);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 1u);
    auto found = breaches.Take();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].rule, "leak");
    EXPECT_EQ(found[0].detail.rfind("cookies: pointer cookie " + std::to_string(cookie) + " of owner ", 0), 0u)
        << found[0].detail;
    EXPECT_NE(found[0].detail.find("for 16 bytes at"), std::string::npos);
    PointerCookie::Drop(cookie, &owner);
    EXPECT_EQ(standin::VerifierCheckLeaks(), 0u);
}
