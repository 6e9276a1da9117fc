// Requests from user mode to the test driver's device: one pended and completed from a system
// thread, one held until its handle closes, and one never completed, which the verifier reports.
#include "MachineFixture.h"

#include "platform/Clock.h"
#include "standin/verifier.h"

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace machinetest;

namespace {

// Waits in real time until the device reports a held request.
bool WaitForHeld(HANDLE handle)
{
    for (int i = 0; i < 2000; ++i) {
        if (QueryState(handle).pendingHeld)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TEST_F(MachineTest, APendedRequestIsCompletedFromASystemThread)
{
    Boot();
    TestBoard& board = Board({5, 1, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    HANDLE handle = OpenPath(TestInterfacePaths().at(0));
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const PendRequest request{200, 0x5A5AA5A5};
    uint32_t value = 0;
    DWORD returned = 0;
    const int64_t before = platform::Clock::Now();
    ASSERT_TRUE(DeviceIoControl(handle, kIoctlPend, const_cast<PendRequest*>(&request), sizeof request,
                                &value, sizeof value, &returned, nullptr))
        << GetLastError();
    EXPECT_GE(platform::Clock::Now() - before, 200 * platform::Clock::kUnitsPerMillisecond);
    EXPECT_EQ(value, 0x5A5AA5A5u);
    EXPECT_EQ(returned, sizeof value);

    // Several at once, each completed by its own thread with its own value.
    std::vector<std::thread> callers;
    std::atomic<int> right{0};
    for (uint32_t i = 0; i < 4; ++i)
        callers.emplace_back([&, i] {
            PendRequest mine{10 * i, i + 1};
            uint32_t out = 0;
            DWORD bytes = 0;
            if (DeviceIoControl(handle, kIoctlPend, &mine, sizeof mine, &out, sizeof out, &bytes, nullptr) &&
                out == i + 1)
                ++right;
        });
    for (auto& caller : callers)
        caller.join();
    EXPECT_EQ(right, 4);

    // A short output buffer is refused before anything is pended.
    EXPECT_FALSE(DeviceIoControl(handle, kIoctlPend, const_cast<PendRequest*>(&request), sizeof request,
                                 &value, 2, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    CloseHandle(handle);
}

TEST_F(MachineTest, AHeldRequestIsCancelledOnceWhenItsHandleCloses)
{
    Boot();
    TestBoard& board = Board({5, 2, 0});
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    const std::u16string path = TestInterfacePaths().at(0);
    HANDLE held = OpenPath(path);
    HANDLE watcher = OpenPath(path);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_NE(watcher, INVALID_HANDLE_VALUE);
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread caller([&] {
        DWORD returned = 0;
        result = DeviceIoControl(held, kIoctlHold, nullptr, 0, nullptr, 0, &returned, nullptr);
        error = GetLastError();
    });
    ASSERT_TRUE(WaitForHeld(watcher));
    CloseHandle(held);
    caller.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(QueryState(watcher).pendingHeld, 0u);
    CloseHandle(watcher);
}

TEST_F(MachineTest, ARequestNeverCompletedIsReportedAtUnload)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Boot();
            SetDriverSwitch(kSwitchLeaveRequestPending, 1);
            TestBoard& board = Board({5, 3, 0});
            machine_->Plug(board);
            const std::u16string path = TestInterfacePaths().at(0);
            HANDLE held = OpenPath(path);
            HANDLE watcher = OpenPath(path);
            std::thread([held] {
                DWORD returned = 0;
                DeviceIoControl(held, kIoctlHold, nullptr, 0, nullptr, 0, &returned, nullptr);
            }).detach();
            const bool heldSeen = WaitForHeld(watcher);
            CloseHandle(watcher);
            standin::VerifierSetEcho(false);
            machine_->Remove(board);
            platform::UnloadReport report;
            machine_->UnloadDriver(kService, &report);
            bool irpReported = false;
            for (const auto& breach : standin::VerifierTakeViolations())
                irpReported = irpReported || (breach.rule == "leak" && breach.detail.rfind("irps:", 0) == 0);
            std::filesystem::remove_all(folder_.Path());
            _exit(heldSeen && irpReported && !report.imagesUnmapped ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
