// VideoStreamingPin: the video capture filter's streaming pins (1 capture, 2 preview, 3 VBI,
// 4 closed captions). It keeps the connection's video-info header with its bitmap header (both
// header forms kept alike: rectangles, rates, frame time and bitmap header) or, on the VBI pin, its
// VBI information header; sets the pin's stream-header size and framing at create; tells the filter
// its capture or preview format at Pause to Run; answers the video intersection and the
// compression set's gets.
#pragma once
#include "basicstreamingpin.h"
#include "shared/ksvideorecords.h"
#include "videochainsettings.h"

class VideoStreamingPin : public BasicStreamingPin {
public:
    static constexpr ULONG kCapturePinId = 1;
    static constexpr ULONG kPreviewPinId = 2;
    static constexpr ULONG kVbiPinId = 3;
    static constexpr ULONG kClosedCaptionPinId = 4;
    // Stream-header sizes: the header and KS_FRAME_INFO, or KS_VBI_FRAME_INFO.
    static constexpr ULONG kVideoHeaderSize = 112;
    static constexpr ULONG kVbiHeaderSize = 136;
    static constexpr ULONG kVbiFrames = 10;
    static constexpr ULONG kClosedCaptionFrames = 10;
    static constexpr ULONG kClosedCaptionFrameSize = 2;
    // Intersection results: format header plus video-info, palette video-info, video-info-2, VBI.
    static constexpr ULONG kVideoInfoResultBytes = 152;
    static constexpr ULONG kPaletteResultBytes = 1192;
    static constexpr ULONG kVideoInfo2ResultBytes = 176;
    static constexpr ULONG kVbiResultBytes = 112;

    explicit VideoStreamingPin(PKSPIN pin);
    ~VideoStreamingPin() override;

    // The saved header's frame time.
    LONGLONG GetSampleDuration() override { return m_videoInfo.AvgTimePerFrame; }
    // The pin's chain: the last chain's sink out of the tree, the processing steps the pin's
    // settings call for, then the sink at the pin's output interval. STATUS_UNSUCCESSFUL when the
    // pin feeds no stream; a step that cannot be had ends the build with its failure.
    NTSTATUS BuildAlgorithmChain(AlgorithmList* list) override;
    // The record the chain is built from: the saved header (or VBI header), the current input's
    // detection record, the driver's separator settings and, for capture and preview, this pin
    // type's crop, deinterlace, logo, caption and proc-amp records from the filter, the device's
    // loss-of-signal record and the pin's scaling method.
    void GatherChainSettings(VideoChainSettings* settings);
    NTSTATUS OnSetDeviceState(KSSTATE to, KSSTATE from) override;
    // By pin id: VBI: the VBI header, header size 136, 10 buffers of its BufferSize; captions: 10
    // buffers of 2 bytes; capture and preview: the video header, header size 112, the pin type's
    // "video buffer" count of buffers of biSizeImage bytes.
    NTSTATUS OnCreate(PIRP irp) override;

    const char* GetStreamName() const override { return "VIDEO"; }
    const KS_VBIINFOHEADER* GetVBIInfoHeader() const override;

    // The video-info header of a capture or preview format (either form), bitmap header included;
    // false when the format holds none.
    static bool ReadVideoHeader(const KSDATAFORMAT* format, KS_VIDEOINFOHEADER* header);
    // Keeps the header of the pin's connection format (at create, and when the format changes).
    void SaveVideoHeader(const KSDATAFORMAT* format);
    const KS_VIDEOINFOHEADER& GetVideoInfoHeader() const { return m_videoInfo; }

    // PROPSETID_VIDCAP_VIDEOCOMPRESSION: item 0 the information (48 bytes: the request's stream
    // index, key-frame rate 30, P-frame rate 30, quality 1, 100 quality settings, no
    // capabilities); items 1 to 6 the request's first 32 bytes; others success with nothing.
    NTSTATUS OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data);

    // The intersect handler of the video pins: the caller's range against the pin's (see the
    // source for the size protocol and the checks).
    static NTSTATUS NTAPI IntersectHandler(PVOID context, PIRP irp, PKSP_PIN pin, PKSDATARANGE callerRange,
                                           PKSDATARANGE descriptorRange, ULONG bufferSize, PVOID data,
                                           PULONG dataSize);

protected:
    // Capture and preview pins tell the filter their format.
    void OnPauseToRun() override;

private:
    KS_VIDEOINFOHEADER m_videoInfo{};
    KS_VBIINFOHEADER m_vbiInfo{};
    bool m_hasVbiInfo = false;
};
