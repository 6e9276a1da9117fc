// Capture applications' graphs over the real driver: the crossbar connected to the capture filter's
// analog input by medium, the preview pin at 320 x 240 RGB32 and the capture pin at 320 x 240 UYVY
// through sample grabbers to null renderers, and the audio filter at 16-bit 48000 Hz stereo; what
// reaches each grabber's callback on the streaming thread is the board's colour bars and its tones
// (1 kHz on the left).
#include "BoardGraphFixture.h"

#include "ColorBarExpected.h"
#include "board/ColourBars.h"
#include "board/Tones.h"
#include "um/windows.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using graphtest::BoardGraphTest;

namespace {

constexpr LONG kWidth = 320;
constexpr LONG kHeight = 240;
constexpr ULONG kUyvy = 0x59565955;

template <typename T> T* As(IUnknown* object, REFIID iid)
{
    T* found = nullptr;
    object->QueryInterface(iid, reinterpret_cast<void**>(&found));
    return found;
}

// As a preview page chooses: the first capability with a VIDEOINFOHEADER of that compression and
// bit count, sized to 320 x 240; null when the pin offers none.
AM_MEDIA_TYPE* ChooseVideo(IAMStreamConfig* config, ULONG compression, WORD bits)
{
    int count = 0, size = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &size)) || size < int(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
        return nullptr;
    std::vector<BYTE> caps(size_t(size), 0);
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        if (config->GetStreamCaps(i, &type, caps.data()) != S_OK)
            continue;
        if (type->formattype == FORMAT_VideoInfo && type->cbFormat == sizeof(VIDEOINFOHEADER)) {
            auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
            if (info->bmiHeader.biCompression == compression && info->bmiHeader.biBitCount == bits) {
                info->bmiHeader.biWidth = kWidth;
                info->bmiHeader.biHeight = kHeight;
                info->bmiHeader.biSizeImage = DWORD(kWidth * kHeight * bits / 8);
                return type;
            }
        }
        DeleteMediaType(type);
    }
    return nullptr;
}

// The bits of the connected format of `pin`.
BITMAPINFOHEADER ConnectedBitmap(IPin* pin)
{
    BITMAPINFOHEADER header{};
    AM_MEDIA_TYPE type{};
    if (SUCCEEDED(pin->ConnectionMediaType(&type))) {
        if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER))
            header = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
        FreeMediaType(type);
    }
    return header;
}

bool Near(int actual, int expected)
{
    return std::abs(actual - expected) <= 2;
}

// A video graph: the capture filter and its crossbar, connected by medium, and grabber branches
// behind the pins of the categories asked for, each set to its format at 320 x 240.
struct VideoGraph {
    // The callbacks are declared before the graph, which goes first: it stops and lets go of
    // them before they end.
    graphtest::Samples samples;       // the first branch's
    graphtest::Samples secondSamples; // the second branch's
    graphtest::Graph graph;
    IBaseFilter* capture = nullptr;
    IBaseFilter* crossbar = nullptr;

    ~VideoGraph()
    {
        if (capture)
            capture->Release();
        if (crossbar)
            crossbar->Release();
    }

    void Build(const GUID& category, ULONG compression, WORD bits)
    {
        BuildFilters();
        if (!testing::Test::HasFatalFailure())
            AddBranch(category, compression, bits, &samples, u"Video Sample Grabber");
    }

    void BuildFilters()
    {
        capture = graphtest::FindFilter(AM_KSCATEGORY_CAPTURE, graphtest::kVideoName);
        crossbar = graphtest::FindFilter(AM_KSCATEGORY_CROSSBAR, graphtest::kCrossbarName);
        ASSERT_NE(capture, nullptr);
        ASSERT_NE(crossbar, nullptr);
        ASSERT_EQ(graph.Add(capture, graphtest::kVideoName), S_OK);
        ASSERT_EQ(graph.Add(crossbar, graphtest::kCrossbarName), S_OK);

        // The crossbar's video output to the capture filter's analog input: the mediums match.
        std::vector<IPin*> outputs = graphtest::PinsOf(crossbar, PINDIR_OUTPUT);
        std::vector<IPin*> inputs = graphtest::PinsOf(capture, PINDIR_INPUT);
        ASSERT_FALSE(outputs.empty());
        ASSERT_FALSE(inputs.empty());
        EXPECT_EQ(graph.graph->Connect(outputs[0], inputs[0]), S_OK);
        IPin* peer = nullptr;
        EXPECT_EQ(inputs[0]->ConnectedTo(&peer), S_OK);
        EXPECT_EQ(peer, outputs[0]);
        if (peer)
            peer->Release();
        graphtest::Release(outputs);
        graphtest::Release(inputs);
    }

    void AddBranch(const GUID& category, ULONG compression, WORD bits, graphtest::Samples* into,
                   const std::u16string& name)
    {
        // The pin's stream configuration, found by category as an application finds it.
        IAMStreamConfig* config = nullptr;
        ASSERT_EQ(graph.builder->FindInterface(&category, &MEDIATYPE_Video, capture, IID_IAMStreamConfig,
                                               reinterpret_cast<void**>(&config)),
                  S_OK);
        AM_MEDIA_TYPE* wanted = ChooseVideo(config, compression, bits);
        ASSERT_NE(wanted, nullptr);
        EXPECT_EQ(config->SetFormat(wanted), S_OK);
        DeleteMediaType(wanted);
        config->Release();

        IBaseFilter* grabber = graph.AddGrabber(into, name);
        ASSERT_NE(grabber, nullptr);
        ASSERT_EQ(graph.builder->RenderStream(&category, &MEDIATYPE_Video, capture, grabber, graph.LastRenderer()),
                  S_OK);
    }

    // The connected format of the pin of `category`.
    BITMAPINFOHEADER Connected(const GUID& category)
    {
        IPin* pin = nullptr;
        if (FAILED(graph.builder->FindPin(capture, PINDIR_OUTPUT, &category, &MEDIATYPE_Video, FALSE, 0, &pin)))
            return {};
        const BITMAPINFOHEADER header = ConnectedBitmap(pin);
        pin->Release();
        return header;
    }
};

// The bars of a bottom-up RGB32 picture at their centres, rows 40, 120 and 200 from the top (clear of
// the frame counter at the bottom), against the table converted as the 32-bit output converts.
void ExpectRgb32Bars(const std::vector<BYTE>& picture)
{
    ASSERT_EQ(picture.size(), size_t(kWidth * kHeight * 4));
    for (int bar = 0; bar < 8; ++bar) {
        SCOPED_TRACE("bar " + std::to_string(bar));
        const board::ColourBars::Bar& table = board::ColourBars::kBars[size_t(bar)];
        ASSERT_EQ(colorbartest::kBarY[bar], table.y);
        ASSERT_EQ(colorbartest::kBarU[bar], table.cb);
        ASSERT_EQ(colorbartest::kBarV[bar], table.cr);
        const std::array<int, 3> expected = colorbartest::Rgb32(bar);
        const LONG x = 40 * bar + 20; // the bar's centre
        for (LONG top : {40L, 120L, 200L}) {
            const LONG row = kHeight - 1 - top;
            const BYTE* p = picture.data() + (size_t(row) * kWidth + size_t(x)) * 4;
            EXPECT_TRUE(Near(p[0], expected[0]) && Near(p[1], expected[1]) && Near(p[2], expected[2]))
                << "row " << top << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]) << ", expected "
                << expected[0] << " " << expected[1] << " " << expected[2];
        }
    }
}

// The bars of a UYVY picture at their centres (the first pixel of a pair), against the table.
void ExpectUyvyBars(const std::vector<BYTE>& picture)
{
    ASSERT_EQ(picture.size(), size_t(kWidth * kHeight * 2));
    for (int bar = 0; bar < 8; ++bar) {
        SCOPED_TRACE("bar " + std::to_string(bar));
        const board::ColourBars::Bar& table = board::ColourBars::kBars[size_t(bar)];
        const LONG x = 40 * bar + 20;
        for (LONG top : {40L, 120L, 200L}) {
            const BYTE* p = picture.data() + size_t(top) * kWidth * 2 + size_t(x) * 2;
            EXPECT_TRUE(Near(p[0], table.cb) && Near(p[1], table.y) && Near(p[2], table.cr) && Near(p[3], table.y))
                << "row " << top << ": " << int(p[0]) << " " << int(p[1]) << " " << int(p[2]) << " " << int(p[3]);
        }
    }
}

// Sample `frame` of `channel` of interleaved PCM of `bits` bits a sample, as a signed value scaled
// to 32 bits (8-bit PCM is unsigned around 128; the wider sizes are signed, little-endian).
int64_t SampleAt(const std::vector<BYTE>& sound, size_t frame, int channel, WORD bits)
{
    const size_t bytes = bits / 8;
    const BYTE* p = sound.data() + (frame * 2 + size_t(channel)) * bytes;
    if (bits == 8)
        return int64_t(int(p[0]) - 128) << 24;
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value |= uint32_t(p[i]) << (8 * (4 - bytes + i));
    return int64_t(int32_t(value));
}

// The audio filter's graph at the first capability of `bits` bits at 48000 Hz, run until two
// seconds of sound came; the sound and the format set.
void RunAudio(WORD bits, std::vector<BYTE>* sound, WAVEFORMATEX* set)
{
    graphtest::Samples samples; // before the graph, which stops and lets go of it first
    graphtest::Graph graph;
    IBaseFilter* audio = graphtest::FindFilter(AM_KSCATEGORY_CAPTURE, graphtest::kAudioName);
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(graph.Add(audio, graphtest::kAudioName), S_OK);
    audio->Release();
    IAMStreamConfig* config = nullptr;
    ASSERT_EQ(graph.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audio, IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(&config)),
              S_OK);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    AM_MEDIA_TYPE* chosen = nullptr;
    for (int i = 0; i < count && !chosen; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        AUDIO_STREAM_CONFIG_CAPS caps{};
        if (config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)) != S_OK)
            continue;
        WAVEFORMATEX wave{};
        if (type->formattype == FORMAT_WaveFormatEx && type->cbFormat >= sizeof wave)
            std::memcpy(&wave, type->pbFormat, sizeof wave);
        if (wave.wBitsPerSample == bits && wave.nSamplesPerSec == 48000)
            chosen = type;
        else
            DeleteMediaType(type);
    }
    ASSERT_NE(chosen, nullptr);
    std::memcpy(set, chosen->pbFormat, sizeof *set);
    EXPECT_EQ(config->SetFormat(chosen), S_OK);
    DeleteMediaType(chosen);
    config->Release();
    IBaseFilter* grabber = graph.AddGrabber(&samples, u"Audio Sample Grabber");
    ASSERT_NE(grabber, nullptr);
    ASSERT_EQ(graph.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audio, grabber, graph.LastRenderer()),
              S_OK);
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(samples.WaitForBytes(2 * size_t(set->nAvgBytesPerSec)));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    *sound = samples.Joined();
}

} // namespace

TEST_F(BoardGraphTest, ThePreviewPinAtRgb32DeliversTheBoardsColourBars)
{
    VideoGraph video;
    video.Build(PIN_CATEGORY_PREVIEW, BI_RGB, 32);
    if (HasFatalFailure())
        return;
    const BITMAPINFOHEADER connected = video.Connected(PIN_CATEGORY_PREVIEW);
    EXPECT_EQ(connected.biWidth, kWidth);
    EXPECT_EQ(connected.biHeight, kHeight);
    EXPECT_EQ(connected.biBitCount, 32);
    EXPECT_EQ(connected.biCompression, DWORD(BI_RGB));

    ASSERT_TRUE(SUCCEEDED(video.graph.control->Run()));
    ASSERT_TRUE(video.samples.WaitForSamples(3));
    ASSERT_EQ(video.graph.control->Stop(), S_OK);
    EXPECT_TRUE(video.samples.AllOffThread(std::this_thread::get_id()));

    ExpectRgb32Bars(video.samples.Taken().back());
}

TEST_F(BoardGraphTest, TheCapturePinAtUyvyDeliversTheBoardsColourBars)
{
    VideoGraph video;
    video.Build(PIN_CATEGORY_CAPTURE, kUyvy, 16);
    if (HasFatalFailure())
        return;
    const BITMAPINFOHEADER connected = video.Connected(PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(connected.biWidth, kWidth);
    EXPECT_EQ(connected.biHeight, kHeight);
    EXPECT_EQ(connected.biCompression, DWORD(kUyvy));

    ASSERT_TRUE(SUCCEEDED(video.graph.control->Run()));
    ASSERT_TRUE(video.samples.WaitForSamples(3));
    ASSERT_EQ(video.graph.control->Stop(), S_OK);
    EXPECT_TRUE(video.samples.AllOffThread(std::this_thread::get_id()));

    ExpectUyvyBars(video.samples.Taken().back());
}

TEST_F(BoardGraphTest, CaptureAndPreviewRunTogetherEachInTheOtherFormat)
{
    VideoGraph video;
    video.BuildFilters();
    if (HasFatalFailure())
        return;
    video.AddBranch(PIN_CATEGORY_CAPTURE, BI_RGB, 32, &video.samples, u"Capture Grabber");
    if (HasFatalFailure())
        return;
    video.AddBranch(PIN_CATEGORY_PREVIEW, kUyvy, 16, &video.secondSamples, u"Preview Grabber");
    if (HasFatalFailure())
        return;
    EXPECT_EQ(video.Connected(PIN_CATEGORY_CAPTURE).biBitCount, 32);
    EXPECT_EQ(video.Connected(PIN_CATEGORY_PREVIEW).biCompression, DWORD(kUyvy));

    ASSERT_TRUE(SUCCEEDED(video.graph.control->Run()));
    ASSERT_TRUE(video.samples.WaitForSamples(3));
    ASSERT_TRUE(video.secondSamples.WaitForSamples(3));
    ASSERT_EQ(video.graph.control->Stop(), S_OK);
    EXPECT_TRUE(video.samples.AllOffThread(std::this_thread::get_id()));
    EXPECT_TRUE(video.secondSamples.AllOffThread(std::this_thread::get_id()));
    {
        SCOPED_TRACE("capture");
        ExpectRgb32Bars(video.samples.Taken().back());
    }
    {
        SCOPED_TRACE("preview");
        ExpectUyvyBars(video.secondSamples.Taken().back());
    }
}

TEST_F(BoardGraphTest, APreviewStoppedAndRunAgainDeliversAgain)
{
    VideoGraph video;
    video.Build(PIN_CATEGORY_PREVIEW, BI_RGB, 32);
    if (HasFatalFailure())
        return;
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const size_t before = video.samples.Taken().size();
        ASSERT_TRUE(SUCCEEDED(video.graph.control->Run()));
        ASSERT_TRUE(video.samples.WaitForSamples(before + 2));
        ASSERT_EQ(video.graph.control->Stop(), S_OK);
        OAFilterState state = State_Running;
        EXPECT_EQ(video.graph.control->GetState(10, &state), S_OK);
        EXPECT_EQ(state, State_Stopped);
        ExpectRgb32Bars(video.samples.Taken().back());
    }
}

TEST_F(BoardGraphTest, TheAudioFilterAt16Bits48000HzDeliversTheBoardsTone)
{
    graphtest::Samples samples; // before the graph, which stops and lets go of it first
    graphtest::Graph graph;
    IBaseFilter* audio = graphtest::FindFilter(AM_KSCATEGORY_CAPTURE, graphtest::kAudioName);
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(graph.Add(audio, graphtest::kAudioName), S_OK);
    audio->Release();

    // As the audio preview chooses: the first capability of 16-bit samples at 48000 Hz.
    IAMStreamConfig* config = nullptr;
    ASSERT_EQ(graph.builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audio, IID_IAMStreamConfig,
                                           reinterpret_cast<void**>(&config)),
              S_OK);
    int count = 0, size = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    EXPECT_EQ(size, int(sizeof(AUDIO_STREAM_CONFIG_CAPS)));
    AM_MEDIA_TYPE* chosen = nullptr;
    std::vector<WORD> sizes;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        AUDIO_STREAM_CONFIG_CAPS caps{};
        ASSERT_EQ(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
        ASSERT_EQ(type->formattype, FORMAT_WaveFormatEx);
        ASSERT_GE(type->cbFormat, sizeof(WAVEFORMATEX));
        WAVEFORMATEX wave{};
        std::memcpy(&wave, type->pbFormat, sizeof wave);
        sizes.push_back(wave.wBitsPerSample);
        EXPECT_EQ(caps.MaximumBitsPerSample, wave.wBitsPerSample);
        if (!chosen && wave.wBitsPerSample == 16 && wave.nSamplesPerSec == 48000)
            chosen = type;
        else
            DeleteMediaType(type);
    }
    // The driver's range is 8 to 32 bits: a capability per size, largest first.
    EXPECT_EQ(sizes, (std::vector<WORD>{32, 24, 16, 8}));
    ASSERT_NE(chosen, nullptr);
    WAVEFORMATEX wave{};
    std::memcpy(&wave, chosen->pbFormat, sizeof wave);
    EXPECT_EQ(wave.nChannels, 2);
    EXPECT_EQ(wave.nBlockAlign, 4);
    EXPECT_EQ(wave.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(config->SetFormat(chosen), S_OK);
    DeleteMediaType(chosen);
    config->Release();

    IBaseFilter* grabber = graph.AddGrabber(&samples, u"Audio Sample Grabber");
    ASSERT_NE(grabber, nullptr);
    ASSERT_EQ(graph.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, audio, grabber, graph.LastRenderer()),
              S_OK);

    // Two seconds of sound; the second is measured.
    constexpr size_t kSecond = 192000;
    ASSERT_TRUE(SUCCEEDED(graph.control->Run()));
    ASSERT_TRUE(samples.WaitForBytes(2 * kSecond));
    ASSERT_EQ(graph.control->Stop(), S_OK);
    EXPECT_TRUE(samples.AllOffThread(std::this_thread::get_id()));

    const std::vector<BYTE> sound = samples.Joined();
    ASSERT_GE(sound.size(), 2 * kSecond);
    // Input 0's first pair: 1 kHz on the left, 500 Hz on the right; a tone of f Hz crosses zero 2 f
    // times a second.
    for (int channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        const int frequency = int(channel == 0 ? board::Tones::LeftFrequency(0) : board::Tones::RightFrequency(0));
        int crossings = 0;
        int peak = 0;
        int16_t previous = 0;
        for (size_t frame = 0; frame < 48000; ++frame) {
            int16_t value = 0;
            std::memcpy(&value, sound.data() + kSecond + frame * 4 + size_t(channel) * 2, 2);
            if (frame > 0 && ((previous < 0) != (value < 0)))
                ++crossings;
            previous = value;
            peak = std::max(peak, std::abs(int(value)));
        }
        EXPECT_GT(peak, 1000); // a tone, not silence
        EXPECT_NEAR(crossings, 2 * frequency, 2 * frequency / 50);
    }
}

TEST_F(BoardGraphTest, EveryAudioCapabilityStreamsTheToneAtItsSampleSize)
{
    for (WORD bits : {32, 24, 16, 8}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        std::vector<BYTE> sound;
        WAVEFORMATEX set{};
        RunAudio(bits, &sound, &set);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(set.nChannels, 2);
        EXPECT_EQ(set.wBitsPerSample, bits);
        EXPECT_EQ(set.nBlockAlign, 2 * bits / 8);
        EXPECT_EQ(set.nAvgBytesPerSec, 48000u * set.nBlockAlign);
        ASSERT_GE(sound.size(), 2 * size_t(set.nAvgBytesPerSec));
        // The second second: 1 kHz on the left, at the same level whatever the size.
        int crossings = 0;
        int64_t peak = 0;
        int64_t previous = 0;
        for (size_t frame = 48000; frame < 96000; ++frame) {
            const int64_t value = SampleAt(sound, frame, 0, bits);
            if (frame > 48000 && ((previous < 0) != (value < 0)))
                ++crossings;
            previous = value;
            peak = std::max(peak, value < 0 ? -value : value);
        }
        EXPECT_NEAR(crossings, 2000, 40);
        EXPECT_GT(peak, int64_t(1) << 26) << "no tone";
    }
}
