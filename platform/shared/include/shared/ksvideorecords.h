// The video records that filters, pins and their clients exchange: the bitmap and video-info
// headers a video format carries, the capabilities a video data range announces, the data ranges
// and data formats built from them, and the GUIDs of the video, VBI and closed-caption formats and
// of the pin categories. Every layout is the one both sides rely on, asserted with its size.
#pragma once
#include "shared/bitmapfile.h"
#include "shared/ksstreamrecords.h"
#include "shared/kspinrecords.h"

#include <cstddef>
#include <cstdint>

// The bitmap information header of device-independent bitmaps, under its kernel-streaming name: one
// type, so a format block's header is the one GDI and the bitmap files use.
using KS_BITMAPINFOHEADER = BITMAPINFOHEADER;
static_assert(sizeof(KS_BITMAPINFOHEADER) == 40 && offsetof(KS_BITMAPINFOHEADER, biCompression) == 16 &&
              offsetof(KS_BITMAPINFOHEADER, biClrImportant) == 36);
#define KS_BI_RGB 0L
#define KS_BI_BITFIELDS 3L

struct KS_RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(KS_RGBQUAD) == 4);
#define KS_iPALETTE_COLORS 256
#define KS_iMASK_COLORS 3

// A video format's block: source and target rectangles, rates, the frame duration (100-ns units)
// and the bitmap header.
struct KS_VIDEOINFOHEADER {
    KS_RECT32 rcSource;
    KS_RECT32 rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    int64_t AvgTimePerFrame;
    KS_BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(KS_VIDEOINFOHEADER) == 88 && offsetof(KS_VIDEOINFOHEADER, dwBitRate) == 32 &&
              offsetof(KS_VIDEOINFOHEADER, AvgTimePerFrame) == 40 && offsetof(KS_VIDEOINFOHEADER, bmiHeader) == 48);

// The second form: interlace, copy-protection and aspect-ratio fields before the bitmap header.
struct KS_VIDEOINFOHEADER2 {
    KS_RECT32 rcSource;
    KS_RECT32 rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    int64_t AvgTimePerFrame;
    uint32_t dwInterlaceFlags;
    uint32_t dwCopyProtectFlags;
    uint32_t dwPictAspectRatioX;
    uint32_t dwPictAspectRatioY;
    union {
        uint32_t dwControlFlags;
        uint32_t dwReserved1;
    };
    uint32_t dwReserved2;
    KS_BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(KS_VIDEOINFOHEADER2) == 112 && offsetof(KS_VIDEOINFOHEADER2, dwInterlaceFlags) == 48 &&
              offsetof(KS_VIDEOINFOHEADER2, dwPictAspectRatioX) == 56 &&
              offsetof(KS_VIDEOINFOHEADER2, bmiHeader) == 72);
#define KS_INTERLACE_IsInterlaced 0x00000001
#define KS_INTERLACE_1FieldPerSample 0x00000002
#define KS_INTERLACE_Field1First 0x00000004

// Bit masks and a palette after the bitmap header, for true-colour formats with masks.
struct KS_TRUECOLORINFO {
    uint32_t dwBitMasks[KS_iMASK_COLORS];
    KS_RGBQUAD bmiColors[KS_iPALETTE_COLORS];
};
static_assert(sizeof(KS_TRUECOLORINFO) == 1036);

// The video-info header with room for a palette or masks (palettised formats such as RGB8).
struct KS_VIDEOINFO {
    KS_RECT32 rcSource;
    KS_RECT32 rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    int64_t AvgTimePerFrame;
    KS_BITMAPINFOHEADER bmiHeader;
    union {
        KS_RGBQUAD bmiColors[KS_iPALETTE_COLORS];
        uint32_t dwBitMasks[KS_iMASK_COLORS];
        KS_TRUECOLORINFO TrueColorInfo;
    };
};
static_assert(sizeof(KS_VIDEOINFO) == 1128 && offsetof(KS_VIDEOINFO, bmiColors) == 88);

struct KS_SIZE32 {
    int32_t cx;
    int32_t cy;
};
static_assert(sizeof(KS_SIZE32) == 8);

// What a video data range can deliver: standards, sizes, granularities, frame intervals and rates.
struct KS_VIDEO_STREAM_CONFIG_CAPS {
    GUID guid; // the specifier of the range's format
    uint32_t VideoStandard;
    KS_SIZE32 InputSize;
    KS_SIZE32 MinCroppingSize;
    KS_SIZE32 MaxCroppingSize;
    int32_t CropGranularityX;
    int32_t CropGranularityY;
    int32_t CropAlignX;
    int32_t CropAlignY;
    KS_SIZE32 MinOutputSize;
    KS_SIZE32 MaxOutputSize;
    int32_t OutputGranularityX;
    int32_t OutputGranularityY;
    int32_t StretchTapsX;
    int32_t StretchTapsY;
    int32_t ShrinkTapsX;
    int32_t ShrinkTapsY;
    int64_t MinFrameInterval;
    int64_t MaxFrameInterval;
    int32_t MinBitsPerSecond;
    int32_t MaxBitsPerSecond;
};
static_assert(sizeof(KS_VIDEO_STREAM_CONFIG_CAPS) == 128 &&
              offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, VideoStandard) == 16 &&
              offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinOutputSize) == 60 &&
              offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, OutputGranularityX) == 76 &&
              offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104 &&
              offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MaxBitsPerSecond) == 124);

// KS_VIDEO_STREAM_CONFIG_CAPS::VideoStandard and KS_VBIINFOHEADER::VideoStandard bits.
#define KS_AnalogVideo_None 0x00000000
#define KS_AnalogVideo_NTSC_M 0x00000001
#define KS_AnalogVideo_NTSC_M_J 0x00000002
#define KS_AnalogVideo_NTSC_433 0x00000004
#define KS_AnalogVideo_PAL_B 0x00000010
#define KS_AnalogVideo_PAL_D 0x00000020
#define KS_AnalogVideo_PAL_G 0x00000040
#define KS_AnalogVideo_PAL_H 0x00000080
#define KS_AnalogVideo_PAL_I 0x00000100
#define KS_AnalogVideo_PAL_M 0x00000200
#define KS_AnalogVideo_PAL_N 0x00000400
#define KS_AnalogVideo_PAL_60 0x00000800
#define KS_AnalogVideo_SECAM_B 0x00001000
#define KS_AnalogVideo_SECAM_D 0x00002000
#define KS_AnalogVideo_SECAM_G 0x00004000
#define KS_AnalogVideo_SECAM_H 0x00008000
#define KS_AnalogVideo_SECAM_K 0x00010000
#define KS_AnalogVideo_SECAM_K1 0x00020000
#define KS_AnalogVideo_SECAM_L 0x00040000
#define KS_AnalogVideo_SECAM_L1 0x00080000
#define KS_AnalogVideo_PAL_N_COMBO 0x00100000

// The video data ranges: the range head, four flag words, the capabilities and a format block.
struct KS_DATARANGE_VIDEO {
    KSDATARANGE DataRange;
    int32_t bFixedSizeSamples;
    int32_t bTemporalCompression;
    uint32_t StreamDescriptionFlags;
    uint32_t MemoryAllocationFlags;
    KS_VIDEO_STREAM_CONFIG_CAPS ConfigCaps;
    KS_VIDEOINFOHEADER VideoInfoHeader;
};
static_assert(sizeof(KS_DATARANGE_VIDEO) == 296 && offsetof(KS_DATARANGE_VIDEO, ConfigCaps) == 80 &&
              offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader) == 208);

struct KS_DATARANGE_VIDEO2 {
    KSDATARANGE DataRange;
    int32_t bFixedSizeSamples;
    int32_t bTemporalCompression;
    uint32_t StreamDescriptionFlags;
    uint32_t MemoryAllocationFlags;
    KS_VIDEO_STREAM_CONFIG_CAPS ConfigCaps;
    KS_VIDEOINFOHEADER2 VideoInfoHeader;
};
static_assert(sizeof(KS_DATARANGE_VIDEO2) == 320 && offsetof(KS_DATARANGE_VIDEO2, VideoInfoHeader) == 208);

struct KS_DATARANGE_VIDEO_PALETTE {
    KSDATARANGE DataRange;
    int32_t bFixedSizeSamples;
    int32_t bTemporalCompression;
    uint32_t StreamDescriptionFlags;
    uint32_t MemoryAllocationFlags;
    KS_VIDEO_STREAM_CONFIG_CAPS ConfigCaps;
    KS_VIDEOINFO VideoInfo;
};
static_assert(sizeof(KS_DATARANGE_VIDEO_PALETTE) == 1336 &&
              offsetof(KS_DATARANGE_VIDEO_PALETTE, VideoInfo) == 208);

// The VBI data range: its 44-byte information header ends the record without padding, so that the
// range is 252 bytes as the pins and their clients count it.
#pragma pack(push, 4)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpacked-not-aligned"
#endif
struct KS_DATARANGE_VIDEO_VBI {
    KSDATARANGE DataRange;
    int32_t bFixedSizeSamples;
    int32_t bTemporalCompression;
    uint32_t StreamDescriptionFlags;
    uint32_t MemoryAllocationFlags;
    KS_VIDEO_STREAM_CONFIG_CAPS ConfigCaps;
    KS_VBIINFOHEADER VBIInfoHeader;
};
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#pragma pack(pop)
static_assert(sizeof(KS_DATARANGE_VIDEO_VBI) == 252 && offsetof(KS_DATARANGE_VIDEO_VBI, ConfigCaps) == 80 &&
              offsetof(KS_DATARANGE_VIDEO_VBI, VBIInfoHeader) == 208);

// The video data formats: the format head and the format block its specifier names.
struct KS_DATAFORMAT_VIDEOINFOHEADER {
    KSDATAFORMAT DataFormat;
    KS_VIDEOINFOHEADER VideoInfoHeader;
};
static_assert(sizeof(KS_DATAFORMAT_VIDEOINFOHEADER) == 152 &&
              offsetof(KS_DATAFORMAT_VIDEOINFOHEADER, VideoInfoHeader) == 64);

struct KS_DATAFORMAT_VIDEOINFO_PALETTE {
    KSDATAFORMAT DataFormat;
    KS_VIDEOINFO VideoInfo;
};
static_assert(sizeof(KS_DATAFORMAT_VIDEOINFO_PALETTE) == 1192);

struct KS_DATAFORMAT_VIDEOINFOHEADER2 {
    KSDATAFORMAT DataFormat;
    KS_VIDEOINFOHEADER2 VideoInfoHeader2;
};
static_assert(sizeof(KS_DATAFORMAT_VIDEOINFOHEADER2) == 176);

struct KS_DATAFORMAT_VBIINFOHEADER {
    KSDATAFORMAT DataFormat;
    KS_VBIINFOHEADER VBIInfoHeader;
};
static_assert(sizeof(KS_DATAFORMAT_VBIINFOHEADER) == 112 && offsetof(KS_DATAFORMAT_VBIINFOHEADER, VBIInfoHeader) == 64);

// Video subtypes (uncompressed RGB and the YUV four-character codes) and the video-info-2 specifier.
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_RGB8, 0xE436EB7AL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B,
                        0xA7, 0x70);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_RGB555, 0xE436EB7CL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF,
                        0x0B, 0xA7, 0x70);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_RGB24, 0xE436EB7DL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF,
                        0x0B, 0xA7, 0x70);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_YUY2, 0x32595559L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_I420, 0x30323449L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_YVU9, 0x39555659L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_VIDEOINFO2, 0xF72A76A0L, 0xEB0A, 0x11D0, 0xAC, 0xE4, 0x00, 0x00,
                        0xC0, 0xCC, 0x16, 0xBA);

// VBI and closed-caption formats.
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_TYPE_VBI, 0xF72A76E1L, 0xEB0A, 0x11D0, 0xAC, 0xE4, 0x00, 0x00, 0xC0, 0xCC,
                        0x16, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_RAW8, 0xCA20D9A0L, 0x3E3E, 0x11D1, 0x9B, 0xF9, 0x00, 0xC0, 0x4F, 0xBB,
                        0xDE, 0xBF);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_VBI, 0xF72A76E0L, 0xEB0A, 0x11D0, 0xAC, 0xE4, 0x00, 0x00, 0xC0,
                        0xCC, 0x16, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_TYPE_AUXLine21Data, 0x670AEA80L, 0x3A82, 0x11D0, 0xB7, 0x9B, 0x00, 0xAA,
                        0x00, 0x37, 0x67, 0xA7);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_Line21_BytePair, 0x6E8D4A22L, 0x310C, 0x11D0, 0xB7, 0x9A, 0x00, 0xAA,
                        0x00, 0x37, 0x67, 0xA7);

// Pin categories of the video pins (the capture category is PINNAME_CAPTURE).
DEFINE_GUIDSTRUCT_VALUE(PIN_CATEGORY_PREVIEW, 0xFB6C4282L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC,
                        0x16, 0xBA);
DEFINE_GUIDSTRUCT_VALUE(PIN_CATEGORY_VBI, 0xFB6C4284L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16,
                        0xBA);
DEFINE_GUIDSTRUCT_VALUE(PIN_CATEGORY_CC, 0xFB6C4289L, 0x0353, 0x11D1, 0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16,
                        0xBA);

// Analog video: the format a video decoder's input pin carries (the picture before sampling).
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_TYPE_ANALOGVIDEO, 0x0482DDE1L, 0x7817, 0x11CF, 0x8A, 0x03, 0x00, 0xAA, 0x00,
                        0x6E, 0xCB, 0x65);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SPECIFIER_ANALOGVIDEO, 0x0482DDE0L, 0x7817, 0x11CF, 0x8A, 0x03, 0x00, 0xAA,
                        0x00, 0x6E, 0xCB, 0x65);
DEFINE_GUIDSTRUCT_VALUE(KSDATAFORMAT_SUBTYPE_NONE, 0xE436EB8EL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B,
                        0xA7, 0x70);

struct KS_ANALOGVIDEOINFO {
    KS_RECT32 rcSource;
    KS_RECT32 rcTarget;
    uint32_t dwActiveWidth;
    uint32_t dwActiveHeight;
    int64_t AvgTimePerFrame;
};
static_assert(sizeof(KS_ANALOGVIDEOINFO) == 48 && offsetof(KS_ANALOGVIDEOINFO, AvgTimePerFrame) == 40);

struct KS_DATARANGE_ANALOGVIDEO {
    KSDATARANGE DataRange;
    KS_ANALOGVIDEOINFO AnalogVideoInfo;
};
static_assert(sizeof(KS_DATARANGE_ANALOGVIDEO) == 112 && offsetof(KS_DATARANGE_ANALOGVIDEO, AnalogVideoInfo) == 64);
