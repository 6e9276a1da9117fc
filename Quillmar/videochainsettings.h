// VideoChainSettings: everything a video pin's chain of processing steps is built from, gathered
// in one record: the pin, its connection format (bitmap header, frame duration, output size), the
// VBI header of a VBI pin, the current input's detection record, the VBI separator's driver
// settings, the filter's per-pin records (crop, deinterlace, logo, closed captions, proc amp), the
// device's loss-of-signal record and the pin's scaling method. The pin fills it from its format,
// its filter, its device and the driver; tests and the benchmark fill it by hand. Records a getter
// leaves unfilled keep the zeros the record starts with.
#pragma once
#include "brevicorrecords.h"
#include "cseperatevbifromvideo.h"
#include "km/types.h"
#include "shared/ksvideorecords.h"

// The video pins' ids.
inline constexpr ULONG kVideoPinIdCapture = 1;
inline constexpr ULONG kVideoPinIdPreview = 2;
inline constexpr ULONG kVideoPinIdVbi = 3;
inline constexpr ULONG kVideoPinIdClosedCaptions = 4;

struct VideoChainSettings {
    ULONG pinId = kVideoPinIdCapture;
    // The connection format.
    KS_BITMAPINFOHEADER bitmap = {};
    LONGLONG avgTimePerFrame = 0;
    LONG outputWidth = 0;  // the target rectangle's width, else |biWidth|
    LONG outputHeight = 0; // the target rectangle's height, else |biHeight|
    KS_VBIINFOHEADER vbiHeader = {};
    // The current video input and the driver.
    BrevicorInputDetectRecord inputDetect = {};
    VbiSeparatorSettings separator;
    // The filter's settings of this pin.
    BrevicorCropRecord crop = {};
    BrevicorDeinterlaceRecord deinterlace = {};
    BrevicorLogoRecord logo = {};
    BrevicorCCRecord cc = {};
    BrevicorProcAmpRecord procAmp = {};
    // The device's loss-of-signal settings.
    BrevicorLOSRecord los = {};
    // The pin's scaling method (performance settings): 0 nearest, 1 linear, 2 cubic, 3 Lanczos.
    ULONG scalingAlgorithm = 0;

    // Takes the bitmap header, frame duration and output size from a video connection format: a
    // video-info header when the specifier is the video-info one, otherwise a video-info-2 header.
    // STATUS_INVALID_PARAMETER (nothing changed) for a null format or one shorter than its form.
    NTSTATUS SetVideoFormat(const KSDATAFORMAT* format, ULONG length);
    // The same from the blocks themselves.
    void SetVideoInfo(const KS_VIDEOINFOHEADER& info);
    void SetVideoInfo2(const KS_VIDEOINFOHEADER2& info);

private:
    void SetFormatFields(const KS_RECT32& target, LONGLONG avgTimePerFrame, const KS_BITMAPINFOHEADER& bitmap);
};
