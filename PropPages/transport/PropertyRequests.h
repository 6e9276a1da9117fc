// The request helpers of the page library: one get (and, where the driver takes one, one set) per
// private property set, framing the set's identifier, item and record length around a record of
// the private set contract, and the node requests of the standard audio set that the mixer page
// sends. Each takes the CPropertyGetSetCtrl of the bound filter and the caller's record, and
// answers the request's HRESULT (E_POINTER without either); the record changes only when the
// request succeeds (CPropertyGetSetCtrl).
#pragma once
#include "transport/CPropertyGetSetCtrl.h"

#include "shared/guiddef.h"

#include "privatesets.h"

// The record lengths the library sends, header included; each is its record's size.
inline constexpr ULONG kDeviceConfigBytes = 628;
inline constexpr ULONG kAudioConfigBytes = 122;
inline constexpr ULONG kAudioInputCountBytes = 32;
inline constexpr ULONG kAudioInputInfoBytes = 568;
inline constexpr ULONG kVideoDecoderBytes = 60;
inline constexpr ULONG kCropBytes = 80;
inline constexpr ULONG kCaptionBytes = 600;
inline constexpr ULONG kCrossbarCapsBytes = 32;
inline constexpr ULONG kCrossbarPinInfoBytes = 64;
inline constexpr ULONG kCrossbarRouteBytes = 40;
inline constexpr ULONG kDeinterlaceBytes = 60;
inline constexpr ULONG kDiagnosticsBytes = 1849;
inline constexpr ULONG kInputCountBytes = 32;
inline constexpr ULONG kInputDetectBytes = 580;
inline constexpr ULONG kLossOfSignalBytes = 1120;
inline constexpr ULONG kPerformanceBytes = 72;
inline constexpr ULONG kTraceBytes = 552;
inline constexpr ULONG kProcAmpBytes = 2436;
inline constexpr ULONG kLogoBytes = 1132;
// The value of a node request: a volume level (1/65536 dB) or a multiplexer source.
inline constexpr ULONG kNodeValueBytes = 4;

// PROPSETID_BREVICOR_DEVICE_CONFIG, id 0 (get only).
HRESULT GetDeviceInfoRecord(const CPropertyGetSetCtrl* ctrl, DEVICE_CONFIG* record);

// PROPSETID_BREVICOR_AUDIO_CONFIG, id 0.
HRESULT GetAudioConfigRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioConfigRecord* record);
HRESULT SetAudioConfigRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioConfigRecord* record);

// PROPSETID_BREVICOR_AUDIO_INPUT_INFO: id 0 the number of inputs, id 1 one input (get only).
HRESULT GetAudioInputCountRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioInputCountRecord* record);
HRESULT GetAudioInputInfoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioInputInfoRecord* record);

// PROPSETID_BREVICOR_VIDEODECODER, id 0; the get is the one the video pages share.
HRESULT GetVideoInfoRecord(const CPropertyGetSetCtrl* ctrl, VIDEODECODER_RECORD* record);
HRESULT SetVideoInfoRecord(const CPropertyGetSetCtrl* ctrl, VIDEODECODER_RECORD* record);

// PROPSETID_BREVICOR_CROP, id 0.
HRESULT GetCropRecord(const CPropertyGetSetCtrl* ctrl, CROP_RECORD* record);
HRESULT SetCropRecord(const CPropertyGetSetCtrl* ctrl, CROP_RECORD* record);

// PROPSETID_BREVICOR_CC, id 0.
HRESULT GetCaptionRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCCRecord* record);
HRESULT SetCaptionRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCCRecord* record);

// PROPSETID_BREVICOR_CROSSBAR: id 0 the caps, 1 a pin, 2 whether a route can be made (get only),
// 3 the route (get and set).
HRESULT GetCrossbarCapsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarCapsRecord* record);
HRESULT GetCrossbarPinInfoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarPinInfoRecord* record);
HRESULT GetCrossbarCanRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record);
HRESULT GetCrossbarRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record);
HRESULT SetCrossbarRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record);

// PROPSETID_BREVICOR_DEINTERLACE, id 0.
HRESULT GetDeinterlaceRecord(const CPropertyGetSetCtrl* ctrl, DEINTERLACE_RECORD* record);
HRESULT SetDeinterlaceRecord(const CPropertyGetSetCtrl* ctrl, DEINTERLACE_RECORD* record);

// PROPSETID_BREVICOR_DIAGNOSTICS, id 0.
HRESULT GetDiagnosticsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorDiagnosticsRecord* record);
HRESULT SetDiagnosticsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorDiagnosticsRecord* record);

// PROPSETID_BREVICOR_INPUTDETECT: id 0 the number of inputs of a list, id 1 one input (get only).
HRESULT GetInputCountRecord(const CPropertyGetSetCtrl* ctrl, BrevicorInputCountRecord* record);
HRESULT GetInputDetectRecord(const CPropertyGetSetCtrl* ctrl, BrevicorInputDetectRecord* record);

// PROPSETID_BREVICOR_LOS, id 0.
HRESULT GetLossOfSignalRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLOSRecord* record);
HRESULT SetLossOfSignalRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLOSRecord* record);

// PROPSETID_BREVICOR_PERFORMANCE, id 0.
HRESULT GetPerformanceRecord(const CPropertyGetSetCtrl* ctrl, PERFORMANCE_RECORD* record);
HRESULT SetPerformanceRecord(const CPropertyGetSetCtrl* ctrl, PERFORMANCE_RECORD* record);

// PROPSETID_BREVICOR_TRACE, id 0.
HRESULT GetTraceRecord(const CPropertyGetSetCtrl* ctrl, TRACE_RECORD* record);
HRESULT SetTraceRecord(const CPropertyGetSetCtrl* ctrl, TRACE_RECORD* record);

// PROPSETID_BREVICOR_VIDEOPROCAMP, id 0.
HRESULT GetProcAmpRecord(const CPropertyGetSetCtrl* ctrl, VIDEOPROCAMP_RECORD* record);
HRESULT SetProcAmpRecord(const CPropertyGetSetCtrl* ctrl, VIDEOPROCAMP_RECORD* record);

// PROPSETID_BREVICOR_LOGO, id 0.
HRESULT GetLogoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLogoRecord* record);
HRESULT SetLogoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLogoRecord* record);

// KSPROPSETID_Audio on a node of the audio filter: the volume level of one channel (40-byte
// request) and the multiplexer's source (32-byte request), each with a 4-byte value.
HRESULT GetNodeVolumeLevel(const CPropertyGetSetCtrl* ctrl, ULONG node, LONG channel, LONG* level);
HRESULT SetNodeVolumeLevel(const CPropertyGetSetCtrl* ctrl, ULONG node, LONG channel, LONG level);
HRESULT GetNodeMuxSource(const CPropertyGetSetCtrl* ctrl, ULONG node, ULONG* source);
HRESULT SetNodeMuxSource(const CPropertyGetSetCtrl* ctrl, ULONG node, ULONG source);
