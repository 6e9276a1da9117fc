// IRPs: stack locations, sending, the completion walk with its routines, pending, and what the
// verifier reports about completion and freeing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "../core/Breaches.h"
#include "TestDriver.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/verifier.h"

using iotest::TestDriver;
using testing::HasSubstr;

namespace {

// A filter above a test driver's device: passes device-control requests down with a completion
// routine that logs its call and answers as the test says.
struct Filter {
    static inline std::vector<std::string> log;
    static inline NTSTATUS routineResult = STATUS_SUCCESS;
    static inline PDEVICE_OBJECT lower = nullptr;
    static inline KEVENT* keptBack = nullptr; // set when the routine keeps the IRP

    static NTSTATUS NTAPI Completion(PDEVICE_OBJECT device, PIRP irp, PVOID context)
    {
        log.push_back("filter routine device=" + std::to_string(device == context) +
                      " pending=" + std::to_string(irp->PendingReturned));
        if (routineResult == STATUS_MORE_PROCESSING_REQUIRED && keptBack)
            KeSetEvent(keptBack, IO_NO_INCREMENT, FALSE);
        else if (irp->PendingReturned)
            IoMarkIrpPending(irp);
        return routineResult;
    }
    static NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp)
    {
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, Completion, device, TRUE, TRUE, TRUE);
        if (routineResult != STATUS_MORE_PROCESSING_REQUIRED)
            return IoCallDriver(lower, irp);
        // The routine hands the IRP back here; finish it with a status of our own.
        KEVENT done{};
        KeInitializeEvent(&done, NotificationEvent, FALSE);
        keptBack = &done;
        if (IoCallDriver(lower, irp) == STATUS_PENDING)
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
        keptBack = nullptr;
        irp->IoStatus.Status = STATUS_DEVICE_NOT_READY;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_DEVICE_NOT_READY;
    }
};

NTSTATUS NTAPI OriginatorRoutine(PDEVICE_OBJECT device, PIRP irp, PVOID)
{
    Filter::log.push_back("originator device=" + std::to_string(device != nullptr) +
                          " status=" + std::to_string(irp->IoStatus.Status));
    return STATUS_MORE_PROCESSING_REQUIRED;
}

class IrpStack : public testing::Test {
protected:
    void SetUp() override
    {
        Filter::log.clear();
        Filter::routineResult = STATUS_SUCCESS;
        bottom_ = lowerDriver_.AddDevice(u"IrpBottom");
        filterDriver_ = standin::CreateDriverObject(u"IrpFilter");
        filterDriver_->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Filter::Dispatch;
        ASSERT_EQ(IoCreateDevice(filterDriver_, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &filter_),
                  STATUS_SUCCESS);
        filter_->Flags &= ~DO_DEVICE_INITIALIZING;
        Filter::lower = IoAttachDeviceToDeviceStack(filter_, bottom_);
    }
    void TearDown() override
    {
        IoDetachDevice(bottom_);
        IoDeleteDevice(filter_);
        standin::DeleteDriverObject(filterDriver_);
    }
    // An IRP of our own for the filter's stack, with the originator's routine above it.
    PIRP OwnIrp(ULONG code, PVOID systemBuffer, ULONG inLength)
    {
        PIRP irp = IoAllocateIrp(filter_->StackSize, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = code;
        next->Parameters.DeviceIoControl.InputBufferLength = inLength;
        irp->AssociatedIrp.SystemBuffer = systemBuffer;
        IoSetCompletionRoutine(irp, OriginatorRoutine, nullptr, TRUE, TRUE, TRUE);
        return irp;
    }

    TestDriver lowerDriver_{u"IrpLower"};
    PDEVICE_OBJECT bottom_ = nullptr;
    PDRIVER_OBJECT filterDriver_ = nullptr;
    PDEVICE_OBJECT filter_ = nullptr;
};

} // namespace

TEST(Irp, AllocationGivesStackLocationsBelowTheUnsentPosition)
{
    EXPECT_EQ(IoAllocateIrp(0, FALSE), nullptr);
    PIRP irp = IoAllocateIrp(3, FALSE);
    ASSERT_NE(irp, nullptr);
    EXPECT_EQ(irp->Type, IO_TYPE_IRP);
    EXPECT_EQ(irp->StackCount, 3);
    EXPECT_EQ(irp->CurrentLocation, 4);
    EXPECT_EQ(irp->IoStatus.Status, STATUS_SUCCESS);
    EXPECT_EQ(IoGetNextIrpStackLocation(irp) + 1, IoGetCurrentIrpStackLocation(irp));
    EXPECT_EQ(standin::LiveIrpCount(), 1u);
    IoFreeIrp(irp);
    EXPECT_EQ(standin::LiveIrpCount(), 0u);
}

TEST_F(IrpStack, CompletionRoutinesRunBottomUpWithTheDeviceOfTheirSetter)
{
    ULONG input[2] = {ULONG(STATUS_NOT_SUPPORTED), 7};
    PIRP irp = OwnIrp(iotest::kCompleteWith, input, sizeof input);
    EXPECT_EQ(IoCallDriver(filter_, irp), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(Filter::log, (std::vector<std::string>{"filter routine device=1 pending=0",
                                                     "originator device=0 status=" +
                                                         std::to_string(STATUS_NOT_SUPPORTED)}));
    EXPECT_EQ(irp->IoStatus.Information, 7u);
    IoFreeIrp(irp);
}

TEST_F(IrpStack, MoreProcessingRequiredHandsTheIrpBackForAnotherCompletion)
{
    Filter::routineResult = STATUS_MORE_PROCESSING_REQUIRED;
    ULONG input[2] = {ULONG(STATUS_SUCCESS), 0};
    PIRP irp = OwnIrp(iotest::kCompleteWith, input, sizeof input);
    EXPECT_EQ(IoCallDriver(filter_, irp), STATUS_DEVICE_NOT_READY);
    // The originator's routine ran once, after the filter's second completion.
    EXPECT_EQ(Filter::log, (std::vector<std::string>{"filter routine device=1 pending=0",
                                                     "originator device=0 status=" +
                                                         std::to_string(STATUS_DEVICE_NOT_READY)}));
    IoFreeIrp(irp);
}

TEST_F(IrpStack, PendingReturnedReachesTheRoutinesAboveALaterCompletion)
{
    UCHAR byte = 0;
    PIRP irp = OwnIrp(iotest::kPendUncancellable, &byte, 1);
    EXPECT_EQ(IoCallDriver(filter_, irp), STATUS_PENDING);
    EXPECT_TRUE(Filter::log.empty());
    ASSERT_TRUE(TestDriver::CompleteQueued(bottom_, STATUS_SUCCESS, 0));
    ASSERT_EQ(Filter::log.size(), 2u);
    EXPECT_EQ(Filter::log[0], "filter routine device=1 pending=1");
    IoFreeIrp(irp);
}

TEST(Irp, RoutinesRunOnlyForTheOutcomesTheyAskedFor)
{
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Outcomes");
    static int calls;
    auto routine = [](PDEVICE_OBJECT, PIRP, PVOID) -> NTSTATUS {
        ++calls;
        return STATUS_MORE_PROCESSING_REQUIRED;
    };
    struct Case {
        NTSTATUS status;
        bool onSuccess, onError;
        int expected;
    } cases[] = {
        {STATUS_SUCCESS, true, false, 1},         {STATUS_SUCCESS, false, true, 0},
        {STATUS_BUFFER_OVERFLOW, false, true, 1}, // a warning is not a success
        {STATUS_UNSUCCESSFUL, true, false, 0},    {STATUS_UNSUCCESSFUL, false, true, 1},
    };
    for (const auto& c : cases) {
        calls = 0;
        ULONG input[2] = {ULONG(c.status), 0};
        PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = iotest::kCompleteWith;
        next->Parameters.DeviceIoControl.InputBufferLength = sizeof input;
        irp->AssociatedIrp.SystemBuffer = input;
        IoSetCompletionRoutine(irp, routine, nullptr, c.onSuccess, c.onError, FALSE);
        QuietBreaches quiet; // a routine not called lets the walk reach the top: reported
        IoCallDriver(device, irp);
        EXPECT_EQ(calls, c.expected) << std::hex << c.status;
        EXPECT_EQ(quiet.Take().size(), c.expected ? 0u : 1u);
        IoFreeIrp(irp);
    }
}

TEST(IrpVerifier, CompletingTwiceIsReportedAndTheRequestStillFinishesOnce)
{
    QuietBreaches quiet;
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Twice");
    const IO_STATUS_BLOCK result =
        iotest::SendDeviceControl(device, iotest::kCompleteTwice, nullptr, 0, nullptr, 0);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "irp-completion");
    EXPECT_THAT(breaches[0].detail, HasSubstr("IofCompleteRequest"));
    EXPECT_EQ(standin::LiveIrpCount(), 0u);
}

TEST(IrpVerifier, CompletingPendingAboveDispatchOrWithACancelRoutineIsReported)
{
    QuietBreaches quiet;
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Sloppy");
    ULONG input[2] = {ULONG(STATUS_PENDING), 0};
    iotest::SendDeviceControl(device, iotest::kCompleteWith, input, sizeof input, nullptr, 0);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("STATUS_PENDING"));

    PIRP irp = IoAllocateIrp(1, FALSE);
    IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    IoSetCompletionRoutine(
        irp, [](PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_MORE_PROCESSING_REQUIRED; }, nullptr, TRUE, TRUE,
        TRUE);
    // A driver that took it: pretend IofCallDriver moved it down one location.
    irp->CurrentLocation--;
    irp->Tail.Overlay.CurrentStackLocation--;
    IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP) {});
    KIRQL old;
    KeRaiseIrql(HIGH_LEVEL, &old);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    KeLowerIrql(old);
    breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_EQ(breaches[0].rule, "irql");
    EXPECT_THAT(breaches[1].detail, HasSubstr("cancel routine still set"));
    EXPECT_EQ(irp->CancelRoutine, nullptr);
    IoFreeIrp(irp);
}

TEST_F(IrpStack, ARequestWithNoLocationLeftIsReportedAndCompleted)
{
    QuietBreaches quiet;
    // One location only, but the filter passes it on to the device below.
    ULONG input[2] = {ULONG(STATUS_SUCCESS), 0};
    PIRP irp = IoAllocateIrp(1, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = iotest::kCompleteWith;
    irp->AssociatedIrp.SystemBuffer = input;
    IoSetCompletionRoutine(irp, OriginatorRoutine, nullptr, TRUE, TRUE, TRUE);
    EXPECT_EQ(IoCallDriver(filter_, irp), STATUS_INVALID_DEVICE_REQUEST);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "irp-stack");
    EXPECT_EQ(Filter::log, (std::vector<std::string>{"originator device=0 status=" +
                                                     std::to_string(STATUS_INVALID_DEVICE_REQUEST)}));
    IoFreeIrp(irp);
}

TEST(IrpVerifier, ARequestNeverCompletedIsListedUntilItIs)
{
    QuietBreaches quiet;
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Forgetful");
    KEVENT event{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb{};
    PIRP irp = IoBuildDeviceIoControlRequest(iotest::kPendUncancellable, device, nullptr, 0, nullptr, 0,
                                             FALSE, &event, &iosb);
    ASSERT_EQ(IoCallDriver(device, irp), STATUS_PENDING);
    // The driver and its device are still there too; the request is what matters here.
    auto irpLines = [&quiet] {
        standin::VerifierCheckLeaks();
        std::vector<std::string> lines;
        for (const auto& b : quiet.Take())
            if (b.rule == "leak" && b.detail.rfind("irps: ", 0) == 0)
                lines.push_back(b.detail);
        return lines;
    };
    auto lines = irpLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], HasSubstr("IRP_MJ_DEVICE_CONTROL 0x222014"));
    EXPECT_THAT(lines[0], HasSubstr("never completed"));

    ASSERT_TRUE(TestDriver::CompleteQueued(device, STATUS_SUCCESS, 0));
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
    EXPECT_TRUE(irpLines().empty());
}

TEST(IrpVerifier, FreeingTwiceOrFreeingTheIoManagersIrpIsReported)
{
    QuietBreaches quiet;
    PIRP irp = IoAllocateIrp(2, FALSE);
    IoFreeIrp(irp);
    IoFreeIrp(irp);
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Owner");
    KEVENT event{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    PIRP built = IoBuildDeviceIoControlRequest(iotest::kEchoBuffered, device, nullptr, 0, nullptr, 0, FALSE,
                                               &event, &iosb);
    IoFreeIrp(built);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 2u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("not a live IRP"));
    EXPECT_THAT(breaches[1].detail, HasSubstr("I/O manager"));
    IoCallDriver(device, built); // still the I/O manager's, and finished by it
    EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
}

TEST(Irp, ReuseMakesAnIrpFreshForAnotherRequest)
{
    TestDriver driver;
    PDEVICE_OBJECT device = driver.AddDevice(u"Reuse");
    PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
    for (NTSTATUS status : {STATUS_SUCCESS, STATUS_UNSUCCESSFUL}) {
        IoReuseIrp(irp, STATUS_NOT_SUPPORTED);
        EXPECT_EQ(irp->IoStatus.Status, STATUS_NOT_SUPPORTED);
        EXPECT_EQ(irp->CurrentLocation, device->StackSize + 1);
        ULONG input[2] = {ULONG(status), 3};
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = iotest::kCompleteWith;
        next->Parameters.DeviceIoControl.InputBufferLength = sizeof input;
        irp->AssociatedIrp.SystemBuffer = input;
        IoSetCompletionRoutine(
            irp, [](PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_MORE_PROCESSING_REQUIRED; }, nullptr, TRUE,
            TRUE, TRUE);
        EXPECT_EQ(IoCallDriver(device, irp), status);
        EXPECT_EQ(irp->IoStatus.Information, 3u);
    }
    IoFreeIrp(irp);
}
