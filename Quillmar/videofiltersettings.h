// VideoFilterSettings: the setting operations of a video capture filter that the device's registry
// loaders apply stored groups through, as a client's set would (with the no-save flags set, so a
// load neither writes the registry back nor announces anything). The video capture filter derives
// from it; the loaders depend on nothing else of the filter.
#pragma once
#include "brevicorrecords.h"
#include "km/types.h"
#include "shared/ksvideorecords.h"

class VideoFilterSettings {
public:
    // The forms of a stored connection format: the data format header followed by a video-info
    // header (152 bytes) or by a video-info-2 header (176 bytes).
    static constexpr ULONG kConnectionFormatVideoInfo = 1;
    static constexpr ULONG kConnectionFormatVideoInfo2 = 2;
    static constexpr ULONG kVideoInfoFormatBytes = sizeof(KS_DATAFORMAT_VIDEOINFOHEADER);
    static constexpr ULONG kVideoInfo2FormatBytes = sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2);
    static_assert(kVideoInfoFormatBytes == 152 && kVideoInfo2FormatBytes == 176);

    // Each takes a whole record (pin-type selector at 24) and answers the set's status.
    virtual NTSTATUS SetCropSettings(BrevicorCropRecord* record) = 0;
    virtual NTSTATUS SetDeinterlaceSettings(BrevicorDeinterlaceRecord* record) = 0;
    // `save` false: the enable and mode are not written to the registry.
    virtual NTSTATUS SetImageQualitySettings(BrevicorImageQualityRecord* record, bool save) = 0;
    virtual NTSTATUS SetLogoSettings(BrevicorLogoRecord* record) = 0;
    virtual NTSTATUS SetProcAmpSettings(BrevicorProcAmpRecord* record) = 0;
    // The current signal type at 28; `save` false: "DecoderCurrentSignalType" is not written.
    virtual NTSTATUS SetVideoDecoderSettings(BrevicorVideoDecoderRecord* record, bool save) = 0;
    virtual NTSTATUS SetCCSettings(BrevicorCCRecord* record) = 0;

    // The decoder values the filter answers from.
    virtual void SetVideoDecoderStandardsSupported(ULONG value) = 0;
    virtual void SetVideoDecoderCapabilities(ULONG value) = 0;
    virtual void SetVideoDecoderSettlingTime(ULONG value) = 0;
    virtual void SetVideoDecoderHSyncPerVSync(ULONG value) = 0;
    virtual void SetVideoDecoderNumberOfLines(ULONG value) = 0;
    virtual void SetVideoDecoderSignalLocked(ULONG value) = 0;
    virtual void SetVideoDecoderOutputEnable(ULONG value) = 0;
    virtual void SetVideoDecoderVCRTiming(ULONG value) = 0;

    // A pin's connection format (pin id 1 capture, 2 preview) in either form; `length` is the
    // form's size.
    virtual NTSTATUS SetConnectionFormat(ULONG pinId, const void* format, ULONG length) = 0;

protected:
    ~VideoFilterSettings() = default;
};
