// The standard video-capture property sets that capture filters and pins answer (crossbar, video
// decoder, proc amp, dropped frames, video compression): their GUIDs, item ids and records. Every
// record starts with the 24-byte KSPROPERTY head and serves as request and answer alike.
#pragma once
#include "shared/kspinrecords.h"
#include "shared/ksrecords.h"

#include <cstddef>
#include <cstdint>

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_VIDCAP_CROSSBAR, 0x6A2E0640L, 0x28E4, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11,
                        0x89, 0x56);
#define KSPROPERTY_CROSSBAR_CAPS 0
#define KSPROPERTY_CROSSBAR_PININFO 1
#define KSPROPERTY_CROSSBAR_CAN_ROUTE 2
#define KSPROPERTY_CROSSBAR_ROUTE 3

struct KSPROPERTY_CROSSBAR_CAPS_S {
    KSPROPERTY Property;
    uint32_t NumberOfInputs;
    uint32_t NumberOfOutputs;
};
static_assert(sizeof(KSPROPERTY_CROSSBAR_CAPS_S) == 32 && offsetof(KSPROPERTY_CROSSBAR_CAPS_S, NumberOfOutputs) == 28);

struct KSPROPERTY_CROSSBAR_PININFO_S {
    KSPROPERTY Property;
    KSPIN_DATAFLOW Direction;
    uint32_t Index;
    uint32_t PinType; // a physical connector type
    uint32_t RelatedPinIndex;
    KSPIN_MEDIUM Medium;
};
static_assert(sizeof(KSPROPERTY_CROSSBAR_PININFO_S) == 64 &&
              offsetof(KSPROPERTY_CROSSBAR_PININFO_S, PinType) == 32 &&
              offsetof(KSPROPERTY_CROSSBAR_PININFO_S, Medium) == 40);

struct KSPROPERTY_CROSSBAR_ROUTE_S {
    KSPROPERTY Property;
    uint32_t IndexInputPin;
    uint32_t IndexOutputPin;
    uint32_t CanRoute;
};
static_assert(sizeof(KSPROPERTY_CROSSBAR_ROUTE_S) == 40 && offsetof(KSPROPERTY_CROSSBAR_ROUTE_S, CanRoute) == 32);

// Physical connector types of crossbar pins.
#define KS_PhysConn_Video_SerialDigital 6
#define KS_PhysConn_Video_VideoDecoder 12
#define KS_PhysConn_Audio_Line 0x1001
#define KS_PhysConn_Audio_AESDigital 0x1003
#define KS_PhysConn_Audio_SPDIFDigital 0x1004
#define KS_PhysConn_Audio_Tuner 0x1000

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_VIDCAP_VIDEODECODER, 0xC6E13350L, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9,
                        0x11, 0x89, 0x56);
#define KSPROPERTY_VIDEODECODER_CAPS 0
#define KSPROPERTY_VIDEODECODER_STANDARD 1
#define KSPROPERTY_VIDEODECODER_STATUS 2

struct KSPROPERTY_VIDEODECODER_CAPS_S {
    KSPROPERTY Property;
    uint32_t StandardsSupported;
    uint32_t Capabilities;
    uint32_t SettlingTime;
    uint32_t HSyncPerVSync;
};
static_assert(sizeof(KSPROPERTY_VIDEODECODER_CAPS_S) == 40 &&
              offsetof(KSPROPERTY_VIDEODECODER_CAPS_S, HSyncPerVSync) == 36);

struct KSPROPERTY_VIDEODECODER_S {
    KSPROPERTY Property;
    uint32_t Value;
};
static_assert(sizeof(KSPROPERTY_VIDEODECODER_S) == 32 && offsetof(KSPROPERTY_VIDEODECODER_S, Value) == 24);

struct KSPROPERTY_VIDEODECODER_STATUS_S {
    KSPROPERTY Property;
    uint32_t NumberOfLines;
    uint32_t SignalLocked;
};
static_assert(sizeof(KSPROPERTY_VIDEODECODER_STATUS_S) == 32 &&
              offsetof(KSPROPERTY_VIDEODECODER_STATUS_S, SignalLocked) == 28);

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_VIDCAP_VIDEOPROCAMP, 0xC6E13360L, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9,
                        0x11, 0x89, 0x56);
#define KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS 0
#define KSPROPERTY_VIDEOPROCAMP_CONTRAST 1
#define KSPROPERTY_VIDEOPROCAMP_HUE 2
#define KSPROPERTY_VIDEOPROCAMP_SATURATION 3
#define KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO 0x0001
#define KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL 0x0002

struct KSPROPERTY_VIDEOPROCAMP_S {
    KSPROPERTY Property;
    int32_t Value;
    uint32_t Flags;
    uint32_t Capabilities;
};
static_assert(sizeof(KSPROPERTY_VIDEOPROCAMP_S) == 40 && offsetof(KSPROPERTY_VIDEOPROCAMP_S, Capabilities) == 32);

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_VIDCAP_DROPPEDFRAMES, 0xC6E13344L, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9,
                        0x11, 0x89, 0x56);
#define KSPROPERTY_DROPPEDFRAMES_CURRENT 0

struct KSPROPERTY_DROPPEDFRAMES_CURRENT_S {
    KSPROPERTY Property;
    int64_t PictureNumber;
    int64_t DropCount;
    uint32_t AverageFrameSize;
};
static_assert(sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S) == 48 &&
              offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, DropCount) == 32 &&
              offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, AverageFrameSize) == 40);

DEFINE_GUIDSTRUCT_VALUE(PROPSETID_VIDCAP_VIDEOCOMPRESSION, 0xC6E13343L, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0,
                        0xC9, 0x11, 0x89, 0x56);
#define KSPROPERTY_VIDEOCOMPRESSION_GETINFO 0
#define KSPROPERTY_VIDEOCOMPRESSION_KEYFRAME_RATE 1
#define KSPROPERTY_VIDEOCOMPRESSION_PFRAMES_PER_KEYFRAME 2
#define KSPROPERTY_VIDEOCOMPRESSION_QUALITY 3
#define KSPROPERTY_VIDEOCOMPRESSION_OVERRIDE_KEYFRAME 4
#define KSPROPERTY_VIDEOCOMPRESSION_OVERRIDE_FRAME_SIZE 5
#define KSPROPERTY_VIDEOCOMPRESSION_WINDOWSIZE 6

struct KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S {
    KSPROPERTY Property;
    uint32_t StreamIndex;
    int32_t DefaultKeyFrameRate;
    int32_t DefaultPFrameRate;
    int32_t DefaultQuality;
    int32_t NumberOfQualitySettings;
    int32_t Capabilities;
};
static_assert(sizeof(KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S) == 48 &&
              offsetof(KSPROPERTY_VIDEOCOMPRESSION_GETINFO_S, Capabilities) == 44);

struct KSPROPERTY_VIDEOCOMPRESSION_S {
    KSPROPERTY Property;
    uint32_t StreamIndex;
    int32_t Value;
};
static_assert(sizeof(KSPROPERTY_VIDEOCOMPRESSION_S) == 32 && offsetof(KSPROPERTY_VIDEOCOMPRESSION_S, Value) == 28);
