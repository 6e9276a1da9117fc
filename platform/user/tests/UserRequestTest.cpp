// Requests from user mode, as an application makes them: CreateFile on a device name, DeviceIoControl
// with each transfer method and the exact bytes and statuses the caller sees, requests pended and
// completed from another thread or cancelled when their handle closes, and bad handles and
// arguments. Every request travels through the I/O manager to the test driver.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "TestDriver.h"
#include "um/windows.h"
#include "standin/devicefile.h"

using iotest::TestDriver;
using testing::ElementsAre;

class UserRequest : public testing::Test {
protected:
    void SetUp() override
    {
        handle_ = CreateFileW(u"\\\\.\\UserDev", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    iotest::DeviceState& State() { return TestDriver::State(device_); }

    TestDriver driver_;
    PDEVICE_OBJECT device_ = driver_.AddDevice(u"User0", u"UserDev");
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(UserRequest, OpeningAndClosingReachTheDriverInOrder)
{
    EXPECT_THAT(State().createNames, ElementsAre(u""));
    HANDLE second = CreateFileA("\\\\.\\userdev\\sub", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(State().createNames.back(), u"\\sub");
    EXPECT_EQ(CloseHandle(second), TRUE);
    EXPECT_EQ(CloseHandle(handle_), TRUE);
    handle_ = INVALID_HANDLE_VALUE;
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE,
                                            IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
    EXPECT_EQ(CloseHandle(second), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(UserRequest, FailedOpensGiveInvalidHandleValueAndTheWin32Error)
{
    const struct {
        const char16_t* path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {u"\\\\.\\NoSuchDevice", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"\\\\.\\UserDev\\deny", OPEN_EXISTING, ERROR_ACCESS_DENIED}, // the driver's refusal
        {u"\\\\?\\ROOT#NONE#0000#{00000000-0000-0000-0000-000000000000}", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {u"", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\\\.\\UserDev", 9, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateFileW(c.path, GENERIC_READ, 0, nullptr, c.disposition, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(State().closes.load(), 0);
}

TEST_F(UserRequest, BufferedRequestsReturnTheDriversBytes)
{
    UCHAR in[4] = {1, 2, 3, 4};
    UCHAR out[8];
    std::memset(out, 0xCC, sizeof out);
    DWORD returned = 99;
    ASSERT_EQ(DeviceIoControl(handle_, iotest::kEchoBuffered, in, 4, out, 8, &returned, nullptr), TRUE);
    EXPECT_EQ(returned, 4u);
    EXPECT_THAT(out, ElementsAre(2, 3, 4, 5, 0xCC, 0xCC, 0xCC, 0xCC));
}

TEST_F(UserRequest, ABufferOverflowIsMoreDataWithTheDataCopied)
{
    UCHAR in[5] = {10, 20, 30, 40, 50};
    UCHAR out[3] = {};
    DWORD returned = 0;
    EXPECT_EQ(DeviceIoControl(handle_, iotest::kEchoBuffered, in, 5, out, 3, &returned, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(returned, 3u);
    EXPECT_THAT(out, ElementsAre(11, 21, 31));
}

TEST_F(UserRequest, DirectRequestsMoveTheSecondBufferThroughAnMdl)
{
    ASSERT_EQ(iotest::kFillOutDirect, 0x22600Au);
    UCHAR fill[5] = {6, 0, 0, 0, 0x77};
    std::vector<UCHAR> out(8, 0);
    DWORD returned = 0;
    ASSERT_EQ(DeviceIoControl(handle_, iotest::kFillOutDirect, fill, 5, out.data(), 8, &returned, nullptr),
              TRUE);
    EXPECT_EQ(returned, 6u);
    EXPECT_THAT(out, ElementsAre(0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0, 0));

    std::vector<UCHAR> data = {4, 3, 2, 1};
    UCHAR header = 0;
    ASSERT_EQ(DeviceIoControl(handle_, iotest::kReadInDirect, &header, 1, data.data(), 4, &returned, nullptr),
              TRUE);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(State().lastDirectInput, data);

    fill[0] = 9; // more than the output holds
    EXPECT_EQ(DeviceIoControl(handle_, iotest::kFillOutDirect, fill, 5, out.data(), 8, &returned, nullptr),
              FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
}

TEST_F(UserRequest, NeitherHandsTheCallersBuffersToTheDriver)
{
    char in[] = "neither";
    char out[8] = {};
    DWORD returned = 0;
    ASSERT_EQ(DeviceIoControl(handle_, iotest::kCopyNeither, in, 8, out, 8, &returned, nullptr), TRUE);
    EXPECT_EQ(returned, 8u);
    EXPECT_STREQ(out, "neither");
}

TEST_F(UserRequest, DriverErrorsBecomeTheirWin32Errors)
{
    const struct {
        ULONG status;
        DWORD error;
    } cases[] = {
        {0xC000000D, ERROR_INVALID_PARAMETER}, {0xC007100B, 0x100B}, {0xC0001234, ERROR_MR_MID_NOT_FOUND}};
    for (const auto& c : cases) {
        ULONG in[2] = {c.status, 4};
        UCHAR out[4];
        DWORD returned = 7;
        EXPECT_EQ(DeviceIoControl(handle_, iotest::kCompleteWith, in, 8, out, 4, &returned, nullptr), FALSE);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(returned, 0u);
    }
    DWORD returned;
    EXPECT_EQ(DeviceIoControl(handle_, 0x22A01E, nullptr, 0, nullptr, 0, &returned, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
}

TEST_F(UserRequest, BadHandlesAndArgumentsAreRefusedBeforeAnyRequest)
{
    UCHAR byte = 0;
    DWORD returned;
    OVERLAPPED overlapped{};
    const struct {
        HANDLE handle;
        LPVOID in;
        DWORD inLength;
        LPDWORD returned;
        LPOVERLAPPED overlapped;
        DWORD error;
    } cases[] = {
        {INVALID_HANDLE_VALUE, &byte, 1, &returned, nullptr, ERROR_INVALID_HANDLE},
        {reinterpret_cast<HANDLE>(0x12344), &byte, 1, &returned, nullptr, ERROR_INVALID_HANDLE},
        {handle_, &byte, 1, nullptr, nullptr, ERROR_INVALID_PARAMETER},
        {handle_, nullptr, 1, &returned, nullptr, ERROR_NOACCESS},
        {handle_, &byte, 1, &returned, &overlapped, ERROR_NOT_SUPPORTED},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceIoControl(c.handle, iotest::kEchoBuffered, c.in, c.inLength, nullptr, 0, c.returned,
                                  c.overlapped),
                  FALSE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(State().creates.load(), 1);

    // A kernel handle is no handle of the application's.
    HANDLE kernel;
    standin::DeviceOpenRequest request;
    request.requestorMode = KernelMode;
    ASSERT_EQ(standin::OpenDeviceFile(u"\\Device\\User0", nullptr, request, &kernel), STATUS_SUCCESS);
    EXPECT_EQ(DeviceIoControl(kernel, iotest::kEchoBuffered, &byte, 1, nullptr, 0, &returned, nullptr),
              FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(CloseHandle(kernel), FALSE);
    EXPECT_EQ(ZwClose(kernel), STATUS_SUCCESS);
}

TEST_F(UserRequest, APendedRequestCompletedFromAnotherThreadAnswersTheCaller)
{
    std::thread driverSide([this] {
        ASSERT_TRUE(TestDriver::WaitForQueued(device_));
        ASSERT_TRUE(TestDriver::CompleteQueued(device_, STATUS_SUCCESS, 2));
    });
    UCHAR out[4] = {};
    DWORD returned = 0;
    EXPECT_EQ(DeviceIoControl(handle_, iotest::kPend, nullptr, 0, out, 4, &returned, nullptr), TRUE);
    EXPECT_EQ(returned, 2u);
    driverSide.join();
}

TEST_F(UserRequest, ClosingTheHandleCancelsItsPendingRequestOnce)
{
    BOOL answered = TRUE;
    DWORD error = 0;
    std::thread caller([&] {
        DWORD returned = 0;
        answered = DeviceIoControl(handle_, iotest::kPend, nullptr, 0, nullptr, 0, &returned, nullptr);
        error = GetLastError();
    });
    ASSERT_TRUE(TestDriver::WaitForQueued(device_));
    EXPECT_EQ(CloseHandle(handle_), TRUE);
    handle_ = INVALID_HANDLE_VALUE;
    caller.join();
    EXPECT_EQ(answered, FALSE);
    EXPECT_EQ(error, DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(State().cancelled.load(), 1);
    EXPECT_THAT(State().events, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
    EXPECT_EQ(standin::LiveIrpCount(), 0u);
}

TEST_F(UserRequest, AReplacedDispatchEntryServesTheNextRequest)
{
    static PDRIVER_DISPATCH saved;
    static int hooked;
    saved = driver_.Driver()->MajorFunction[IRP_MJ_DEVICE_CONTROL];
    hooked = 0;
    driver_.Driver()->MajorFunction[IRP_MJ_DEVICE_CONTROL] = [](PDEVICE_OBJECT device, PIRP irp) {
        ++hooked;
        return saved(device, irp);
    };
    UCHAR in = 1, out = 0;
    DWORD returned;
    EXPECT_EQ(DeviceIoControl(handle_, iotest::kEchoBuffered, &in, 1, &out, 1, &returned, nullptr), TRUE);
    EXPECT_EQ(hooked, 1);
    EXPECT_EQ(out, 2);
    driver_.Driver()->MajorFunction[IRP_MJ_DEVICE_CONTROL] = saved;
}
