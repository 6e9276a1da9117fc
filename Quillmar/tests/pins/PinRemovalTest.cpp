// A board pulled out while its pins stream, as a capture program meets it: the removal waits for no
// DSP answer, every read the pins hold completes at once with ERROR_DEVICE_REMOVED and so does every
// later one, the other board goes on delivering, and once the program has closed its handles the
// removal request follows, the board's id is free again and nothing is left behind.
#include "PinFixture.h"

#include "standin/debugger.h"
#include "standin/devices.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace pintest {
namespace {

constexpr ULONG kFirmwareStoppedResponding = 0xC0071051;
const std::u16string kSecondVideo = u"Talvexon HD Video Device 2";

KS_DATAFORMAT_VIDEOINFOHEADER Rgb32()
{
    return VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
}

KSDATAFORMAT_WAVEFORMATEX Stereo16()
{
    KSDATAFORMAT_WAVEFORMATEX format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    format.WaveFormatEx = {WAVE_FORMAT_PCM, 2, 48000, 192000, 4, 16, 0};
    return format;
}

size_t TraceLines(const std::string& text)
{
    const auto lines = standin::DebugOutput();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

class PinRemovalTest : public PinTest {
protected:
    // Two boards, both started; the clock at its own pace (see PinTest::Start).
    void StartTwoBoards()
    {
        Boot();
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        first_ = &MakeBoard(0);
        second_ = &MakeBoard(1);
        ASSERT_EQ(machine_->Plug(*first_), STATUS_SUCCESS);
        ASSERT_EQ(machine_->Plug(*second_), STATUS_SUCCESS);
        platform::Clock::SetSpeedFactor(1.0);
    }
    board::CaptureBoard* first_ = nullptr;
    board::CaptureBoard* second_ = nullptr;
};

TEST_F(PinRemovalTest, PullingABoardOutCompletesItsPinsReadsAtOnceAndTheOtherBoardStreamsOn)
{
    StartTwoBoards();
    // The first board's frame clocks take no frame: its pins run with every buffer at the DSP and
    // the reads below stay pending until the board goes.
    first_->Commands().SetFrameClockManual(true);
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    HANDLE other = Open(KSCATEGORY_VIDEO, kSecondVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);

    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32();
    const KSDATAFORMAT_WAVEFORMATEX wave = Stereo16();
    PinClient capture;
    PinClient sound;
    PinClient otherCapture;
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(sound.Create(audio, 0, &wave, sizeof(wave)), 0u);
    ASSERT_EQ(otherCapture.Create(other, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(otherCapture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PinClient::Batch& before = otherCapture.Read(2, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(before));
    ASSERT_EQ(before.error, 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    ASSERT_EQ(sound.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);

    PinClient::Batch& frames = capture.Read(3, 307200, kVideoHeaderBytes);
    PinClient::Batch& blocks = sound.Read(3, 1920, kVideoHeaderBytes);
    standin::DebugOutputClear();
    standin::EventLogClear();
    ASSERT_EQ(machine_->SurpriseRemove(*first_), STATUS_SUCCESS);

    // No DSP time-out ran: nothing waited for a board that answers nothing.
    EXPECT_EQ(Events(kFirmwareStoppedResponding).size(), 0u);
    EXPECT_EQ(TraceLines("No answer to command"), 0u);
    // Every read the pins held completes, failed with the device's removal.
    ASSERT_TRUE(PinClient::WaitDone(frames));
    ASSERT_TRUE(PinClient::WaitDone(blocks));
    EXPECT_EQ(frames.error, static_cast<DWORD>(ERROR_DEVICE_REMOVED));
    EXPECT_EQ(blocks.error, static_cast<DWORD>(ERROR_DEVICE_REMOVED));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(frames.Header(i).DataUsed, 0u) << i;
    // A read sent later fails at once too; the pin does not run again.
    PinClient::Batch& later = capture.Read(1, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(later));
    EXPECT_EQ(later.error, static_cast<DWORD>(ERROR_DEVICE_REMOVED));

    // The other board streams on.
    PinClient::Batch& after = otherCapture.Read(3, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(after));
    EXPECT_EQ(after.error, 0u);
    EXPECT_GT(after.Header(2).DataUsed, 0u);

    // The program lets go of what it had of the board; the removal request follows the last close,
    // which gives the board's id back: plugged again, the board is "Device 1" once more.
    capture.Close();
    sound.Close();
    CloseHandle(video);
    CloseHandle(audio);
    ASSERT_EQ(machine_->Plug(*first_), STATUS_SUCCESS);
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_VIDEO), kVideo));
    EXPECT_EQ(Events(kFirmwareStoppedResponding).size(), 0u);
    ASSERT_EQ(otherCapture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    otherCapture.Close();
}

TEST_F(PinRemovalTest, ABoardPulledOutWithAPinOpenIsRemovedOnlyOnceThePinAndFilterClose)
{
    StartTwoBoards();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32();
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PDRIVER_OBJECT driver = machine_->DriverObject(lifecycletest::kService);
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(standin::DriverDeviceObjects(driver).size(), 2u);
    ASSERT_EQ(machine_->SurpriseRemove(*first_), STATUS_SUCCESS);

    // Still open: the driver keeps the pulled board's device until the program lets go of it.
    EXPECT_EQ(standin::DriverDeviceObjects(driver).size(), 2u);
    // A pin of the removed board steps down but takes no new run.
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    EXPECT_EQ(capture.SetState(KSSTATE_ACQUIRE), Win32Of(STATUS_DEVICE_REMOVED));
    capture.Close();
    EXPECT_EQ(standin::DriverDeviceObjects(driver).size(), 2u) << "the filter is still open";

    CloseHandle(video);
    // The last close sent the removal request: the device is gone and the board's id is free, so
    // the board plugged again is "Device 1" once more.
    EXPECT_EQ(standin::DriverDeviceObjects(driver).size(), 1u);
    ASSERT_EQ(machine_->Plug(*first_), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(*first_), u"InstanceId"), 1u);
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_VIDEO), kVideo));
}

} // namespace
} // namespace pintest
