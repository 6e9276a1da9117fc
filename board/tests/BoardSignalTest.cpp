// The inputs' signals as the host sees them: the input-state message of every change of the
// captured input, detection of every standard from its message as the host's detector does it,
// filling stopped and resumed by the cable, error codes, the boot announcement and the standards
// table itself.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

#include "StreamTestHost.h"
#include "board/MailboxLayout.h"
#include "board/SignalModel.h"

namespace board {
namespace {

using testing::kVideoBufferSize;

bool GoodSignal(uint32_t format)
{
    return (format & 0xA00188) == 0xA00188 && (format & 0x4C0000) == 0;
}

// The host's standard detection from an input-state message: total clocks of a frame from the
// measured line and blanking, the rate in hundredths, and the bit by clock, lines and rate.
struct Detected {
    uint32_t bit = 0;
    uint32_t rate = 0;
};

Detected Detect(const MailboxResponse& message)
{
    const uint32_t format = message.Word(kInputStateFormat);
    const uint32_t horizontal = message.Word(kInputStateHorizontal);
    const uint32_t vertical = message.Word(kInputStateVertical);
    const uint32_t counted = message.Word(kInputStateBlankingCounted);
    const uint32_t captured = message.Word(kInputStateBlankingCaptured);
    const bool hd = format & 1, thousandOne = format & 2, interlaced = format & 4;
    const uint32_t active = horizontal & 0x7FF, hblank = horizontal >> 11 & 0x1FFF;
    const uint32_t lines0 = vertical & 0xFFF, lines1 = interlaced ? vertical >> 12 & 0xFFF : 0;
    uint32_t blank0 = captured & 0x7F, blank1 = captured >> 8 & 0x7F;
    const uint32_t countedSum = (counted & 0x7F) + (counted >> 8 & 0x7F);
    if (countedSum != blank0 + blank1) {
        blank0 = (countedSum + 1) / 2;
        blank1 = countedSum / 2;
    }
    const uint64_t lines = lines0 + lines1 + blank0 + blank1;
    uint64_t clocks = lines * (active + hblank);
    const uint32_t activeLines = lines0 + lines1;
    Detected d;
    if (hd) {
        d.rate = static_cast<uint32_t>(std::nearbyint((thousandOne ? 74.176e6 : 74.25e6) / clocks * 100));
    } else {
        clocks *= 2;
        d.rate = static_cast<uint32_t>(std::nearbyint(27e6 / clocks * 100));
    }
    const uint32_t r = d.rate;
    if (!hd) {
        d.bit = interlaced ? (activeLines < 576 ? 0x1 : 0x2) : (activeLines == 483 ? 0x800000 : 0);
    } else if (activeLines < 1035) {
        d.bit = r > 5994 ? 0x4 : r == 5994 ? 0x8 : r >= 5000 ? 0x10 : r >= 3000 ? 0x20 : r >= 2997 ? 0x40
                : r >= 2500 ? 0x20000 : r >= 2400 ? 0x80 : 0x100;
    } else if (activeLines < 1080) {
        d.bit = r >= 3000 ? 0x200000 : 0x400000;
    } else if (interlaced) {
        d.bit = r >= 3000 ? 0x200 : r >= 2997 ? 0x400 : r >= 2500 ? 0x800 : r >= 2400 ? 0x8000 : 0x10000;
    } else {
        d.bit = r >= 3000 ? 0x1000 : r >= 2997 ? 0x2000 : r >= 2500 ? 0x4000 : r >= 2400 ? 0x8000 : 0x10000;
    }
    return d;
}

class BoardSignal : public testing::StreamTest {};

TEST_F(BoardSignal, EveryStandardsMessageIsDetectedAsItsBitAndRate)
{
    const std::map<uint32_t, uint32_t> rates = {
        {0x1, 2997},     {0x2, 2500},     {0x4, 6000},     {0x8, 5994},      {0x10, 5000},     {0x20, 3000},
        {0x40, 2997},    {0x80, 2400},    {0x100, 2398},   {0x200, 3000},    {0x400, 2997},    {0x800, 2500},
        {0x1000, 3000},  {0x2000, 2997},  {0x4000, 2500},  {0x8000, 2400},   {0x10000, 2398},  {0x20000, 2500},
        {0x200000, 3000}, {0x400000, 2997}, {0x800000, 2997}};
    ASSERT_EQ(VideoStandards::All().size(), rates.size());
    // From NTSC (the default) through every other standard and back.
    for (const VideoStandard& standard : VideoStandards::All()) {
        if (standard.bit == VideoStandards::kNtsc)
            continue;
        ASSERT_TRUE(commands().SetStandard(0, standard.bit));
        const MailboxResponse message = Next();
        ASSERT_EQ(message.Id(), kDspMessageInputState);
        EXPECT_EQ(message.Tag(), 0u);
        EXPECT_EQ(message.Result(), kDspResultSuccess);
        EXPECT_TRUE(GoodSignal(message.Word(kInputStateFormat)));
        const Detected detected = Detect(message);
        EXPECT_EQ(detected.bit, standard.bit) << standard.name;
        EXPECT_EQ(detected.rate, rates.at(standard.bit)) << standard.name;
    }
    ASSERT_TRUE(commands().SetStandard(0, VideoStandards::kNtsc));
    const Detected ntsc = Detect(Next());
    EXPECT_EQ(ntsc.bit, 0x1u);
    EXPECT_EQ(ntsc.rate, 2997u);
    // The same standard again changes nothing and says nothing; an unknown bit is refused.
    EXPECT_TRUE(commands().SetStandard(0, VideoStandards::kNtsc));
    EXPECT_FALSE(commands().SetStandard(0, 0x40000));
    EXPECT_FALSE(commands().SetStandard(5, VideoStandards::kPal));
    ExpectQuiet(10);
}

TEST_F(BoardSignal, PullingTheCableStopsFillingAndPluggingItResumes)
{
    const uint32_t handle = CreateQueued(0, 9, kVideoBufferSize);
    Enable(handle);
    const MailboxResponse first = NextFill();
    ASSERT_EQ(first.Result(), kDspResultSuccess);
    Queue(handle, IndexOf(first));

    ASSERT_TRUE(commands().PullCable());
    // Buffers filled before the pull may still come out ahead of the message; on a slow host they
    // may be every buffer, so the last of them goes back to the queue, which then holds one at least.
    MailboxResponse message = Next();
    std::optional<uint32_t> lastFilled;
    for (; message.Id() == kCommandQueueCaptureBuffer; message = Next())
        lastFilled = IndexOf(message);
    ASSERT_EQ(message.Id(), kDspMessageInputState);
    EXPECT_FALSE(GoodSignal(message.Word(kInputStateFormat)));
    EXPECT_EQ(message.Word(kInputStateHorizontal), 0u);
    if (lastFilled) {
        Queue(handle, *lastFilled);
        Taken();
    }
    const uint64_t filled = commands().Stream(handle)->filled;
    const size_t queued = commands().Stream(handle)->queued.size();
    EXPECT_GE(queued, 1u);
    ExpectQuiet(150); // several frames' time: nothing filled, the buffers kept
    EXPECT_EQ(commands().Stream(handle)->filled, filled);
    EXPECT_EQ(commands().Stream(handle)->queued.size(), queued);
    Enable(handle, kDspErrorNoSignal);
    EXPECT_TRUE(commands().Stream(handle)->enabled); // it was enabled and stays so
    EXPECT_FALSE(commands().SignalPresent());

    ASSERT_TRUE(commands().PlugCable());
    const MailboxResponse plugged = Next();
    ASSERT_EQ(plugged.Id(), kDspMessageInputState);
    EXPECT_TRUE(GoodSignal(plugged.Word(kInputStateFormat)));
    EXPECT_EQ(plugged.Word(kInputStateFormat) & 7, 4u); // SD clock, interlaced
    EXPECT_EQ(plugged.Word(kInputStateHorizontal), 720u | 138u << 11);
    EXPECT_EQ(plugged.Word(kInputStateVertical), 244u | 243u << 12);
    EXPECT_EQ(plugged.Word(kInputStateBlankingCounted), 18u | 20u << 8);
    EXPECT_EQ(plugged.Word(kInputStateBlankingCaptured), 18u | 20u << 8);
    EXPECT_EQ(plugged.Word(kInputStateAudioWords), 0u);      // 48 kHz, 2-bit codes
    EXPECT_EQ(plugged.Word(kInputStateAudioWords + 4), 0u);  // 3-bit codes
    EXPECT_EQ(plugged.Word(kInputStateAudioWords + 8), 0xFu);
    EXPECT_EQ(plugged.Word(kInputStateAudioWords + 12), 0xFu);
    const MailboxResponse resumed = NextFill();
    EXPECT_EQ(resumed.Result(), kDspResultSuccess);
    EXPECT_GT(commands().Stream(handle)->filled, filled);
    // A plug of a plugged cable is no change.
    EXPECT_EQ(SendPastFills(kCommandEnableStream, handle, {0}).Id(), kCommandEnableStream);
    EXPECT_TRUE(commands().PlugCable());
    ExpectQuiet(10);
    EXPECT_FALSE(commands().PullCable(7));
}

TEST_F(BoardSignal, OnlyTheCapturedInputIsAnnouncedAndErrorsTravelInTheFormatWord)
{
    ASSERT_EQ(commands().InputCount(), 2u);
    EXPECT_FALSE(commands().Signal(1)->Plugged()); // the test connector
    EXPECT_TRUE(commands().PlugCable(1));
    EXPECT_TRUE(commands().SetStandard(1, VideoStandards::kPal));
    ExpectQuiet(10);
    EXPECT_EQ(commands().Signal(1)->Standard().bit, VideoStandards::kPal);

    ASSERT_TRUE(commands().ReportErrors(0, 2, 4));
    const MailboxResponse message = Next();
    EXPECT_EQ(message.Word(kInputStateFormat) >> 24, 0x42u);
    EXPECT_TRUE(GoodSignal(message.Word(kInputStateFormat)));
    EXPECT_FALSE(commands().ReportErrors(0, 6, 0));
    EXPECT_FALSE(commands().ReportErrors(0, 0, 5));
    // The codes were one report: the next message carries none.
    ASSERT_TRUE(commands().SetAudio(0, AudioSignal{0x01, 0x00, 32000}));
    const MailboxResponse audio = Next();
    EXPECT_EQ(audio.Word(kInputStateFormat) >> 24, 0u);
    EXPECT_EQ(audio.Word(kInputStateAudioWords), 2u);
    EXPECT_EQ(audio.Word(kInputStateAudioWords + 4), 2u);
    EXPECT_EQ(audio.Word(kInputStateAudioWords + 8), 3u);
    EXPECT_EQ(audio.Word(kInputStateAudioWords + 12), 0u);
}

TEST(BoardAnnouncement, TheInputStateComesFirstAfterBootAndTheHostsRestart)
{
    BoardConfiguration configuration;
    configuration.bootAnnouncement = true;
    CaptureBoard board({}, configuration);
    testing::BootMainFirmware(board);
    const auto first = testing::AwaitResponse(board);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Id(), kDspMessageInputState);
    EXPECT_EQ(first->Word(kInputStateVertical), 244u | 243u << 12);
    // The host's "already running" start.
    testing::RestartMailbox(board);
    const auto again = testing::AwaitResponse(board);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Id(), kDspMessageInputState);
    EXPECT_EQ(board.Mailbox().HostRestarts(), 1u);
}

TEST(BoardAnnouncement, OffByDefaultAndTheConfigurationShapesTheBoard)
{
    BoardConfiguration configuration;
    configuration.subsystemId = 0x0002;
    configuration.daughterCard = 16;
    configuration.videoInputs = {VideoInputKind::Sdi};
    Eeprom::Contents eeprom = Eeprom::DefaultContents();
    eeprom[3] = 0x0002;
    configuration.eeprom = eeprom;
    CaptureBoard board({}, configuration);
    EXPECT_EQ(board.Identity().subsystemId, 0x0002);
    EXPECT_EQ(board.Eeprom().Word(3), 0x0002);
    EXPECT_EQ(board.Commands().DcSignature(), 16u);
    EXPECT_EQ(board.Commands().InputCount(), 1u);
    testing::BootMainFirmware(board);
    EXPECT_FALSE(testing::AwaitResponse(board, 0.05));

    CaptureBoard plain;
    EXPECT_EQ(plain.Identity().subsystemId, 0x0001);
    EXPECT_EQ(plain.Eeprom().Word(3), 0x0001);
}

TEST(VideoStandardsTable, EveryRasterFillsItsClockAndEveryFrameIsWholeTicks)
{
    for (const VideoStandard& s : VideoStandards::All()) {
        const uint64_t samples = uint64_t{s.activeWidth + s.horizontalBlanking} * s.TotalLines() *
                                 (s.HdClock() ? 1 : 2);
        // samples x rate = clock, with the 1000/1001 clock 74.25 MHz / 1.001.
        const uint64_t clock = s.ThousandOneClock() ? 74'250'000 : s.clockHz;
        const uint64_t clockDenominator = s.ThousandOneClock() ? 1001 : 1;
        const uint64_t clockNumerator = s.ThousandOneClock() ? 1000 : 1;
        EXPECT_EQ(samples * s.rateNumerator * clockDenominator, clock * clockNumerator * s.rateDenominator)
            << s.name;
        EXPECT_EQ(VideoStandard::kTicksPerSecond * s.rateDenominator % s.rateNumerator, 0u) << s.name;
        EXPECT_EQ(s.interlaced, s.activeLines[1] != 0) << s.name;
        EXPECT_TRUE(s.CaptureGeometry(false).Valid()) << s.name;
        EXPECT_LE(s.CaptureGeometry(false).DataSize(), kVideoBufferSize) << s.name;
    }
    EXPECT_EQ(VideoStandards::Find(0x1)->FrameTicks(), 3'003'000u);
    EXPECT_EQ(VideoStandards::Find(0x100)->FrameTicks(), 3'753'750u);
    EXPECT_EQ(VideoStandards::Find(0x8)->FrameTicks(), 1'501'500u);
    EXPECT_EQ(VideoStandards::Find(0x800)->CaptureGeometry(true).activeWidth, 960u);
    EXPECT_EQ(VideoStandards::Find(0x200000)->CaptureGeometry(true).activeWidth, 1920u); // 1035 lines
    EXPECT_EQ(VideoStandards::Find(0x4)->CaptureGeometry(true).activeWidth, 1280u);
    EXPECT_EQ(VideoStandards::Find(0x40000), nullptr);
}

} // namespace
} // namespace board
