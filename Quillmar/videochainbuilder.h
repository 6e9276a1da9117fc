// VideoChainBuilder: the processing steps of a video pin's chain between the pin's own ends (the
// removal of a stale sink before, the sink after), built from a VideoChainSettings record alone.
// The video streaming pin gathers the record at Acquire to Pause and delegates to BuildProcessingSteps;
// its chain operations (AddSeperateVBIToChain, AddDeliverCCToChain, AddCropperToChain,
// AddLogoToChain, AddVideoLOSToChain, AddOverlayCCToChain, AddVideoProcAmpToChain) are the members
// of the same names here.
//
// Every chain starts with the VBI separator. The VBI pin (id 3) then gets VBI delivery at 59.94
// fields a second, the closed-caption pin (id 4) caption delivery at 29.97 frames a second. The
// capture and preview pins get, in this order: frame-rate converter, crop, deinterlace (when on),
// logo (when on), loss-of-signal overlay (when on), caption overlay (when on), scale, proc amp and
// output colour space, at the format's frame interval.
//
// A step that cannot be allocated or appended ends the build with STATUS_INSUFFICIENT_RESOURCES
// and every step already on the list destroyed.
#pragma once
#include "km/types.h"
#include "videochainsettings.h"

class AlgorithmList;
class VbiSeparatorStream;

class VideoChainBuilder {
public:
    // Output intervals (100-ns units) of the VBI and caption pins.
    static constexpr ULONGLONG kVbiOutputInterval = 166833;
    static constexpr ULONGLONG kClosedCaptionOutputInterval = 333667;

    // `stream` is the pin's logical stream, which the VBI separator reads.
    VideoChainBuilder(const VideoChainSettings& settings, VbiSeparatorStream* stream);

    // Appends the steps of the pin's chain; *outputInterval gets the interval the pin's sink is
    // set to. STATUS_INSUFFICIENT_RESOURCES with the list's steps destroyed when a step cannot be
    // had.
    NTSTATUS BuildProcessingSteps(AlgorithmList* list, ULONGLONG* outputInterval);

    // The single operations; each appends at most one step and raises
    // STATUS_INSUFFICIENT_RESOURCES (ExRaiseStatus) when it cannot: BuildProcessingSteps catches it.
    void AddSeperateVBIToChain(AlgorithmList* list);
    void AddDeliverVBIToChain(AlgorithmList* list);
    void AddDeliverCCToChain(AlgorithmList* list);
    void AddFrameRateConverterToChain(AlgorithmList* list);
    void AddCropperToChain(AlgorithmList* list);
    void AddDeInterlaceToChain(AlgorithmList* list);
    void AddLogoToChain(AlgorithmList* list);
    void AddVideoLOSToChain(AlgorithmList* list);
    void AddOverlayCCToChain(AlgorithmList* list);
    void AddScalerToChain(AlgorithmList* list);
    void AddVideoProcAmpToChain(AlgorithmList* list);
    void AddOutColorSpaceToChain(AlgorithmList* list);

    // The output colour space of a bitmap header: index and mirroring. RGB (compression 0) mirrors
    // a bottom-up picture (biHeight >= 0): 8 bits give 0, other counts below 24 give 1, 24 gives 2,
    // 32 gives 3, and the counts the data ranges refuse (above 24, not 32) give 3 as well. I420 gives
    // 5, YUY2 6, UYVY 4, any other code 7; those never mirror.
    struct OutputColorSpace {
        ULONG index;
        bool mirror;
    };
    static OutputColorSpace OutputColorSpaceOf(const KS_BITMAPINFOHEADER& header);
    // The frame-rate converter's interval for a frame duration: 416666 (24 fps as the formats
    // round it) becomes 416667, the interval its telecine handling works with.
    static ULONG FrameRateConverterInterval(LONGLONG avgTimePerFrame);
    // The crop step's settings from the crop record: the window words only when enabled is 1, the
    // width then limited to the reference width minus left (saturating at 0; a reference width of 0
    // stands for the picture's own, which limits nothing here), the horizontal granularity as both
    // alignment steps.
    static struct CropSettings CropSettingsOf(const BrevicorCropRecord& record);

private:
    const VideoChainSettings m_settings; // a copy: the caller's record may be a temporary
    VbiSeparatorStream* m_stream;
};
