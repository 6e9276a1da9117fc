// VideoCaptureFilter: the board's video capture filter. It owns its copy of the video inputs (each
// input's settings of every pin), the video decoder's values the registry gives, the current
// signal type and the connection formats of the capture and preview pins, and answers the
// performance, input-detection, crossbar, device-configuration and component-id branches of its
// property sets. Its loading at create runs the registry loaders through the VideoFilterSettings
// operations.
//
// The per-pin record sets of crop, deinterlacing, image quality, logo, proc amp and captions, the
// video decoder sets' answers, the data ranges and the video compression set are not answered by
// this filter yet: their operations refuse with STATUS_NOT_SUPPORTED, and their sets reaching it
// get STATUS_NOT_FOUND.
#pragma once
#include "basicvideofilter.h"
#include "videofiltersettings.h"
#include "videoinputitems.h"

class VideoCaptureFilter : public BasicVideoFilter, public VideoFilterSettings {
public:
    // The signal types besides the standard bits: 1 525-line, 2 625-line standard definition.
    static constexpr ULONG kSignalTypeMask = 0x0061FFFF;
    // Pin ids of the capture and preview pins (also their pin types).
    static constexpr ULONG kCapturePinId = 1;
    static constexpr ULONG kPreviewPinId = 2;

    ~VideoCaptureFilter() override;

    // Under the filter's control mutex, then the device mutex.
    NTSTATUS OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    NTSTATUS OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    NTSTATUS SaveToRegistry() override;
    // Under the control mutex: an instance id, the filter values, the video inputs, a married
    // audio filter's current input (when it names a video input), then every input's pin settings
    // (each input made current in turn) and the current input restored.
    NTSTATUS OnCreate(PIRP irp) override;
    NTSTATUS OnClose(PIRP irp) override;
    VideoInputItems* GetVideoInputItems() override { return &m_inputs; }

    // ---- VideoFilterSettings ------------------------------------------------------------------
    NTSTATUS SetCropSettings(BrevicorCropRecord* record) override;
    NTSTATUS SetDeinterlaceSettings(BrevicorDeinterlaceRecord* record) override;
    NTSTATUS SetImageQualitySettings(BrevicorImageQualityRecord* record, bool save) override;
    NTSTATUS SetLogoSettings(BrevicorLogoRecord* record) override;
    NTSTATUS SetProcAmpSettings(BrevicorProcAmpRecord* record) override;
    // The signal type at 28: 1, 2, or a value with a bit of kSignalTypeMask, else 0xC0071073; a
    // change is stored and, when saving, written as "DecoderCurrentSignalType".
    NTSTATUS SetVideoDecoderSettings(BrevicorVideoDecoderRecord* record, bool save) override;
    NTSTATUS SetCCSettings(BrevicorCCRecord* record) override;
    void SetVideoDecoderStandardsSupported(ULONG value) override { m_decoder.standardsSupported = value; }
    void SetVideoDecoderCapabilities(ULONG value) override { m_decoder.capabilities = value; }
    void SetVideoDecoderSettlingTime(ULONG value) override { m_decoder.settlingTime = value; }
    void SetVideoDecoderHSyncPerVSync(ULONG value) override { m_decoder.hSyncPerVSync = value; }
    void SetVideoDecoderNumberOfLines(ULONG value) override { m_decoder.numberOfLines = value; }
    void SetVideoDecoderSignalLocked(ULONG value) override { m_decoder.signalLocked = value; }
    void SetVideoDecoderOutputEnable(ULONG value) override { m_decoder.outputEnable = value; }
    void SetVideoDecoderVCRTiming(ULONG value) override { m_decoder.vcrTiming = value; }
    // Stores the pin's format (152 bytes: video-info form, 176: video-info-2 form; the other form
    // is dropped) and writes "CaptureDataFormatType" / "PreviewDataFormatType" (1 or 2) and
    // "CaptureDataFormat" / "PreviewDataFormat". STATUS_INVALID_PARAMETER for another pin id, no
    // format or another length.
    NTSTATUS SetConnectionFormat(ULONG pinId, const void* format, ULONG length) override;

    // Copies the pin's stored format out: its length in *length (0 when none is stored);
    // STATUS_BUFFER_TOO_SMALL when `capacity` is short, STATUS_INVALID_PARAMETER for another pin.
    NTSTATUS GetConnectionFormat(ULONG pinId, void* format, ULONG capacity, ULONG* length) const;

    struct DecoderValues {
        ULONG standardsSupported;
        ULONG capabilities;
        ULONG settlingTime;
        ULONG hSyncPerVSync;
        ULONG numberOfLines;
        ULONG signalLocked;
        ULONG outputEnable;
        ULONG vcrTiming;
    };
    DecoderValues GetDecoderValues() const { return m_decoder; }
    ULONG GetVideoDecoderCurrentSignalType() const { return m_signalType; }

private:
    struct ConnectionFormat {
        UCHAR bytes[kVideoInfo2FormatBytes];
        ULONG length; // 0: none stored
    };

    VideoInputItems m_inputs;
    DecoderValues m_decoder{};
    ULONG m_signalType = 1;
    ConnectionFormat m_formats[2] = {};
};
