// The board's pins streaming on the simulated board as a capture program runs them: the DSP
// commands of Stop to Run and of a close while running, the format the filter keeps, frames in
// order with their counts, Acquire to Stop whatever the board answers, diagnostics refused while
// pins stream, chains rebuilt by a format change, and the lock order under concurrent settings.
#include "PinFixture.h"

#include "standin/debugger.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace pintest {
namespace {

constexpr ULONG kCreate = 3;
constexpr ULONG kQueue = 5;
constexpr ULONG kEnable = 6;
constexpr ULONG kDestroy = 14;

// Pin cycles of the lock-order test. Each start of a video pin allocates its host frames (4.3 MB
// each, filled by the pool on allocation and on free); under ThreadSanitizer every byte of those
// fills also updates shadow memory, so that build runs fewer cycles: 50 take about 46 s there on
// an idle machine and over 300 s beside a busy load, against 2.4 s in the plain build.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PIN_TESTS_UNDER_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(PIN_TESTS_UNDER_TSAN)
constexpr int kLockOrderCycles = 15;
#else
constexpr int kLockOrderCycles = 50;
#endif

std::vector<board::MailboxCommand> StreamCommands(board::CaptureBoard& board)
{
    std::vector<board::MailboxCommand> found;
    for (const auto& command : board.Mailbox().CommandLog())
        if (command.id == kCreate || command.id == kQueue || command.id == kEnable || command.id == kDestroy)
            found.push_back(command);
    return found;
}

KS_DATAFORMAT_VIDEOINFOHEADER Rgb32(LONG width, LONG height, LONGLONG frameTime = 333667)
{
    return VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, width, height, 32, KS_BI_RGB, frameTime);
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

// The debugger lines that contain `text`.
size_t TraceLines(const std::string& text)
{
    const auto lines = standin::DebugOutput();
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

Result DroppedFrames(HANDLE filter, filtertest::Record* record)
{
    *record = filtertest::Record(PROPSETID_VIDCAP_DROPPEDFRAMES, KSPROPERTY_DROPPEDFRAMES_CURRENT,
                                 KSPROPERTY_TYPE_GET, 48);
    return filtertest::FilterTest::Send(filter, *record);
}

Result Diagnostics(HANDLE filter, ULONG command, UCHAR restart)
{
    filtertest::Record record(PROPSETID_BREVICOR_DIAGNOSTICS, 0, KSPROPERTY_TYPE_SET, 1849);
    record.Put<ULONG>(60, command);
    record.data()[1848] = restart;
    return filtertest::FilterTest::Send(filter, record);
}

TEST_F(PinTest, ACapturePinRunsOnTheBoardDeliversFramesInOrderAndStopsTheStreamWhenClosedRunning)
{
    board::CaptureBoard& board = Start("\"VideoDMABuffers\"=dword:00000006\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    filtertest::Record dropped(PROPSETID_VIDCAP_DROPPEDFRAMES, 0, 0, 48);
    EXPECT_EQ(DroppedFrames(video, &dropped).error, Win32Of(STATUS_UNSUCCESSFUL)); // no pin yet

    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32(320, 240);
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    board.Mailbox().ClearCommandLog();
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);

    // Create, one queue command a DMA buffer ("VideoDMABuffers"), then the enable.
    const auto started = StreamCommands(board);
    ASSERT_EQ(started.size(), 8u);
    EXPECT_EQ(started.front().id, kCreate);
    for (size_t i = 1; i <= 6; ++i)
        EXPECT_EQ(started[i].id, kQueue) << i;
    EXPECT_EQ(started.back().id, kEnable);
    EXPECT_EQ(started.back().payload[0] & 0xFFFF, 1u);

    // The filter keeps the running format under the board's key.
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(board), u"CaptureDataFormatType"), 1u);
    const auto stored = standin::ReadRegistryValue(DriverKey(board), u"CaptureDataFormat");
    ASSERT_TRUE(stored.has_value());
    std::vector<UCHAR> connection(152);
    ASSERT_EQ(capture.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_GET,
                               connection.data(), DWORD(connection.size())),
              0u);
    EXPECT_EQ(stored->data, connection);

    PinClient::Batch& frames = capture.Read(4, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(frames));
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_GT(frames.Header(i).DataUsed, 0u) << i;
        EXPECT_LE(frames.Header(i).DataUsed, 307200u) << i;
        if (i > 0) {
            EXPECT_GT(frames.Header(i).PresentationTime.Time, frames.Header(i - 1).PresentationTime.Time)
                << i;
            EXPECT_GT(frames.FrameInfo(i).PictureNumber, frames.FrameInfo(i - 1).PictureNumber) << i;
        }
    }
    ASSERT_EQ(DroppedFrames(video, &dropped).error, 0u);
    EXPECT_GE(dropped.Get<LONGLONG>(24), 4);
    EXPECT_EQ(dropped.Get<ULONG>(40), 307200u);

    board.Mailbox().ClearCommandLog();
    capture.Close();
    // The stream's teardown may reach the DSP after the close returns: wait for its destroy.
    const auto destroyed = [&] {
        for (const auto& command : StreamCommands(board))
            if (command.id == kDestroy)
                return true;
        return false;
    };
    testsupport::WaitUntil(destroyed);
    // Buffers the DSP hands back meanwhile are queued again; the stream ends with these two.
    std::vector<board::MailboxCommand> stopped;
    for (const auto& command : StreamCommands(board))
        if (command.id == kEnable || command.id == kDestroy)
            stopped.push_back(command);
    std::string ids;
    for (const auto& command : StreamCommands(board))
        ids += std::to_string(command.id) + "/" + std::to_string(command.payload[0] & 0xFFFF) + " ";
    ASSERT_EQ(stopped.size(), 2u) << ids;
    EXPECT_EQ(stopped[0].id, kEnable);
    EXPECT_EQ(stopped[0].payload[0] & 0xFFFF, 0u);
    EXPECT_EQ(stopped[1].id, kDestroy);
}

TEST_F(PinTest, AcquireToStopSucceedsWhenTheBoardFailsTheDestroyAndDiagnosticsWaitForStop)
{
    board::CaptureBoard& board = Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32(320, 240);
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(capture.SetState(KSSTATE_ACQUIRE), 0u);

    // A reset would pull the DSP from under the stream.
    EXPECT_EQ(Diagnostics(video, 0, 1).error, Win32Of(STATUS_INVALID_DEVICE_STATE));
    EXPECT_EQ(Diagnostics(video, 8, 0).error, Win32Of(STATUS_INVALID_DEVICE_STATE));

    board::MailboxService::CommandFault fault;
    fault.result = 0x17;
    board.Mailbox().SetCommandFault(kDestroy, fault);
    board.Mailbox().ClearCommandLog();
    EXPECT_EQ(capture.SetState(KSSTATE_STOP), 0u);
    EXPECT_EQ(StreamCommands(board).back().id, kDestroy);
    board.Mailbox().SetCommandFault(kDestroy, std::nullopt);

    // Stopped, the same pin can run again, and the reset is allowed.
    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    EXPECT_EQ(Diagnostics(video, 0, 1).error, 0u);
}

TEST_F(PinTest, AFormatChangeRebuildsARunningPinsChainOnceAndAnAudioChangeWaitsForStop)
{
    board::CaptureBoard& board = Start("\"TraceHighs\"=dword:00000001\r\n");
    (void)board;
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32(320, 240);
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    const std::string builds = "PID=1, Stream State";

    KS_DATAFORMAT_VIDEOINFOHEADER slower = Rgb32(320, 240, 400000);
    const size_t before = TraceLines(builds);
    ASSERT_EQ(capture.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_SET,
                               &slower, sizeof(slower)),
              0u);
    EXPECT_EQ(TraceLines(builds), before); // in Stop: nothing runs

    ASSERT_EQ(capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    const size_t running = TraceLines(builds);
    EXPECT_EQ(running, before + 1); // the chain of Acquire to Pause
    const KS_DATAFORMAT_VIDEOINFOHEADER back = Rgb32(320, 240);
    ASSERT_EQ(capture.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_SET,
                               const_cast<KS_DATAFORMAT_VIDEOINFOHEADER*>(&back), sizeof(back)),
              0u);
    EXPECT_EQ(TraceLines(builds), running + 1);
    // The rebuilt chain still delivers.
    PinClient::Batch& frames = capture.Read(2, 307200, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(frames));
    EXPECT_GT(frames.Header(1).DataUsed, 0u);
    ASSERT_EQ(capture.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);

    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    PinClient sound;
    KSDATAFORMAT_WAVEFORMATEX wave = Stereo16();
    ASSERT_EQ(sound.Create(audio, 0, &wave, sizeof(wave)), 0u);
    ASSERT_EQ(sound.SetState(KSSTATE_ACQUIRE), 0u);
    wave.WaveFormatEx.nSamplesPerSec = 32000;
    EXPECT_EQ(sound.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_SET,
                             &wave, sizeof(wave)),
              Win32Of(STATUS_INVALID_DEVICE_STATE));
    ASSERT_EQ(sound.SetState(KSSTATE_STOP), 0u);
    EXPECT_EQ(sound.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_SET,
                             &wave, sizeof(wave)),
              0u);
}

TEST_F(PinTest, AnAudioPinDeliversTenMillisecondBuffersAndItsFilterCountsThem)
{
    Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    PinClient sound;
    const KSDATAFORMAT_WAVEFORMATEX wave = Stereo16();
    ASSERT_EQ(sound.Create(audio, 0, &wave, sizeof(wave)), 0u);
    filtertest::Record dropped(PROPSETID_VIDCAP_DROPPEDFRAMES, 0, 0, 48);
    ASSERT_EQ(DroppedFrames(audio, &dropped).error, 0u); // a pin without a sink: zeros
    EXPECT_EQ(dropped.Get<LONGLONG>(24), 0);
    ASSERT_EQ(sound.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PinClient::Batch& blocks = sound.Read(3, 1920, kVideoHeaderBytes);
    ASSERT_TRUE(PinClient::WaitDone(blocks));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_GT(blocks.Header(i).DataUsed, 0u) << i;
        EXPECT_LE(blocks.Header(i).DataUsed, 1920u) << i;
        if (i > 0) {
            EXPECT_GT(blocks.Header(i).PresentationTime.Time, blocks.Header(i - 1).PresentationTime.Time)
                << i;
        }
    }
    ASSERT_EQ(DroppedFrames(audio, &dropped).error, 0u);
    EXPECT_GE(dropped.Get<LONGLONG>(24), 3);
    EXPECT_EQ(dropped.Get<ULONG>(40), 1920u);
    ASSERT_EQ(sound.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
}

// A wave format of the audio pin: the plain form (tag 1) or the extensible one with `validBits`.
KSDATAFORMAT_WAVEFORMATEXTENSIBLE Wave(bool extensible, ULONG rate, USHORT bits, USHORT validBits)
{
    KSDATAFORMAT_WAVEFORMATEXTENSIBLE format{};
    format.DataFormat.FormatSize = extensible ? sizeof(format) : sizeof(KSDATAFORMAT_WAVEFORMATEX);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    const USHORT align = static_cast<USHORT>(2 * bits / 8);
    format.WaveFormatExt.Format = {USHORT(extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM), 2, rate,
                                   rate * align, align, bits, USHORT(extensible ? 22 : 0)};
    if (extensible) {
        format.WaveFormatExt.Samples.wValidBitsPerSample = validBits;
        format.WaveFormatExt.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        format.WaveFormatExt.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    return format;
}

// The levels of one channel of delivered samples, as fractions of full scale.
struct ChannelLevels {
    double minimum = 0;
    double maximum = 0;
};

// Reads `bits`-bit little-endian samples (8 bits: offset binary, else signed) of `channel`.
ChannelLevels LevelsOf(const std::vector<UCHAR>& data, ULONG used, ULONG bits, ULONG channel)
{
    const ULONG bytes = bits / 8;
    const double fullScale = std::ldexp(1.0, int(bits) - 1);
    ChannelLevels levels{1.0, -1.0};
    for (ULONG at = channel * bytes; at + bytes <= used; at += 2 * bytes) {
        uint32_t raw = 0;
        for (ULONG b = 0; b < bytes; ++b)
            raw |= uint32_t(data[at + b]) << (8 * b);
        int64_t value;
        if (bits == 8) {
            value = int64_t(raw) - 128;
        } else {
            const uint32_t sign = 1u << (bits - 1);
            value = int64_t(raw & (sign - 1)) - ((raw & sign) != 0 ? int64_t(sign) : 0);
        }
        levels.minimum = std::min(levels.minimum, double(value) / fullScale);
        levels.maximum = std::max(levels.maximum, double(value) / fullScale);
    }
    return levels;
}

// Runs an audio pin of `format` for three 10 ms buffers and returns each channel's levels; the
// buffers must be filled to the format's own size.
std::array<ChannelLevels, 2> CaptureTone(HANDLE audio, const KSDATAFORMAT_WAVEFORMATEXTENSIBLE& format)
{
    const WAVEFORMATEX& wave = format.WaveFormatExt.Format;
    const ULONG bytes = ULONG(wave.nBlockAlign) * (wave.nSamplesPerSec / 100);
    std::array<ChannelLevels, 2> levels{};
    PinClient sound;
    EXPECT_EQ(sound.Create(audio, 0, &format, format.DataFormat.FormatSize), 0u);
    EXPECT_EQ(sound.StepTo(KSSTATE_STOP, KSSTATE_RUN), 0u);
    PinClient::Batch& blocks = sound.Read(3, bytes + 64, kVideoHeaderBytes);
    EXPECT_TRUE(PinClient::WaitDone(blocks));
    EXPECT_EQ(sound.StepTo(KSSTATE_RUN, KSSTATE_STOP), 0u);
    // The first buffer may start with the stream; the last two are whole.
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(blocks.Header(i).DataUsed, bytes) << "buffer " << i;
        for (ULONG channel = 0; channel < 2; ++channel) {
            const ChannelLevels found = LevelsOf(blocks.buffers[i], blocks.Header(i).DataUsed, wave.wBitsPerSample,
                                                 channel);
            levels[channel].minimum = std::min(levels[channel].minimum, found.minimum);
            levels[channel].maximum = std::max(levels[channel].maximum, found.maximum);
        }
    }
    return levels;
}

TEST_F(PinTest, EveryAudioFormatDeliversTheToneSignedAtTheSameLevelInItsOwnSampleSize)
{
    Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);

    // The pin's own intersection default: 32 bits, 32 valid.
    KSDATARANGE_AUDIO any{};
    any.DataRange.FormatSize = sizeof(any);
    any.DataRange.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    any.DataRange.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    any.DataRange.Specifier = GUID_NULL;
    const auto* anyBytes = reinterpret_cast<const UCHAR*>(&any);
    std::vector<UCHAR> answer;
    ASSERT_EQ(Intersect(audio, 0, {std::vector<UCHAR>(anyBytes, anyBytes + sizeof(any))}, 104, &answer).error, 0u);
    const auto offered = As<KSDATAFORMAT_WAVEFORMATEXTENSIBLE>(answer);
    ASSERT_EQ(offered.WaveFormatExt.Format.wBitsPerSample, 32u);
    ASSERT_EQ(offered.WaveFormatExt.Samples.wValidBitsPerSample, 32u);

    // 16 bits is the reference: the board's tone at the input's volume.
    const auto reference = CaptureTone(audio, Wave(false, 48000, 16, 16));
    for (ULONG channel = 0; channel < 2; ++channel) {
        EXPECT_GT(reference[channel].maximum, 0.01) << channel;
        EXPECT_NEAR(reference[channel].minimum, -reference[channel].maximum, 2.0 / 32768) << channel;
    }

    struct Case {
        bool extensible;
        ULONG rate;
        USHORT bits;
        USHORT validBits;
    };
    const Case cases[] = {
        {true, 48000, 32, 32}, {false, 48000, 32, 32}, {true, 48000, 32, 24}, {true, 48000, 32, 20},
        {false, 48000, 24, 24}, {true, 48000, 24, 24}, {true, 48000, 24, 20}, {true, 48000, 16, 12},
        {false, 48000, 8, 8},   {true, 44100, 32, 32}, {true, 32000, 24, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.validBits) + " valid, " +
                     (c.extensible ? "extensible, " : "plain, ") + std::to_string(c.rate) + " Hz");
        auto format = c.extensible && c.bits == 32 && c.validBits == 32 && c.rate == 48000
                          ? offered
                          : Wave(c.extensible, c.rate, c.bits, c.validBits);
        const auto levels = CaptureTone(audio, format);
        // Within three steps of the coarser of the two sizes: the sample is cut to its size before
        // the volume's gain (up to +6 dB) scales it, cut included. Another rate picks other samples
        // of the tone, whose peaks lie within 1 % of the reference's.
        const double step = std::ldexp(1.0, -(std::min<int>(c.bits, 16) - 1)) * 3.0 +
                            (c.rate != 48000 ? 0.01 * reference[0].maximum : 0.0);
        for (ULONG channel = 0; channel < 2; ++channel) {
            EXPECT_NEAR(levels[channel].maximum, reference[channel].maximum, step) << channel;
            EXPECT_NEAR(levels[channel].minimum, reference[channel].minimum, step) << channel;
        }
    }

    // A sample size no container has is not accepted.
    for (USHORT bits : {USHORT(12), USHORT(20)}) {
        PinClient odd;
        const auto format = Wave(true, 48000, bits, bits);
        EXPECT_NE(odd.Create(audio, 0, &format, format.DataFormat.FormatSize), 0u) << bits;
    }
}

TEST_F(PinTest, TheLockOrderHoldsWhilePerformanceSettingsChangeAndTwoPinsCycle)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    HANDLE settings = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(settings, INVALID_HANDLE_VALUE);
    PinClient capture;
    PinClient preview;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb = Rgb32(320, 240);
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    ASSERT_EQ(preview.Create(video, kPreviewPin, &rgb, sizeof(rgb)), 0u);

    filtertest::Record stored(PROPSETID_BREVICOR_PERFORMANCE, 0, KSPROPERTY_TYPE_GET, 72);
    stored.Put<ULONG>(24, 1);
    ASSERT_EQ(FilterTest::Send(settings, stored).error, 0u);
    std::atomic<bool> done{false};
    std::atomic<int> sets{0};
    std::thread setter([&] {
        filtertest::Record record(PROPSETID_BREVICOR_PERFORMANCE, 0, KSPROPERTY_TYPE_SET, 72);
        std::memcpy(record.data() + 24, stored.data() + 24, 72 - 24);
        record.Put<ULONG>(24, 255);
        for (ULONG i = 0; !done.load(); ++i) {
            record.Put<ULONG>(32, 6 + i % 4); // the video buffer count
            if (FilterTest::Send(settings, record).error == 0)
                ++sets;
        }
    });
    // A failed step ends the cycles, never the test with the setter still running.
    for (int cycle = 0; cycle < kLockOrderCycles; ++cycle) {
        const DWORD steps[4] = {capture.StepTo(KSSTATE_STOP, KSSTATE_RUN), preview.StepTo(KSSTATE_STOP, KSSTATE_RUN),
                                preview.StepTo(KSSTATE_RUN, KSSTATE_STOP), capture.StepTo(KSSTATE_RUN, KSSTATE_STOP)};
        const bool stepped = steps[0] == 0 && steps[1] == 0 && steps[2] == 0 && steps[3] == 0;
        EXPECT_TRUE(stepped) << "cycle " << cycle << ": " << steps[0] << " " << steps[1] << " " << steps[2] << " "
                             << steps[3];
        if (!stepped)
            break;
    }
    done = true;
    setter.join();
    EXPECT_GT(sets.load(), 0);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

} // namespace
} // namespace pintest
