// Cancellation: IoCancelIrp with and without a cancel routine, and cancellation racing completion
// from other threads, where each request must be completed exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestDriver.h"

using iotest::TestDriver;

namespace {

struct Sent {
    KEVENT event{};
    IO_STATUS_BLOCK iosb{};
    PIRP irp = nullptr;
};

// Sends a request that the device queues; returns with it pending.
void SendQueued(PDEVICE_OBJECT device, ULONG code, Sent& sent)
{
    KeInitializeEvent(&sent.event, NotificationEvent, FALSE);
    sent.irp =
        IoBuildDeviceIoControlRequest(code, device, nullptr, 0, nullptr, 0, FALSE, &sent.event, &sent.iosb);
    ASSERT_EQ(IoCallDriver(device, sent.irp), STATUS_PENDING);
}

} // namespace

TEST(Cancel, ARequestWithACancelRoutineIsCompletedByItAsCancelled)
{
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Cancellable");
    Sent sent;
    SendQueued(device, iotest::kPend, sent);
    EXPECT_EQ(IoCancelIrp(sent.irp), TRUE);
    EXPECT_EQ(KeReadStateEvent(&sent.event), 1);
    EXPECT_EQ(sent.iosb.Status, STATUS_CANCELLED);
    EXPECT_EQ(sent.iosb.Information, 0u);
    EXPECT_EQ(TestDriver::State(device).cancelled.load(), 1);
    EXPECT_FALSE(TestDriver::CompleteQueued(device, STATUS_SUCCESS, 0));
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST(Cancel, ARequestWithoutACancelRoutineOnlyCarriesTheFlag)
{
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Stubborn");
    Sent sent;
    SendQueued(device, iotest::kPendUncancellable, sent);
    EXPECT_EQ(IoCancelIrp(sent.irp), FALSE);
    EXPECT_EQ(sent.irp->Cancel, TRUE);
    EXPECT_EQ(KeReadStateEvent(&sent.event), 0);
    ASSERT_TRUE(TestDriver::CompleteQueued(device, STATUS_SUCCESS, 0));
    EXPECT_EQ(sent.iosb.Status, STATUS_SUCCESS);
}

TEST(Cancel, TheCancelSpinLockRaisesToDispatchAndGivesTheLevelBack)
{
    KIRQL old = 0xFF;
    IoAcquireCancelSpinLock(&old);
    EXPECT_EQ(old, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    IoReleaseCancelSpinLock(old);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

// The IRP is the test's own (IoAllocateIrp, kept by its completion routine), so cancelling it
// stays legal however the race ends.
TEST(Cancel, CancellationRacingCompletionCompletesEachRequestOnce)
{
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Racing");
    struct Round {
        std::atomic<int> completions{0};
        KEVENT done{};
    } round;
    auto routine = [](PDEVICE_OBJECT, PIRP, PVOID context) -> NTSTATUS {
        auto* r = static_cast<Round*>(context);
        r->completions++;
        KeSetEvent(&r->done, IO_NO_INCREMENT, FALSE);
        return STATUS_MORE_PROCESSING_REQUIRED;
    };
    PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
    constexpr int kRounds = 300;
    int cancelled = 0, completed = 0;
    for (int i = 0; i < kRounds; ++i) {
        IoReuseIrp(irp, STATUS_SUCCESS);
        round.completions = 0;
        KeInitializeEvent(&round.done, NotificationEvent, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = iotest::kPend;
        IoSetCompletionRoutine(irp, routine, &round, TRUE, TRUE, TRUE);
        ASSERT_EQ(IoCallDriver(device, irp), STATUS_PENDING);
        std::atomic<bool> go{false};
        std::thread completer([&] {
            while (!go.load()) {
            }
            TestDriver::CompleteQueued(device, STATUS_SUCCESS, 5);
        });
        std::thread canceller([&] {
            while (!go.load()) {
            }
            IoCancelIrp(irp);
        });
        go.store(true);
        completer.join();
        canceller.join();
        ASSERT_EQ(KeWaitForSingleObject(&round.done, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
        ASSERT_EQ(round.completions.load(), 1);
        if (irp->IoStatus.Status == STATUS_CANCELLED) {
            EXPECT_EQ(irp->IoStatus.Information, 0u);
            ++cancelled;
        } else {
            ASSERT_EQ(irp->IoStatus.Status, STATUS_SUCCESS);
            EXPECT_EQ(irp->IoStatus.Information, 5u);
            ++completed;
        }
    }
    IoFreeIrp(irp);
    EXPECT_EQ(cancelled + completed, kRounds);
    EXPECT_EQ(TestDriver::State(device).cancelled.load(), cancelled);
}
