// PinDataRanges: the static data ranges of the board's pins, which each filter copies and fits to
// the current video standard (VideoCaptureFilter::SetVideoStandardsDataRanges). The capture and
// preview pins offer RGB32, UYVY, RGB24 and I420 with a video-info header, then the same four with
// a video-info-2 header; the analog video input, VBI and closed-caption pins one range each (the
// VBI pin the 525-line or the 625-line range); the audio capture pin PCM of 2 channels, 8 to 32
// bits, 32000 to 48000 Hz; the audio input pins their analog signal.
#pragma once
#include "km/types.h"
#include "shared/ksaudiorecords.h"
#include "shared/kspinrecords.h"
#include "shared/ksvideorecords.h"

class PinDataRanges {
public:
    static constexpr ULONG kVideoRangeCount = 8;
    // The video-info ranges come first, the video-info-2 ranges from here on.
    static constexpr ULONG kFirstVideoInfo2Range = 4;
    static constexpr ULONG kVbiRange525 = 0;
    static constexpr ULONG kVbiRange625 = 1;

    // Limits every video range announces.
    static constexpr LONG kMinimumOutputWidth = 72;
    static constexpr LONG kMinimumOutputHeight = 54;
    static constexpr LONG kOutputGranularityX = 2;
    static constexpr LONG kOutputGranularityY = 1;
    static constexpr LONG kCropGranularityX = 2;
    static constexpr LONG kCropGranularityY = 1;
    static constexpr LONGLONG kMaximumFrameInterval = 10000000;

    // The capture and preview pins' eight ranges, in the order above.
    static const PKSDATARANGE kVideoRanges[kVideoRangeCount];
    static const PKSDATARANGE kAnalogVideoInRanges[1];
    // Both VBI ranges; a pin offers one (the 525-line one until its filter fits it).
    static const PKSDATARANGE kVbiRanges[2];
    static const PKSDATARANGE kVbiRanges525[1];
    static const PKSDATARANGE kClosedCaptionRanges[1];
    static const PKSDATARANGE kAudioCaptureRanges[1];
    static const PKSDATARANGE kAudioInputRanges[1];

    // The capabilities of a video-info or video-info-2 range (the same offset in both); null for a
    // range of another specifier.
    static KS_VIDEO_STREAM_CONFIG_CAPS* CapsOf(PKSDATARANGE range);
    // The bitmap header of such a range (video-info-2: 24 bytes further on); null otherwise.
    static KS_BITMAPINFOHEADER* BitmapHeaderOf(PKSDATARANGE range);
};
