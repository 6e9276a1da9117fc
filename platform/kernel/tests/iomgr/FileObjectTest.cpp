// File objects of devices: opening by device name, by symbolic link and relative to another file,
// the name the driver sees, the create, cleanup and close requests in their order, what refuses an
// open, and requests still pending when the last handle closes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "TestDriver.h"
#include "standin/devicefile.h"
#include "standin/verifier.h"

using iotest::TestDriver;
using testing::ElementsAre;

namespace {

NTSTATUS Open(std::u16string_view path, PHANDLE handle, HANDLE related = nullptr,
              KPROCESSOR_MODE mode = KernelMode)
{
    standin::DeviceOpenRequest request;
    request.desiredAccess = GENERIC_READ | GENERIC_WRITE;
    request.requestorMode = mode;
    return standin::OpenDeviceFile(path, related, request, handle);
}

} // namespace

class DeviceFile : public testing::Test {
protected:
    TestDriver driver_;
    PDEVICE_OBJECT device_ = driver_.AddDevice(u"Files0", u"Files");
    iotest::DeviceState& State() { return TestDriver::State(device_); }
};

TEST_F(DeviceFile, OpeningByNameOrLinkGivesTheDriverTheRestOfThePath)
{
    HANDLE a, b, c;
    ASSERT_EQ(Open(u"\\Device\\Files0", &a), STATUS_SUCCESS);
    ASSERT_EQ(Open(u"\\??\\FILES\\Pin\\1", &b), STATUS_SUCCESS);
    ASSERT_EQ(Open(u"\\DosDevices\\Files", &c), STATUS_SUCCESS);
    EXPECT_THAT(State().createNames, ElementsAre(u"", u"\\Pin\\1", u""));
    PFILE_OBJECT file;
    ASSERT_EQ(standin::ReferenceDeviceFile(b, KernelMode, &file), STATUS_SUCCESS);
    EXPECT_EQ(file, State().createFiles[1]);
    EXPECT_EQ(file->DeviceObject, device_);
    EXPECT_EQ(file->Type, IO_TYPE_FILE);
    EXPECT_EQ(IoGetRelatedDeviceObject(file), device_);
    EXPECT_EQ(device_->ReferenceCount, 3);
    ObDereferenceObject(file);
    for (HANDLE h : {a, b, c})
        EXPECT_EQ(ZwClose(h), STATUS_SUCCESS);
    EXPECT_EQ(device_->ReferenceCount, 0);
    EXPECT_EQ(State().cleanups.load(), 3);
    EXPECT_EQ(State().closes.load(), 3);
}

TEST_F(DeviceFile, CleanupComesWithTheLastHandleAndCloseWithTheLastReference)
{
    HANDLE handle;
    ASSERT_EQ(Open(u"\\Device\\Files0", &handle), STATUS_SUCCESS);
    PFILE_OBJECT file;
    ASSERT_EQ(standin::ReferenceDeviceFile(handle, KernelMode, &file), STATUS_SUCCESS);
    ZwClose(handle);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP));
    EXPECT_NE(file->Flags & FO_CLEANUP_COMPLETE, 0u);
    ObDereferenceObject(file);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
}

TEST_F(DeviceFile, RefusedOpensMakeNoHandleAndSendNoClose)
{
    HANDLE handle = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(Open(u"\\Device\\Files0\\deny", &handle), STATUS_ACCESS_DENIED);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(Open(u"\\Device\\NoSuchDevice", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Open(u"\\??\\NoSuchLink", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Open(u"Files0", &handle), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(State().creates.load(), 1);
    EXPECT_EQ(State().closes.load(), 0);
    EXPECT_EQ(device_->ReferenceCount, 0);

    // A device whose driver has not finished initialising it cannot be opened yet.
    device_->Flags |= DO_DEVICE_INITIALIZING;
    EXPECT_EQ(Open(u"\\Device\\Files0", &handle), STATUS_NO_SUCH_DEVICE);
    device_->Flags &= ~DO_DEVICE_INITIALIZING;
}

TEST_F(DeviceFile, AnExclusiveDeviceOpensOnceAtATime)
{
    PDEVICE_OBJECT exclusive = driver_.AddDevice(u"Only", {}, true);
    HANDLE first, second;
    ASSERT_EQ(Open(u"\\Device\\Only", &first), STATUS_SUCCESS);
    EXPECT_EQ(Open(u"\\Device\\Only", &second), STATUS_ACCESS_DENIED);
    ZwClose(first);
    ASSERT_EQ(Open(u"\\Device\\Only", &second), STATUS_SUCCESS);
    ZwClose(second);
    EXPECT_EQ(TestDriver::State(exclusive).creates.load(), 2);
}

TEST_F(DeviceFile, ARelativeOpenNamesItsRelatedFileAndKeepsItUntilClosed)
{
    HANDLE parent, child;
    ASSERT_EQ(Open(u"\\Device\\Files0", &parent), STATUS_SUCCESS);
    ASSERT_EQ(Open(u"{pin}", &child, parent), STATUS_SUCCESS);
    EXPECT_EQ(State().createNames.back(), u"{pin}");
    PFILE_OBJECT parentFile = State().createFiles[0];
    PFILE_OBJECT childFile = State().createFiles[1];
    EXPECT_EQ(childFile->RelatedFileObject, parentFile);
    ZwClose(parent);
    EXPECT_EQ(State().closes.load(), 0); // the child still holds its parent
    ZwClose(child);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLEANUP,
                                            IRP_MJ_CLOSE, IRP_MJ_CLOSE));
    HANDLE bad;
    EXPECT_EQ(Open(u"x", &bad, reinterpret_cast<HANDLE>(0x7FFC)), STATUS_INVALID_HANDLE);
}

TEST_F(DeviceFile, AUserHandleIsUsableFromBothModesAKernelHandleOnlyFromKernelMode)
{
    HANDLE user, kernel;
    ASSERT_EQ(Open(u"\\Device\\Files0", &user, nullptr, UserMode), STATUS_SUCCESS);
    ASSERT_EQ(Open(u"\\Device\\Files0", &kernel, nullptr, KernelMode), STATUS_SUCCESS);
    PFILE_OBJECT file;
    EXPECT_EQ(standin::ReferenceDeviceFile(user, UserMode, &file), STATUS_SUCCESS);
    ObDereferenceObject(file);
    EXPECT_EQ(standin::ReferenceDeviceFile(kernel, UserMode, &file), STATUS_INVALID_HANDLE);
    EXPECT_EQ(standin::ReferenceDeviceFile(kernel, KernelMode, &file), STATUS_SUCCESS);
    ObDereferenceObject(file);
    ZwClose(user);
    ZwClose(kernel);
}

TEST_F(DeviceFile, ClosingTheLastHandleCancelsPendingRequestsBeforeCleanup)
{
    HANDLE handle;
    ASSERT_EQ(Open(u"\\Device\\Files0", &handle), STATUS_SUCCESS);
    PFILE_OBJECT file;
    ASSERT_EQ(standin::ReferenceDeviceFile(handle, KernelMode, &file), STATUS_SUCCESS);
    IO_STATUS_BLOCK result{};
    std::thread caller([&] {
        result = standin::DeviceIoControlFile(file, iotest::kPend, nullptr, 0, nullptr, 0, KernelMode);
        ObDereferenceObject(file);
    });
    ASSERT_TRUE(TestDriver::WaitForQueued(device_));
    EXPECT_EQ(standin::PendingRequestCount(State().createFiles[0]), 1u);
    ZwClose(handle);
    caller.join();
    EXPECT_EQ(result.Status, STATUS_CANCELLED);
    EXPECT_EQ(State().cancelled.load(), 1);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
}

TEST_F(DeviceFile, ARequestTheDriverCannotCancelDelaysTheCloseUntilItCompletes)
{
    HANDLE handle;
    ASSERT_EQ(Open(u"\\Device\\Files0", &handle), STATUS_SUCCESS);
    PFILE_OBJECT file;
    ASSERT_EQ(standin::ReferenceDeviceFile(handle, KernelMode, &file), STATUS_SUCCESS);
    IO_STATUS_BLOCK result{};
    std::thread caller([&] {
        result = standin::DeviceIoControlFile(file, iotest::kPendUncancellable, nullptr, 0, nullptr, 0,
                                              KernelMode);
        ObDereferenceObject(file);
    });
    ASSERT_TRUE(TestDriver::WaitForQueued(device_));
    ZwClose(handle);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP));
    ASSERT_TRUE(TestDriver::CompleteQueued(device_, STATUS_SUCCESS, 0));
    caller.join();
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
}

TEST_F(DeviceFile, ADispatchRoutineReturningBeforeCompletingIsReportedAndStillWaitedFor)
{
    standin::VerifierSetEcho(false);
    HANDLE handle;
    ASSERT_EQ(Open(u"\\Device\\Files0", &handle), STATUS_SUCCESS);
    PFILE_OBJECT file;
    ASSERT_EQ(standin::ReferenceDeviceFile(handle, KernelMode, &file), STATUS_SUCCESS);
    const IO_STATUS_BLOCK result = standin::DeviceIoControlFile(file, iotest::kReturnBeforeCompleting,
                                                                nullptr, 0, nullptr, 0, KernelMode);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    ObDereferenceObject(file);
    ZwClose(handle);
    auto breaches = standin::VerifierTakeViolations();
    standin::VerifierSetEcho(true);
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_THAT(breaches[0].detail, testing::HasSubstr("without completing the request"));
}
