// DirectShow's identifiers: major types, subtypes and format types of media types, pin categories,
// device categories and the classes the platform serves. Where a kernel-streaming identifier names
// the same thing, this is that identifier.
#pragma once
#include "shared/ksaudiorecords.h"
#include "shared/kscategories.h"
#include "shared/kspinrecords.h"
#include "shared/ksvideorecords.h"

// Major types.
inline constexpr GUID MEDIATYPE_Video = KSDATAFORMAT_TYPE_VIDEO;
inline constexpr GUID MEDIATYPE_Audio = KSDATAFORMAT_TYPE_AUDIO;
inline constexpr GUID MEDIATYPE_VBI = KSDATAFORMAT_TYPE_VBI;
DEFINE_GUIDSTRUCT_VALUE(MEDIATYPE_Interleaved, 0x73766169L, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38,
                        0x9B, 0x71);
DEFINE_GUIDSTRUCT_VALUE(MEDIATYPE_Stream, 0xE436EB83L, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
                        0x70);

// Subtypes.
inline constexpr GUID MEDIASUBTYPE_RGB32 = KSDATAFORMAT_SUBTYPE_RGB32;
inline constexpr GUID MEDIASUBTYPE_RGB24 = KSDATAFORMAT_SUBTYPE_RGB24;
inline constexpr GUID MEDIASUBTYPE_RGB555 = KSDATAFORMAT_SUBTYPE_RGB555;
inline constexpr GUID MEDIASUBTYPE_RGB8 = KSDATAFORMAT_SUBTYPE_RGB8;
DEFINE_GUIDSTRUCT_VALUE(MEDIASUBTYPE_RGB565, 0xE436EB7BL, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B,
                        0xA7, 0x70);
inline constexpr GUID MEDIASUBTYPE_UYVY = KSDATAFORMAT_SUBTYPE_UYVY;
inline constexpr GUID MEDIASUBTYPE_YUY2 = KSDATAFORMAT_SUBTYPE_YUY2;
inline constexpr GUID MEDIASUBTYPE_I420 = KSDATAFORMAT_SUBTYPE_I420;
inline constexpr GUID MEDIASUBTYPE_YVU9 = KSDATAFORMAT_SUBTYPE_YVU9;
inline constexpr GUID MEDIASUBTYPE_PCM = KSDATAFORMAT_SUBTYPE_PCM;

// Format types.
inline constexpr GUID FORMAT_VideoInfo = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
inline constexpr GUID FORMAT_VideoInfo2 = KSDATAFORMAT_SPECIFIER_VIDEOINFO2;
inline constexpr GUID FORMAT_WaveFormatEx = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
inline constexpr GUID FORMAT_None = KSDATAFORMAT_SPECIFIER_NONE;

// Pin categories (the capture pin's is the kernel-streaming pin name of a capture pin).
inline constexpr GUID PIN_CATEGORY_CAPTURE = PINNAME_CAPTURE;
inline constexpr GUID PIN_CATEGORY_ANALOGVIDEOIN = PINNAME_VIDEO_ANALOGVIDEOIN;

// What ICaptureGraphBuilder2::FindInterface and FindPin search besides the filter itself.
DEFINE_GUIDSTRUCT_VALUE(LOOK_UPSTREAM_ONLY, 0xAC798BE0L, 0x98E3, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61,
                        0xC5);
DEFINE_GUIDSTRUCT_VALUE(LOOK_DOWNSTREAM_ONLY, 0xAC798BE1L, 0x98E3, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37,
                        0x61, 0xC5);

// The pin property set a kernel-streaming pin answers its category through.
DEFINE_GUIDSTRUCT_VALUE(AMPROPSETID_Pin, 0x9B00F101L, 0x1567, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61,
                        0xC5);
#define AMPROPERTY_PIN_CATEGORY 0
#define AMPROPERTY_PIN_MEDIUM 1

// Device categories the system device enumerator lists.
inline constexpr GUID AM_KSCATEGORY_CAPTURE = KSCATEGORY_CAPTURE;
inline constexpr GUID AM_KSCATEGORY_CROSSBAR = KSCATEGORY_CROSSBAR;
inline constexpr GUID AM_KSCATEGORY_VIDEO = KSCATEGORY_VIDEO;
inline constexpr GUID AM_KSCATEGORY_AUDIO = KSCATEGORY_AUDIO;
DEFINE_GUIDSTRUCT_VALUE(CLSID_VideoInputDeviceCategory, 0x860BB310L, 0x5D01, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0,
                        0xC9, 0x11, 0xCE, 0x86);
DEFINE_GUIDSTRUCT_VALUE(CLSID_AudioInputDeviceCategory, 0x33D9A762L, 0x90C8, 0x11D0, 0xBD, 0x43, 0x00, 0xA0,
                        0xC9, 0x11, 0xCE, 0x86);
DEFINE_GUIDSTRUCT_VALUE(CLSID_LegacyAmFilterCategory, 0x083863F1L, 0x70DE, 0x11D0, 0xBD, 0x40, 0x00, 0xA0, 0xC9,
                        0x11, 0xCE, 0x86);

// Classes.
DEFINE_GUIDSTRUCT_VALUE(CLSID_SystemDeviceEnum, 0x62BE5D10L, 0x60EB, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11,
                        0xCE, 0x86);
DEFINE_GUIDSTRUCT_VALUE(CLSID_FilterGraph, 0xE436EBB3L, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
                        0x70);
DEFINE_GUIDSTRUCT_VALUE(CLSID_CaptureGraphBuilder2, 0xBF87B6E1L, 0x8C27, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00,
                        0x37, 0x61, 0xC5);
DEFINE_GUIDSTRUCT_VALUE(CLSID_SystemClock, 0xE436EBB1L, 0x524F, 0x11CE, 0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7,
                        0x70);
DEFINE_GUIDSTRUCT_VALUE(CLSID_SampleGrabber, 0xC1F400A0L, 0x3F08, 0x11D3, 0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03,
                        0x9E, 0x37);
DEFINE_GUIDSTRUCT_VALUE(CLSID_NullRenderer, 0xC1F400A4L, 0x3F08, 0x11D3, 0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03,
                        0x9E, 0x37);
// The kernel-streaming proxy: the filter a device interface's moniker binds to.
DEFINE_GUIDSTRUCT_VALUE(CLSID_Proxy, 0x17CCA71BL, 0xECD7, 0x11D0, 0xB9, 0x08, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96);
