// The stream headers that travel with IOCTL_KS_READ_STREAM, in the 32-bit layouts both the caller and
// the driver rely on: the 48-byte KSSTREAM_HEADER, followed for video by the 64-byte KS_FRAME_INFO
// (112 bytes in all) or for VBI by the 88-byte KS_VBI_FRAME_INFO (136 bytes), with the option and
// frame flags. Handle and pointer fields are 32 bits wide: KSSTREAM_HEADER::Data is the cookie of a
// registered buffer (standin::KsRegisterStreamBuffer), never an address.
#pragma once
#include "shared/devioctl.h"

#include <cstddef>
#include <cstdint>

#ifndef FILE_DEVICE_KS
#define FILE_DEVICE_KS 0x0000002F
#endif
#define IOCTL_KS_READ_STREAM CTL_CODE(FILE_DEVICE_KS, 0x005, METHOD_NEITHER, FILE_READ_ACCESS)
static_assert(IOCTL_KS_READ_STREAM == 0x2F4017);

#define KSSTREAM_HEADER_OPTIONSF_SPLICEPOINT 0x00000001
#define KSSTREAM_HEADER_OPTIONSF_PREROLL 0x00000002
#define KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY 0x00000004
#define KSSTREAM_HEADER_OPTIONSF_TYPECHANGED 0x00000008
#define KSSTREAM_HEADER_OPTIONSF_TIMEVALID 0x00000010
#define KSSTREAM_HEADER_OPTIONSF_TIMEDISCONTINUITY 0x00000040
#define KSSTREAM_HEADER_OPTIONSF_FLUSHONPAUSE 0x00000080
#define KSSTREAM_HEADER_OPTIONSF_DURATIONVALID 0x00000100
#define KSSTREAM_HEADER_OPTIONSF_ENDOFSTREAM 0x00000200

#define KS_VIDEO_FLAG_FRAME 0x0000
#define KS_VIDEO_FLAG_FIELD1 0x0001
#define KS_VIDEO_FLAG_FIELD2 0x0002

#define KS_VBI_FLAG_FRAME 0x0000
#define KS_VBI_FLAG_FIELD1 0x0001
#define KS_VBI_FLAG_FIELD2 0x0002
#define KS_VBI_FLAG_TVTUNER_CHANGE 0x0010
#define KS_VBI_FLAG_VBIINFOHEADER_CHANGE 0x0020

// A time in units of Numerator / Denominator seconds; stream headers use 100 ns (1 / 10,000,000).
struct KSTIME {
    int64_t Time;
    uint32_t Numerator;
    uint32_t Denominator;
};
static_assert(sizeof(KSTIME) == 16 && offsetof(KSTIME, Numerator) == 8 && offsetof(KSTIME, Denominator) == 12);

struct KSSTREAM_HEADER {
    uint32_t Size; // this header and its extended part, in bytes
    uint32_t TypeSpecificFlags;
    KSTIME PresentationTime;
    int64_t Duration;
    uint32_t FrameExtent; // bytes of the buffer Data names
    uint32_t DataUsed;
    uint32_t Data; // cookie of the frame's buffer
    uint32_t OptionsFlags;
};
static_assert(sizeof(KSSTREAM_HEADER) == 48);
static_assert(offsetof(KSSTREAM_HEADER, Size) == 0 && offsetof(KSSTREAM_HEADER, TypeSpecificFlags) == 4 &&
              offsetof(KSSTREAM_HEADER, PresentationTime) == 8 && offsetof(KSSTREAM_HEADER, Duration) == 24 &&
              offsetof(KSSTREAM_HEADER, FrameExtent) == 32 && offsetof(KSSTREAM_HEADER, DataUsed) == 36 &&
              offsetof(KSSTREAM_HEADER, Data) == 40 && offsetof(KSSTREAM_HEADER, OptionsFlags) == 44);
using PKSSTREAM_HEADER = KSSTREAM_HEADER*;

struct KS_RECT32 {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
static_assert(sizeof(KS_RECT32) == 16);

// The extended part of a video frame's header.
struct KS_FRAME_INFO {
    uint32_t ExtendedHeaderSize; // 64
    uint32_t dwFrameFlags;
    int64_t PictureNumber;
    int64_t DropCount;
    uint32_t hDirectDraw;    // 32-bit handle, unused here
    uint32_t hSurfaceHandle; // 32-bit handle, unused here
    KS_RECT32 DirectDrawRect;
    int32_t lSurfacePitch;
    uint32_t Reserved2;
    uint32_t Reserved3;
    uint32_t Reserved4;
};
static_assert(sizeof(KS_FRAME_INFO) == 64);
static_assert(offsetof(KS_FRAME_INFO, dwFrameFlags) == 4 && offsetof(KS_FRAME_INFO, PictureNumber) == 8 &&
              offsetof(KS_FRAME_INFO, DropCount) == 16 && offsetof(KS_FRAME_INFO, hDirectDraw) == 24 &&
              offsetof(KS_FRAME_INFO, hSurfaceHandle) == 28 && offsetof(KS_FRAME_INFO, DirectDrawRect) == 32 &&
              offsetof(KS_FRAME_INFO, lSurfacePitch) == 48 && offsetof(KS_FRAME_INFO, Reserved4) == 60);

struct KS_TVTUNER_CHANGE_INFO {
    uint32_t dwFlags;
    uint32_t dwCountryCode;
    uint32_t dwAnalogVideoStandard;
    uint32_t dwChannel;
};
static_assert(sizeof(KS_TVTUNER_CHANGE_INFO) == 16);

// How the VBI lines of a stream are sampled.
struct KS_VBIINFOHEADER {
    uint32_t StartLine;
    uint32_t EndLine;
    uint32_t SamplingFrequency; // Hz
    uint32_t MinLineStartTime;
    uint32_t MaxLineStartTime;
    uint32_t ActualLineStartTime;
    uint32_t ActualLineEndTime;
    uint32_t VideoStandard;
    uint32_t SamplesPerLine;
    uint32_t StrideInBytes;
    uint32_t BufferSize;
};
static_assert(sizeof(KS_VBIINFOHEADER) == 44 && offsetof(KS_VBIINFOHEADER, VideoStandard) == 28 &&
              offsetof(KS_VBIINFOHEADER, BufferSize) == 40);

// The extended part of a VBI frame's header.
struct KS_VBI_FRAME_INFO {
    uint32_t ExtendedHeaderSize; // 88
    uint32_t dwFrameFlags;
    int64_t PictureNumber;
    int64_t DropCount;
    uint32_t dwSamplingFrequency;
    KS_TVTUNER_CHANGE_INFO TvTunerChangeInfo;
    KS_VBIINFOHEADER VBIInfoHeader;
};
static_assert(sizeof(KS_VBI_FRAME_INFO) == 88);
static_assert(offsetof(KS_VBI_FRAME_INFO, dwFrameFlags) == 4 && offsetof(KS_VBI_FRAME_INFO, PictureNumber) == 8 &&
              offsetof(KS_VBI_FRAME_INFO, DropCount) == 16 && offsetof(KS_VBI_FRAME_INFO, dwSamplingFrequency) == 24 &&
              offsetof(KS_VBI_FRAME_INFO, TvTunerChangeInfo) == 28 && offsetof(KS_VBI_FRAME_INFO, VBIInfoHeader) == 44);

// The header sizes a pin sets (KSPIN::StreamHeaderSize) and its clients submit: the extended part
// directly follows the 48-byte header.
constexpr uint32_t KS_VIDEO_STREAM_HEADER_SIZE = sizeof(KSSTREAM_HEADER) + sizeof(KS_FRAME_INFO);
constexpr uint32_t KS_VBI_STREAM_HEADER_SIZE = sizeof(KSSTREAM_HEADER) + sizeof(KS_VBI_FRAME_INFO);
static_assert(KS_VIDEO_STREAM_HEADER_SIZE == 112 && KS_VBI_STREAM_HEADER_SIZE == 136);

// The header and the video frame information as one 112-byte record.
struct KS_VIDEO_STREAM_HEADER {
    KSSTREAM_HEADER Header;
    KS_FRAME_INFO FrameInfo;
};
static_assert(sizeof(KS_VIDEO_STREAM_HEADER) == KS_VIDEO_STREAM_HEADER_SIZE &&
              offsetof(KS_VIDEO_STREAM_HEADER, FrameInfo) == 48);

// The header and the VBI frame information as one 136-byte record.
struct KS_VBI_STREAM_HEADER {
    KSSTREAM_HEADER Header;
    KS_VBI_FRAME_INFO FrameInfo;
};
static_assert(sizeof(KS_VBI_STREAM_HEADER) == KS_VBI_STREAM_HEADER_SIZE &&
              offsetof(KS_VBI_STREAM_HEADER, FrameInfo) == 48);

namespace standin {
// Registers `length` bytes at `data` as a frame buffer a stream header may name; returns the cookie
// for KSSTREAM_HEADER::Data (never 0), or 0 for a NULL buffer or when no cookie is left. The buffer
// stays the caller's: it must outlive every request that names it. Defined by the kernel library.
uint32_t KsRegisterStreamBuffer(void* data, uint32_t length);
// Forgets the cookie; requests submitted later that name it are refused.
void KsUnregisterStreamBuffer(uint32_t cookie);
} // namespace standin
