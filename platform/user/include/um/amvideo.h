// The video and audio format records a DirectShow media type carries in its format block. They are
// the kernel-streaming records under DirectShow's names: a driver's data range and the media type the
// application sees hold the same bytes.
#pragma once
#include "shared/ksaudiorecords.h"
#include "shared/ksvideorecords.h"
#include "um/windef.h"

using REFERENCE_TIME = LONGLONG; // 100-ns units

// BITMAPINFOHEADER, BI_RGB and BI_BITFIELDS come from the bitmap file records (through the video
// records), the one definition GDI uses too.
using PBITMAPINFOHEADER = BITMAPINFOHEADER*;
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;

using VIDEOINFOHEADER = KS_VIDEOINFOHEADER;
using VIDEOINFOHEADER2 = KS_VIDEOINFOHEADER2;
using VIDEOINFO = KS_VIDEOINFO;
static_assert(sizeof(VIDEOINFOHEADER) == 88 && offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER2) == 112 && offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(sizeof(WAVEFORMATEX) == 18);
#ifndef WAVE_FORMAT_PCM
#define WAVE_FORMAT_PCM 1
#endif

// The bitmap header of a VIDEOINFOHEADER block.
#define HEADER(pVideoInfo) (&((reinterpret_cast<VIDEOINFOHEADER*>(pVideoInfo))->bmiHeader))
