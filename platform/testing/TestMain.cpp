// Test main with the verifier always on: after each test, every outstanding resource (pool, handles,
// threads) is reported as a breach, and a test that leaves any unread breach makes the program fail
// with the test's name. CTest runs each test in a process of its own, so the failure is charged to
// the test that caused it. Tests that provoke a breach on purpose read it with
// standin::VerifierTakeViolations() and release what they took. Pool, file and DMA failure
// injection are cleared after every test.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "km/dma.h"
#include "km/pool.h"
#include "standin/dma.h"
#include "standin/drives.h"
#include "standin/filefaults.h"
#include "standin/pool.h"
#include "standin/verifier.h"

namespace {

class CheckAfterEachTest : public testing::EmptyTestEventListener {
public:
    void OnTestEnd(const testing::TestInfo& info) override
    {
        // An injected pool failure must not outlive the test that asked for it, even one that
        // stopped half-way.
        standin::PoolClearFailures();
        // Likewise injected file failures; clearing them also lets a write stalled by one go on.
        standin::ClearFileFailures();
        standin::DmaClearFailures();
        standin::VerifierCheckLeaks();
        auto breaches = standin::VerifierTakeViolations();
        if (breaches.empty())
            return;
        std::string all;
        for (const auto& b : breaches)
            all += "\n  " + b.rule + ": " + b.detail;
        std::fprintf(stderr, "[ VERIFIER ] %s.%s left %zu breach(es):%s\n", info.test_suite_name(), info.name(),
                     breaches.size(), all.c_str());
        failed = true;
    }
    bool failed = false;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    auto* check = new CheckAfterEachTest; // owned by the listener list
    testing::UnitTest::GetInstance()->listeners().Append(check);
    int rc = RUN_ALL_TESTS();
    if (rc == 0 && check->failed)
        rc = 1;
    return rc;
}
