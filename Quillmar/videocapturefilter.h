// VideoCaptureFilter: the board's video capture filter. It owns its copy of the video inputs (each
// input's settings of every pin), the video decoder's values the registry gives, the current
// signal type and the connection formats of the capture and preview pins, and answers the
// performance, input-detection, crossbar, device-configuration and component-id branches of its
// property sets. Its loading at create runs the registry loaders through the VideoFilterSettings
// operations.
//
// It also fits its pins' data ranges to the current video standard, on its own copy of the filter
// descriptor.
//
// The per-pin settings sets (crop, deinterlacing, image quality, logo, proc amp, captions), the
// video decoder and proc-amp sets in both their private and standard forms, and the loss-of-signal
// set are answered in videocapturefiltersettings.cpp: each setter checks the whole record before
// anything changes, then for each addressed pin type stores the changed values, writes their
// registry values, announces the change and rebuilds the pin's running chains.
#pragma once
#include "basicvideofilter.h"
#include "device.h"
#include "streamfilter.h"
#include "shared/ksvideorecords.h"
#include "videofiltersettings.h"
#include "videoinputitems.h"

class VideoCaptureFilter : public BasicVideoFilter, public VideoFilterSettings, public StreamFilter {
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
    // Under the control mutex: an instance id, the filter values, the video inputs (with the
    // detection records the device holds), a married audio filter's current input (when it names
    // a video input), then every input's pin settings (each input made current in turn) and the
    // current input restored.
    NTSTATUS OnCreate(PIRP irp) override;
    NTSTATUS OnClose(PIRP irp) override;
    VideoInputItems* GetVideoInputItems() override { return &m_inputs; }

    // ---- StreamFilter: what the pins' video stream reads ----------------------------------------
    ULONG GetDecoderSignalType() override { return m_signalType; }
    ULONG GetCurrentInputType() override { return GetInputType(m_inputs.GetSecondWord()); }
    ULONG GetCurrentInputIndex() override { return m_inputs.GetSecondWord(); }

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

    // ---- data ranges ----------------------------------------------------------------------------
    // Fits the pins' ranges to the current standard: the current input's detected standard, else
    // the decoder's signal type. The 625-line standard (2) gives 50 frames a second (interval
    // 200000, standards mask 0x1F0) and the 625-line VBI range, any other 60 (166666, mask 3); the
    // maximum sizes are the standard's frame size. Under the filter's control mutex.
    NTSTATUS SetVideoStandardsDataRanges();
    // Sets the analog input's range (input size `width` x `height`, no cropping, the interval), and
    // every range of the capture and preview pins: the standards mask, the default output size of
    // the pin's performance record as input, bitmap and image size, `maxWidth` x `maxHeight` as
    // the maximum cropping and output size, the frame intervals and the bit rates at
    // `framesPerSecond` (the format) and `nominalRate` (the limits); then a pin's range of its
    // stored connection format moves to the front of its list.
    NTSTATUS ModifyDataRanges(ULONG width, ULONG height, ULONG maxWidth, ULONG maxHeight,
                              double framesPerSecond, ULONG nominalRate, LONGLONG frameInterval,
                              ULONG standardsMask);
    // The capabilities of the first of the pin's ranges whose subformat is `subFormat` (null: the
    // first range); null when the pin has none.
    const KS_VIDEO_STREAM_CONFIG_CAPS* GetDataRangeCaps(ULONG pinId, const GUID* subFormat) const;
    // The range that limits a pin type's output (1 or 2): the first range of the pin with the
    // subformat of the pin type's stored connection format, else the capture pin's first range.
    const KS_VIDEO_STREAM_CONFIG_CAPS* GetCurrentDataRangeCaps(ULONG pinType) const;
    // The default output size a pin type's performance record names: 0 full size, 1 three
    // quarters, 2 half, 3 a quarter of 1920 x 1080, 4 the record's own width and height.
    static void DefaultOutputSize(ULONG sizeType, ULONG customWidth, ULONG customHeight, ULONG* width,
                                  ULONG* height);

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

    // ---- the settings records (videocapturefiltersettings.cpp) --------------------------------
    // The getters fill the record after its pin selector at 24 (255 reads pin type 1; any other
    // value outside 1 and 2 fails with 0xC007100B, image quality with STATUS_INVALID_PARAMETER).
    NTSTATUS GetCropSettings(BrevicorCropRecord* record);
    NTSTATUS GetDeinterlaceSettings(BrevicorDeinterlaceRecord* record);
    NTSTATUS GetImageQualitySettings(BrevicorImageQualityRecord* record);
    NTSTATUS GetLogoSettings(BrevicorLogoRecord* record);
    NTSTATUS GetProcAmpSettings(BrevicorProcAmpRecord* record);
    NTSTATUS GetVideoDecoderSettings(BrevicorVideoDecoderRecord* record);
    NTSTATUS GetCCSettings(BrevicorCCRecord* record);

    // The proc-amp values one at a time, for `pinType` (255: 1 then 2): a changed value is stored;
    // with `rebuild` the pin's running chains are rebuilt, with `save` "Brightness", "Contrast",
    // "Hue" or "Saturation" is written. `changed` (optional) tells whether any pin's value changed.
    NTSTATUS SetVideoProcAmpBrightness(const BrevicorProcAmpRecord* record, ULONG pinType, bool save, bool rebuild,
                                       bool* changed = nullptr);
    NTSTATUS SetVideoProcAmpContrast(const BrevicorProcAmpRecord* record, ULONG pinType, bool save, bool rebuild,
                                     bool* changed = nullptr);
    NTSTATUS SetVideoProcAmpHue(const BrevicorProcAmpRecord* record, ULONG pinType, bool save, bool rebuild,
                                bool* changed = nullptr);
    NTSTATUS SetVideoProcAmpSaturation(const BrevicorProcAmpRecord* record, ULONG pinType, bool save, bool rebuild,
                                       bool* changed = nullptr);
    // Pin type 1's value of the standard proc-amp item (0 brightness, 1 contrast, 2 hue,
    // 3 saturation); 0 for another item.
    LONG GetVideoProcAmpBrightness();
    LONG GetVideoProcAmpContrast();
    LONG GetVideoProcAmpHue();
    LONG GetVideoProcAmpSaturation();
    // New proc-amp values for the running streaming pin of `pinType`: a colour-adjustment step
    // that serves that pin alone takes the record's values, neutral points and tables in place;
    // otherwise the pin's chains are rebuilt.
    NTSTATUS ModifyVideoProcAmpAlgorithm(ULONG pinType, const BrevicorProcAmpRecord* record);

    // The crop limits of a pin type: its current data range's minimum and maximum output size and
    // crop granularity (the range of its connection format's subformat, else the capture pin's
    // first range).
    struct CropLimits {
        ULONG minimumWidth;
        ULONG minimumHeight;
        ULONG maximumWidth;
        ULONG maximumHeight;
        ULONG granularityX;
        ULONG granularityY;
    };
    NTSTATUS GetCropLimits(ULONG pinType, CropLimits* limits);
    // The standard the pin ranges and reference sizes follow: the one detected on the current
    // input, else the decoder's current signal type; and its frame size.
    ULONG GetCurrentStandard();
    Device::StandardDimensions GetCurrentFrameSize();

private:
    // The settings sets' branches of OnGetProperty / OnSetProperty: *handled says whether the set
    // was one of them.
    NTSTATUS GetSettingsProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool* handled);
    NTSTATUS SetSettingsProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool* handled);
    NTSTATUS GetStandardDecoderProperty(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS SetStandardDecoderProperty(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS GetStandardProcAmpProperty(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS SetStandardProcAmpProperty(PIRP irp, PKSPROPERTY property, PVOID data);
    // The proc-amp set with its registry writes and notifications chosen by the caller.
    NTSTATUS ApplyProcAmpSettings(BrevicorProcAmpRecord* record, bool save, bool notify);
    // The logo bitmap named in the record opened and its two headers checked.
    NTSTATUS CheckLogoFile(const BrevicorLogoRecord* record);
    // The chains of `pinType` rebuilt when the filter belongs to a device.
    void RebuildChains(ULONG pinType);
    // A pin selector other than 1, 2 or 255: logged for `functionName`, 0xC007100B returned.
    NTSTATUS RefusePinType(const char* functionName, ULONG selector);

private:
    // Gives the filter its own descriptor, pin descriptors, range lists and the ranges of the
    // analog input, capture and preview pins (the VBI and caption ranges stay the static ones).
    NTSTATUS EditDescriptors();
    KSPIN_DESCRIPTOR_EX* EditablePin(ULONG pinId) const;
    void FitVideoRanges(ULONG pinId, ULONG maxWidth, ULONG maxHeight, double framesPerSecond,
                        ULONG nominalRate, LONGLONG frameInterval, ULONG standardsMask);
    void MoveStoredFormatFirst(ULONG pinId);

    struct ConnectionFormat {
        UCHAR bytes[kVideoInfo2FormatBytes];
        ULONG length; // 0: none stored
    };

    VideoInputItems m_inputs;
    DecoderValues m_decoder{};
    ULONG m_signalType = 1;
    ConnectionFormat m_formats[2] = {};
};
