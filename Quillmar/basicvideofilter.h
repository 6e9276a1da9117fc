// BasicVideoFilter: the behaviour the crossbar and video capture filters share. Their inputs are
// the filter's own video inputs; every video input translates to the one video connector type.
#pragma once
#include "basicfilter.h"
#include "km/kspin.h"
#include "shared/ksvideorecords.h"

class BasicVideoFilter : public BasicFilter {
public:
    ~BasicVideoFilter() override;
    // The input type of that video input; an index beyond the last reads the last (0 without inputs).
    ULONG GetInputType(ULONG index) override;
    // Always the video connector type (6).
    ULONG TranslateInputType(ULONG inputType) override;
    ULONG GetInputCount() override;
    // The current input of the board's filter with this device number and owning process (the
    // crossbar's first, else the video capture filter's; the board's active input when none).
    ULONG GetCurrentInput(ULONG deviceNumber, PEPROCESS owningProcess) override;
    // The same for the first filter with this device number.
    ULONG GetCurrentInput(ULONG deviceNumber) override;
    // The hardware number of that video input, -1 when it cannot be read.
    ULONG GetInputIOIndex(ULONG index) override;

    // The largest picture a capture or preview pin takes.
    static constexpr LONG kMaximumFormatWidth = 1920;
    static constexpr LONG kMaximumFormatHeight = 1080;

    // The video capture filter's pins' format check, by pin id (the analog input takes none):
    // VBI: the VBI format of 112 bytes whose header fits the range's; closed captions: the line-21
    // byte pairs; capture and preview: a video-info or video-info-2 format whose header lies within
    // it, of the range's compression and bit count, its target rectangle empty or inside the
    // picture, within the range's minimum output size and 1920 x 1080 and on its output
    // granularity. An accepted picture format gets its image size from its width rounded up to 16
    // (in biSizeImage), is stored as the filter's format of that pin, and rebuilds the pin's chain
    // when the pin is past Acquire. Anything else: STATUS_NO_MATCH.
    static NTSTATUS NTAPI DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                                   PKSMULTIPLE_ITEM oldAttributeList,
                                                   const KSDATARANGE* dataRange,
                                                   const KSATTRIBUTE_LIST* attributeRange);
    // A VBI header within a range's: start line not below, end line not above, a video standard
    // in common, samples per line and buffer size not above, stride and sampling frequency equal.
    static bool VbiHeaderFits(const KS_VBIINFOHEADER& format, const KS_VBIINFOHEADER& range);
    // The image size of a picture `width` wide (rounded up to 16) and `height` high in the
    // compression: YUY2 and UYVY 2 bytes a pixel, RGB its bit count, I420 1.5 (an odd height's
    // last row with its chroma rows: half a row more), any other 1.125.
    static ULONG RoundedImageSize(ULONG compression, USHORT bitCount, ULONG width, ULONG height);

protected:
    // PROPSETID_VIDCAP_CROSSBAR (and the private crossbar set of the video capture filter): caps,
    // pin info, can route and route answered by the device's crossbar; a route set goes to it too.
    NTSTATUS CrossbarProperty(PIRP irp, PKSPROPERTY property, PVOID data, bool set);
};
