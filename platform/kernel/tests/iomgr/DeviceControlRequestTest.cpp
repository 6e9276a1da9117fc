// Device-control requests the I/O manager builds (IoBuildDeviceIoControlRequest): how each transfer
// method passes the caller's buffers, what comes back and how many bytes, and requests pended and
// completed from another thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "../core/Breaches.h"
#include "TestDriver.h"
#include "standin/devicefile.h"

using iotest::SendDeviceControl;
using iotest::TestDriver;
using testing::ElementsAre;
using testing::HasSubstr;

class DeviceControlRequest : public testing::Test {
protected:
    TestDriver driver_;
    PDEVICE_OBJECT device_ = driver_.AddDevice(u"Control");
};

TEST_F(DeviceControlRequest, BufferedOutputComesBackForTheBytesTheDriverReports)
{
    std::vector<UCHAR> in = {1, 2, 3, 4};
    std::vector<UCHAR> out(6, 0xEE);
    const auto result = SendDeviceControl(device_, iotest::kEchoBuffered, in.data(), 4, out.data(), 6);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.Information, 4u);
    EXPECT_THAT(out, ElementsAre(2, 3, 4, 5, 0xEE, 0xEE));
    EXPECT_THAT(in, ElementsAre(1, 2, 3, 4)); // the input went through a copy
}

TEST_F(DeviceControlRequest, ABufferOverflowWarningStillBringsTheDataBack)
{
    UCHAR in[5] = {10, 20, 30, 40, 50};
    UCHAR out[3] = {};
    const auto result = SendDeviceControl(device_, iotest::kEchoBuffered, in, 5, out, 3);
    EXPECT_EQ(result.Status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(result.Information, 3u);
    EXPECT_THAT(out, ElementsAre(11, 21, 31));
}

TEST_F(DeviceControlRequest, AnErrorBringsNoDataBack)
{
    ULONG in[2] = {ULONG(STATUS_INVALID_PARAMETER), 2};
    UCHAR out[8];
    std::memset(out, 0x5A, sizeof out);
    const auto result = SendDeviceControl(device_, iotest::kCompleteWith, in, 8, out, 8);
    EXPECT_EQ(result.Status, STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(std::all_of(out, out + 8, [](UCHAR b) { return b == 0x5A; }));
}

TEST_F(DeviceControlRequest, ADriverClaimingMoreThanTheOutputBufferIsReportedAndBounded)
{
    QuietBreaches quiet;
    ULONG in[2] = {ULONG(STATUS_SUCCESS), 100};
    UCHAR out[12] = {};
    const auto result = SendDeviceControl(device_, iotest::kCompleteWith, in, 8, out, 12);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.Information, 12u);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_THAT(breaches[0].detail, HasSubstr("Information 100 for an output buffer of 12 bytes"));
}

TEST_F(DeviceControlRequest, InDirectShowsTheSecondBufferToTheDriverThroughAnMdl)
{
    UCHAR header = 0;
    std::vector<UCHAR> data = {9, 8, 7, 6, 5, 4, 3};
    const auto result = SendDeviceControl(device_, iotest::kReadInDirect, &header, 1, data.data(), 7);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.Information, 7u);
    EXPECT_EQ(TestDriver::State(device_).lastDirectInput, data);
    EXPECT_EQ(standin::LiveMdlCount(), 0u); // the I/O manager freed it
}

TEST_F(DeviceControlRequest, OutDirectLetsTheDriverWriteTheCallersBuffer)
{
    UCHAR in[5] = {3, 0, 0, 0, 0xAB};
    std::vector<UCHAR> out(5, 0);
    auto result = SendDeviceControl(device_, iotest::kFillOutDirect, in, 5, out.data(), 5);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.Information, 3u);
    EXPECT_THAT(out, ElementsAre(0xAB, 0xAB, 0xAB, 0, 0));
    in[0] = 6;
    result = SendDeviceControl(device_, iotest::kFillOutDirect, in, 5, out.data(), 5);
    EXPECT_EQ(result.Status, STATUS_BUFFER_TOO_SMALL);
}

TEST_F(DeviceControlRequest, NeitherPassesTheCallersPointersUntouched)
{
    const char in[] = "raw bytes";
    char out[16] = {};
    const auto result =
        SendDeviceControl(device_, iotest::kCopyNeither, const_cast<char*>(in), sizeof in, out, 16);
    EXPECT_EQ(result.Status, STATUS_SUCCESS);
    EXPECT_EQ(result.Information, sizeof in);
    EXPECT_STREQ(out, "raw bytes");
}

TEST_F(DeviceControlRequest, APendedRequestCompletedFromAnotherThreadReachesItsWaiter)
{
    KEVENT event{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb{};
    UCHAR out[4] = {};
    PIRP irp =
        IoBuildDeviceIoControlRequest(iotest::kPend, device_, nullptr, 0, out, 4, FALSE, &event, &iosb);
    ASSERT_EQ(IoCallDriver(device_, irp), STATUS_PENDING);
    std::thread completer([this] {
        ASSERT_TRUE(TestDriver::WaitForQueued(device_));
        ASSERT_TRUE(TestDriver::CompleteQueued(device_, STATUS_SUCCESS, 2));
    });
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    completer.join();
    EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
    EXPECT_EQ(iosb.Information, 2u);
}

TEST_F(DeviceControlRequest, InternalRequestsAndMissingBuffers)
{
    QuietBreaches quiet;
    KEVENT event{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    EXPECT_EQ(IoBuildDeviceIoControlRequest(iotest::kEchoBuffered, device_, nullptr, 4, nullptr, 0, FALSE,
                                            &event, &iosb),
              nullptr);
    EXPECT_EQ(quiet.Take().size(), 1u);
    // The test driver serves IRP_MJ_DEVICE_CONTROL only; the internal one meets the default routine.
    PIRP irp = IoBuildDeviceIoControlRequest(iotest::kEchoBuffered, device_, nullptr, 0, nullptr, 0, TRUE,
                                             &event, &iosb);
    EXPECT_EQ(IoGetNextIrpStackLocation(irp)->MajorFunction, IRP_MJ_INTERNAL_DEVICE_CONTROL);
    EXPECT_EQ(IoCallDriver(device_, irp), STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(iosb.Status, STATUS_INVALID_DEVICE_REQUEST);
}
