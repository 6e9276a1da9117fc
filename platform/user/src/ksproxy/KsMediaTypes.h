// Media types from a pin's data ranges, and the kernel-streaming data format of a chosen type.
#pragma once
#include "ksproxy/KsPinFactory.h"

#include <vector>

namespace ksproxy {

// One type a pin offers, with the capability record IAMStreamConfig::GetStreamCaps gives for it.
struct OfferedType {
    OfferedType() = default;
    OfferedType(const OfferedType& other);
    OfferedType& operator=(const OfferedType& other);
    ~OfferedType();

    AM_MEDIA_TYPE type{};
    std::vector<BYTE> caps; // a VIDEO_STREAM_CONFIG_CAPS, an AUDIO_STREAM_CONFIG_CAPS, or none
};

// The types of the pin's ranges in order: a video range (KS_DATARANGE_VIDEO) as FORMAT_VideoInfo with
// the range's VIDEOINFOHEADER and its capabilities, the second video form as FORMAT_VideoInfo2, a VBI
// range with its KS_VBIINFOHEADER, an audio range as one type per sample size from its largest down
// to its smallest in steps of 8 bits (at most 64), each the pin's intersection answer for the range
// narrowed to that size, with AUDIO_STREAM_CONFIG_CAPS of that size and the range's channels and
// rates; any other range as its GUIDs without a format block. A size whose audio intersection fails
// is left out.
std::vector<OfferedType> TypesFromRanges(HANDLE filter, const PinFactory& pin);

// The size of the capability records of the pin's types: 128 for video, 52 for audio only.
int CapsSize(const std::vector<OfferedType>& types);

// The KSDATAFORMAT of `type` followed by its format block; empty when the block is too large.
std::vector<BYTE> DataFormatOf(const AM_MEDIA_TYPE& type);

// The sample size of a type: biSizeImage of a video block, nBlockAlign of a wave format, else the
// type's own lSampleSize.
ULONG SampleSizeOf(const AM_MEDIA_TYPE& type);

// Whether a type carries the same GUIDs and format block bytes.
bool SameType(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b);

} // namespace ksproxy
