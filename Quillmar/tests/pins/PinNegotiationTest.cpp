// Format negotiation on the board's pins as a capture program meets it: the intersection of its
// ranges with the pins' (the size query, the exact buffer, the checks and the result's figures),
// the formats a pin is created with or refused, the framing of its buffers and the compression
// set's answers.
#include "PinFixture.h"

namespace pintest {
namespace {

constexpr DWORD kMoreData = 234;       // ERROR_MORE_DATA
constexpr DWORD kBufferTooSmall = 122; // ERROR_INSUFFICIENT_BUFFER

// The capture pin's RGB32 video-info range asked at `width` x `height`, `frameTime` a frame.
std::vector<UCHAR> AskedRgb32(HANDLE video, LONG width, LONG height, LONGLONG frameTime)
{
    std::vector<UCHAR> range = DataRanges(video, kCapturePin).at(0);
    KS_DATARANGE_VIDEO asked = As<KS_DATARANGE_VIDEO>(range);
    asked.VideoInfoHeader.AvgTimePerFrame = frameTime;
    asked.VideoInfoHeader.bmiHeader.biWidth = width;
    asked.VideoInfoHeader.bmiHeader.biHeight = height;
    std::memcpy(range.data(), &asked, sizeof(asked));
    return range;
}

KSDATARANGE_AUDIO AudioRange(const GUID& specifier, ULONG channels, ULONG minBits, ULONG maxBits,
                             ULONG minRate, ULONG maxRate)
{
    KSDATARANGE_AUDIO range{};
    range.DataRange.FormatSize = sizeof(range);
    range.DataRange.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    range.DataRange.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    range.DataRange.Specifier = specifier;
    range.MaximumChannels = channels;
    range.MinimumBitsPerSample = minBits;
    range.MaximumBitsPerSample = maxBits;
    range.MinimumSampleFrequency = minRate;
    range.MaximumSampleFrequency = maxRate;
    return range;
}

std::vector<UCHAR> Bytes(const void* data, size_t length)
{
    const auto* bytes = static_cast<const UCHAR*>(data);
    return std::vector<UCHAR>(bytes, bytes + length);
}

KSDATAFORMAT_WAVEFORMATEX WaveFormat(USHORT channels, ULONG rate, USHORT bits)
{
    KSDATAFORMAT_WAVEFORMATEX format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    format.WaveFormatEx.wFormatTag = WAVE_FORMAT_PCM;
    format.WaveFormatEx.nChannels = channels;
    format.WaveFormatEx.nSamplesPerSec = rate;
    format.WaveFormatEx.wBitsPerSample = bits;
    format.WaveFormatEx.nBlockAlign = static_cast<USHORT>(channels * bits / 8);
    format.WaveFormatEx.nAvgBytesPerSec = rate * format.WaveFormatEx.nBlockAlign;
    return format;
}

TEST_F(PinTest, AVideoIntersectionAnswersItsSizeThenTheFormatForExactlyThatBuffer)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    const std::vector<UCHAR> asked = AskedRgb32(video, 320, 240, 333667);
    std::vector<UCHAR> answer;

    Result result = Intersect(video, kCapturePin, {asked}, 0, &answer);
    EXPECT_EQ(result.error, kMoreData);
    EXPECT_EQ(result.bytes, 152u);
    EXPECT_EQ(Intersect(video, kCapturePin, {asked}, 153, &answer).error, kBufferTooSmall);
    EXPECT_EQ(Intersect(video, kCapturePin, {asked}, 151, &answer).error, kBufferTooSmall);

    result = Intersect(video, kCapturePin, {asked}, 152, &answer);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 152u);
    const auto format = As<KS_DATAFORMAT_VIDEOINFOHEADER>(answer);
    EXPECT_EQ(format.DataFormat.FormatSize, 152u);
    EXPECT_EQ(format.DataFormat.SubFormat, KSDATAFORMAT_SUBTYPE_RGB32);
    EXPECT_EQ(format.DataFormat.SampleSize, 307200u);
    EXPECT_EQ(format.VideoInfoHeader.bmiHeader.biSizeImage, 307200u);
    EXPECT_EQ(format.VideoInfoHeader.dwBitRate, 73654272u);
    EXPECT_EQ(format.VideoInfoHeader.AvgTimePerFrame, 333667);
    EXPECT_EQ(format.VideoInfoHeader.bmiHeader.biWidth, 320);

    // No frame time to divide by: no format.
    EXPECT_EQ(Intersect(video, kCapturePin, {AskedRgb32(video, 320, 240, 0)}, 152, &answer).error,
              Win32Of(STATUS_NO_MATCH));
    // Flag words unlike the pin's: no match either.
    std::vector<UCHAR> flagged = asked;
    flagged[offsetof(KS_DATARANGE_VIDEO, bTemporalCompression)] = 1;
    EXPECT_EQ(Intersect(video, kCapturePin, {flagged}, 152, &answer).error, Win32Of(STATUS_NO_MATCH));
    // A range too short for the fields the intersection reads.
    std::vector<UCHAR> shortRange(asked.begin(), asked.begin() + 200);
    KSDATARANGE head = As<KSDATARANGE>(shortRange);
    head.FormatSize = 200;
    std::memcpy(shortRange.data(), &head, sizeof(head));
    EXPECT_EQ(Intersect(video, kCapturePin, {shortRange}, 152, &answer).error, Win32Of(STATUS_NO_MATCH));
}

TEST_F(PinTest, AVideoInfo2IntersectionCarriesTheInterlaceFlagsAndAspectRatio)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    std::vector<UCHAR> range = DataRanges(video, kCapturePin).at(5); // UYVY, video-info-2
    KS_DATARANGE_VIDEO2 asked = As<KS_DATARANGE_VIDEO2>(range);
    asked.VideoInfoHeader.bmiHeader.biWidth = 642; // rows of 1284 bytes: no padding to 4
    asked.VideoInfoHeader.bmiHeader.biHeight = -480;
    asked.VideoInfoHeader.dwInterlaceFlags = 0x21;
    asked.VideoInfoHeader.AvgTimePerFrame = 400000;
    std::memcpy(range.data(), &asked, sizeof(asked));
    std::vector<UCHAR> answer;
    const Result sized = Intersect(video, kCapturePin, {range}, 0, &answer);
    EXPECT_EQ(sized.bytes, 176u);
    ASSERT_EQ(Intersect(video, kCapturePin, {range}, 176, &answer).error, 0u);
    const auto format = As<KS_DATAFORMAT_VIDEOINFOHEADER2>(answer);
    EXPECT_EQ(format.DataFormat.FormatSize, 176u);
    EXPECT_EQ(format.VideoInfoHeader2.bmiHeader.biSizeImage, 1284u * 480u);
    EXPECT_EQ(format.VideoInfoHeader2.dwInterlaceFlags, 0u);
    EXPECT_EQ(format.VideoInfoHeader2.dwPictAspectRatioX, 642u);
    EXPECT_EQ(format.VideoInfoHeader2.dwPictAspectRatioY, 480u);
    EXPECT_EQ(format.VideoInfoHeader2.dwBitRate, static_cast<ULONG>(1284ull * 480 * 80000000 / 400000));
}

TEST_F(PinTest, AVbiIntersectionTakesTheCallersHeaderWhenItFitsTheRange)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    std::vector<UCHAR> range = DataRanges(video, kVbiPin).at(0);
    ASSERT_EQ(range.size(), sizeof(KS_DATARANGE_VIDEO_VBI));
    KS_VBIINFOHEADER header = As<KS_VBIINFOHEADER>(range, 208);
    header.StartLine += 1;
    header.BufferSize -= header.StrideInBytes;
    std::memcpy(range.data() + 208, &header, sizeof(header));
    std::vector<UCHAR> answer;
    EXPECT_EQ(Intersect(video, kVbiPin, {range}, 0, &answer).bytes, 112u);
    EXPECT_EQ(Intersect(video, kVbiPin, {range}, 111, &answer).error, kBufferTooSmall);
    ASSERT_EQ(Intersect(video, kVbiPin, {range}, 112, &answer).error, 0u);
    const auto format = As<KS_DATAFORMAT_VBIINFOHEADER>(answer);
    EXPECT_EQ(format.DataFormat.FormatSize, 112u);
    EXPECT_EQ(format.VBIInfoHeader.StartLine, header.StartLine);
    EXPECT_EQ(format.VBIInfoHeader.BufferSize, header.BufferSize);

    // Each field the fit compares, one at a time beyond the range.
    const auto refused = [&](auto change) {
        std::vector<UCHAR> bad = DataRanges(video, kVbiPin).at(0);
        KS_VBIINFOHEADER badHeader = As<KS_VBIINFOHEADER>(bad, 208);
        change(badHeader);
        std::memcpy(bad.data() + 208, &badHeader, sizeof(badHeader));
        return Intersect(video, kVbiPin, {bad}, 112, &answer).error == Win32Of(STATUS_NO_MATCH);
    };
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.StartLine -= 1; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.EndLine += 1; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.VideoStandard = 0x10; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.SamplesPerLine += 1; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.StrideInBytes -= 4; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.SamplingFrequency += 1; }));
    EXPECT_TRUE(refused([](KS_VBIINFOHEADER& h) { h.BufferSize += 1; }));
}

TEST_F(PinTest, AnAudioIntersectionGivesTheLargestFormatOfBothRangesInTheExtensibleForm)
{
    Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    const KSDATARANGE_AUDIO any = AudioRange(GUID_NULL, 8, 1, 64, 8000, 96000);
    std::vector<UCHAR> answer;
    Result result = Intersect(audio, 0, {Bytes(&any, sizeof(any))}, 0, &answer);
    EXPECT_EQ(result.error, kMoreData);
    EXPECT_EQ(result.bytes, 104u);
    EXPECT_EQ(Intersect(audio, 0, {Bytes(&any, sizeof(any))}, 103, &answer).error, kBufferTooSmall);

    // GUID_NULL skips the bounds: even 8 channels asked give the pin's 2.
    ASSERT_EQ(Intersect(audio, 0, {Bytes(&any, sizeof(any))}, 104, &answer).error, 0u);
    const auto format = As<KSDATAFORMAT_WAVEFORMATEXTENSIBLE>(answer);
    EXPECT_EQ(format.DataFormat.FormatSize, 104u);
    EXPECT_EQ(format.WaveFormatExt.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(format.WaveFormatExt.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format.WaveFormatExt.Format.nChannels, 2u);
    EXPECT_EQ(format.WaveFormatExt.Format.wBitsPerSample, 32u);
    EXPECT_EQ(format.WaveFormatExt.Format.nBlockAlign, 8u);
    EXPECT_EQ(format.WaveFormatExt.Format.nAvgBytesPerSec, 384000u);
    EXPECT_EQ(format.WaveFormatExt.Format.cbSize, 22u);
    EXPECT_EQ(format.WaveFormatExt.Samples.wValidBitsPerSample, 32u);
    EXPECT_EQ(format.WaveFormatExt.dwChannelMask, 3u);
    EXPECT_EQ(format.WaveFormatExt.SubFormat, KSDATAFORMAT_SUBTYPE_PCM);

    // With the wave-format specifier the caller's bounds must lie inside the pin's.
    const KSDATARANGE_AUDIO inside = AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 16, 48000, 48000);
    EXPECT_EQ(Intersect(audio, 0, {Bytes(&inside, sizeof(inside))}, 104, &answer).error, 0u);
    // The answer lies inside the caller's range: its largest sample size and rate.
    const auto narrowed = As<KSDATAFORMAT_WAVEFORMATEXTENSIBLE>(answer);
    EXPECT_EQ(narrowed.WaveFormatExt.Format.wBitsPerSample, 16u);
    EXPECT_EQ(narrowed.WaveFormatExt.Samples.wValidBitsPerSample, 16u);
    EXPECT_EQ(narrowed.WaveFormatExt.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(narrowed.WaveFormatExt.Format.nChannels, 2u);
    EXPECT_EQ(narrowed.WaveFormatExt.Format.nBlockAlign, 4u);
    EXPECT_EQ(narrowed.WaveFormatExt.Format.nAvgBytesPerSec, 192000u);
    const KSDATARANGE_AUDIO lower = AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 8, 24, 32000, 44100);
    ASSERT_EQ(Intersect(audio, 0, {Bytes(&lower, sizeof(lower))}, 104, &answer).error, 0u);
    const auto within = As<KSDATAFORMAT_WAVEFORMATEXTENSIBLE>(answer);
    EXPECT_EQ(within.WaveFormatExt.Format.wBitsPerSample, 24u);
    EXPECT_EQ(within.WaveFormatExt.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(within.WaveFormatExt.Format.nBlockAlign, 6u);
    EXPECT_EQ(within.WaveFormatExt.Format.nAvgBytesPerSec, 3u * 44100 * 2);
    for (const KSDATARANGE_AUDIO& outside :
         {AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 3, 16, 16, 48000, 48000),
          AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 4, 16, 48000, 48000),
          AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 33, 48000, 48000),
          AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 16, 22050, 48000),
          AudioRange(KSDATAFORMAT_SPECIFIER_WAVEFORMATEX, 2, 16, 16, 48000, 96000)})
        EXPECT_EQ(Intersect(audio, 0, {Bytes(&outside, sizeof(outside))}, 104, &answer).error,
                  Win32Of(STATUS_NO_MATCH));
}

TEST_F(PinTest, PinsAreCreatedOnlyWithFormatsTheirRangesAndLimitsAllowAndFramedByThem)
{
    Start("\"PerfCaptureVideoBuffer\"=dword:00000006\r\n");
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);

    const auto refused = [&](const KS_DATAFORMAT_VIDEOINFOHEADER& format, ULONG pinId = kCapturePin) {
        PinClient pin;
        return pin.Create(video, pinId, &format, sizeof(format)) != 0;
    };
    EXPECT_TRUE(refused(VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 1921, 240, 32, KS_BI_RGB, 333667)));
    EXPECT_TRUE(refused(VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 1081, 32, KS_BI_RGB, 333667)));
    EXPECT_TRUE(refused(VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 70, 240, 32, KS_BI_RGB, 333667)));
    EXPECT_TRUE(refused(VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 321, 240, 32, KS_BI_RGB, 333667)));
    // A bit count unlike the RGB32 range's would be converted into a smaller buffer.
    EXPECT_TRUE(refused(VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 16, KS_BI_RGB, 333667)));
    // A target rectangle beyond the picture.
    KS_DATAFORMAT_VIDEOINFOHEADER outside =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
    outside.VideoInfoHeader.rcTarget = {0, 0, 400, 240};
    EXPECT_TRUE(refused(outside));
    // One whose width does not fit in 32 bits (refused before its width is reckoned).
    outside.VideoInfoHeader.rcTarget = {INT32_MIN, 0, 100, 100};
    EXPECT_TRUE(refused(outside));
    outside.VideoInfoHeader.rcTarget = {-1, 0, INT32_MAX, 100};
    EXPECT_TRUE(refused(outside));
    // A bitmap header that claims to reach beyond the format.
    KS_DATAFORMAT_VIDEOINFOHEADER longHeader =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
    longHeader.VideoInfoHeader.bmiHeader.biSize = 44;
    EXPECT_TRUE(refused(longHeader));
    // The analog input is the crossbar's bridge.
    KS_DATARANGE_ANALOGVIDEO analog = As<KS_DATARANGE_ANALOGVIDEO>(DataRanges(video, 0).at(0));
    PinClient bridge;
    EXPECT_NE(bridge.Create(video, 0, &analog, sizeof(analog)), 0u);

    PinClient capture;
    KS_DATAFORMAT_VIDEOINFOHEADER rgb =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
    rgb.VideoInfoHeader.bmiHeader.biSizeImage = 0;
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);
    KSALLOCATOR_FRAMING_EX framing = capture.Framing();
    EXPECT_EQ(framing.CountItems, 1u);
    EXPECT_EQ(framing.FramingItem[0].Frames, 6u);
    EXPECT_EQ(framing.FramingItem[0].FramingRange.Range.MinFrameSize, 307200u);
    EXPECT_EQ(framing.FramingItem[0].FramingRange.Range.MaxFrameSize, 307200u);
    // The format the pin runs with carries the image size of its rows.
    std::vector<UCHAR> connection(152);
    ASSERT_EQ(capture.Property(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_DATAFORMAT, KSPROPERTY_TYPE_GET,
                               connection.data(), DWORD(connection.size())),
              0u);
    EXPECT_EQ(As<KS_DATAFORMAT_VIDEOINFOHEADER>(connection).VideoInfoHeader.bmiHeader.biSizeImage, 307200u);

    // A target narrower than the bitmap: the buffers hold the bitmap's rows, which the picture is
    // delivered in (the target inside them), not rows of the target's width.
    PinClient targeted;
    KS_DATAFORMAT_VIDEOINFOHEADER inside =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 720, 480, 32, KS_BI_RGB, 333667);
    inside.VideoInfoHeader.rcTarget = {0, 0, 640, 480};
    ASSERT_EQ(targeted.Create(video, kPreviewPin, &inside, sizeof(inside)), 0u);
    EXPECT_EQ(targeted.Framing().FramingItem[0].FramingRange.Range.MaxFrameSize, 720u * 480u * 4u);
    targeted.Close();

    // A width off the 16-pixel grid: the buffers hold rows rounded up (UYVY: 336 x 2 bytes).
    PinClient preview;
    KS_DATAFORMAT_VIDEOINFOHEADER uyvy =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_UYVY, 322, 240, 16, 0x59565955, 333667);
    ASSERT_EQ(preview.Create(video, kPreviewPin, &uyvy, sizeof(uyvy)), 0u);
    EXPECT_EQ(preview.Framing().FramingItem[0].FramingRange.Range.MaxFrameSize, 336u * 2u * 240u);

    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    PinClient sound;
    const KSDATAFORMAT_WAVEFORMATEX wave = WaveFormat(2, 48000, 16);
    ASSERT_EQ(sound.Create(audio, 0, &wave, sizeof(wave)), 0u);
    framing = sound.Framing();
    EXPECT_EQ(framing.FramingItem[0].Frames, 50u);
    EXPECT_EQ(framing.FramingItem[0].FramingRange.Range.MinFrameSize, 1920u);
    EXPECT_EQ(framing.FramingItem[0].FramingRange.Range.MaxFrameSize, 1920u);
    sound.Close();
    PinClient mono;
    const KSDATAFORMAT_WAVEFORMATEX one = WaveFormat(1, 48000, 16);
    EXPECT_NE(mono.Create(audio, 0, &one, sizeof(one)), 0u);
    // Extra bytes the format does not hold.
    KSDATAFORMAT_WAVEFORMATEX claims = WaveFormat(2, 48000, 16);
    claims.WaveFormatEx.cbSize = 22;
    EXPECT_NE(mono.Create(audio, 0, &claims, sizeof(claims)), 0u);
}

TEST_F(PinTest, TheCompressionSetAnswersItsInformationOnlyIntoAWholeRecord)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    PinClient capture;
    const KS_DATAFORMAT_VIDEOINFOHEADER rgb =
        VideoInfoFormat(KSDATAFORMAT_SUBTYPE_RGB32, 320, 240, 32, KS_BI_RGB, 333667);
    ASSERT_EQ(capture.Create(video, kCapturePin, &rgb, sizeof(rgb)), 0u);

    filtertest::Record shortInfo(PROPSETID_VIDCAP_VIDEOCOMPRESSION, KSPROPERTY_VIDEOCOMPRESSION_GETINFO,
                                 KSPROPERTY_TYPE_GET, 40);
    EXPECT_NE(FilterTest::Send(capture.Handle(), shortInfo).error, 0u);
    filtertest::Record info(PROPSETID_VIDCAP_VIDEOCOMPRESSION, KSPROPERTY_VIDEOCOMPRESSION_GETINFO,
                            KSPROPERTY_TYPE_GET, 48);
    info.Put<ULONG>(24, 7);
    const Result result = FilterTest::Send(capture.Handle(), info);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 48u);
    EXPECT_EQ(info.Get<ULONG>(24), 7u);
    EXPECT_EQ(info.Get<LONG>(28), 30);
    EXPECT_EQ(info.Get<LONG>(32), 30);
    EXPECT_EQ(info.Get<LONG>(36), 1);
    EXPECT_EQ(info.Get<LONG>(40), 100);
    EXPECT_EQ(info.Get<LONG>(44), 0);

    filtertest::Record quality(PROPSETID_VIDCAP_VIDEOCOMPRESSION, KSPROPERTY_VIDEOCOMPRESSION_QUALITY,
                               KSPROPERTY_TYPE_GET, 32);
    quality.Put<ULONG>(24, 3);
    quality.Put<LONG>(28, 55);
    const Result echoed = FilterTest::Send(capture.Handle(), quality);
    ASSERT_EQ(echoed.error, 0u);
    EXPECT_EQ(echoed.bytes, 32u);
    EXPECT_EQ(quality.Get<ULONG>(24), 3u);
    EXPECT_EQ(quality.Get<LONG>(28), 55);
}

} // namespace
} // namespace pintest
