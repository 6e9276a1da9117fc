// The request helpers: each set's identifier, item and record length, checked against the record
// types of the private set contract.
#include "transport/PropertyRequests.h"

#include "shared/ksaudiorecords.h"
#include "um/ks.h"

#include "privatesetguids.h"

namespace {

static_assert(sizeof(DEVICE_CONFIG) == kDeviceConfigBytes);
static_assert(sizeof(BrevicorAudioConfigRecord) == kAudioConfigBytes);
static_assert(sizeof(BrevicorAudioInputCountRecord) == kAudioInputCountBytes);
static_assert(sizeof(BrevicorAudioInputInfoRecord) == kAudioInputInfoBytes);
static_assert(sizeof(VIDEODECODER_RECORD) == kVideoDecoderBytes);
static_assert(sizeof(CROP_RECORD) == kCropBytes);
static_assert(sizeof(BrevicorCCRecord) == kCaptionBytes);
static_assert(sizeof(BrevicorCrossbarCapsRecord) == kCrossbarCapsBytes);
static_assert(sizeof(BrevicorCrossbarPinInfoRecord) == kCrossbarPinInfoBytes);
static_assert(sizeof(BrevicorCrossbarRouteRecord) == kCrossbarRouteBytes);
static_assert(sizeof(DEINTERLACE_RECORD) == kDeinterlaceBytes);
static_assert(sizeof(BrevicorDiagnosticsRecord) == kDiagnosticsBytes);
static_assert(sizeof(BrevicorInputCountRecord) == kInputCountBytes);
static_assert(sizeof(BrevicorInputDetectRecord) == kInputDetectBytes);
static_assert(sizeof(BrevicorLOSRecord) == kLossOfSignalBytes);
static_assert(sizeof(PERFORMANCE_RECORD) == kPerformanceBytes);
static_assert(sizeof(TRACE_RECORD) == kTraceBytes);
static_assert(sizeof(VIDEOPROCAMP_RECORD) == kProcAmpBytes);
static_assert(sizeof(BrevicorLogoRecord) == kLogoBytes);

template <class Record>
HRESULT Send(const CPropertyGetSetCtrl* ctrl, const GUID& set, ULONG id, ULONG flags, Record* record)
{
    if (!ctrl || !record)
        return E_POINTER;
    return ctrl->SendPropertyRecord(set, id, flags, record, sizeof(Record));
}

template <class Record>
HRESULT Get(const CPropertyGetSetCtrl* ctrl, const GUID& set, ULONG id, Record* record)
{
    return Send(ctrl, set, id, kBrevicorPropertyGet, record);
}

template <class Record>
HRESULT Set(const CPropertyGetSetCtrl* ctrl, const GUID& set, ULONG id, Record* record)
{
    return Send(ctrl, set, id, kBrevicorPropertySet, record);
}

} // namespace

HRESULT GetDeviceInfoRecord(const CPropertyGetSetCtrl* ctrl, DEVICE_CONFIG* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_DEVICE_CONFIG, kBrevicorItemRecord, record);
}

HRESULT GetAudioConfigRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioConfigRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_AUDIO_CONFIG, kBrevicorItemRecord, record);
}
HRESULT SetAudioConfigRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioConfigRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_AUDIO_CONFIG, kBrevicorItemRecord, record);
}

HRESULT GetAudioInputCountRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioInputCountRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_AUDIO_INPUT_INFO, kBrevicorAudioInputCountItem, record);
}
HRESULT GetAudioInputInfoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorAudioInputInfoRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_AUDIO_INPUT_INFO, kBrevicorAudioInputInfoItem, record);
}

HRESULT GetVideoInfoRecord(const CPropertyGetSetCtrl* ctrl, VIDEODECODER_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_VIDEODECODER, kBrevicorItemRecord, record);
}
HRESULT SetVideoInfoRecord(const CPropertyGetSetCtrl* ctrl, VIDEODECODER_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_VIDEODECODER, kBrevicorItemRecord, record);
}

HRESULT GetCropRecord(const CPropertyGetSetCtrl* ctrl, CROP_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CROP, kBrevicorItemRecord, record);
}
HRESULT SetCropRecord(const CPropertyGetSetCtrl* ctrl, CROP_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_CROP, kBrevicorItemRecord, record);
}

HRESULT GetCaptionRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCCRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CC, kBrevicorItemRecord, record);
}
HRESULT SetCaptionRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCCRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_CC, kBrevicorItemRecord, record);
}

HRESULT GetCrossbarCapsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarCapsRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CROSSBAR, kBrevicorCrossbarCapsItem, record);
}
HRESULT GetCrossbarPinInfoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarPinInfoRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CROSSBAR, kBrevicorCrossbarPinInfoItem, record);
}
HRESULT GetCrossbarCanRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CROSSBAR, kBrevicorCrossbarCanRouteItem, record);
}
HRESULT GetCrossbarRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_CROSSBAR, kBrevicorCrossbarRouteItem, record);
}
HRESULT SetCrossbarRouteRecord(const CPropertyGetSetCtrl* ctrl, BrevicorCrossbarRouteRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_CROSSBAR, kBrevicorCrossbarRouteItem, record);
}

HRESULT GetDeinterlaceRecord(const CPropertyGetSetCtrl* ctrl, DEINTERLACE_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_DEINTERLACE, kBrevicorItemRecord, record);
}
HRESULT SetDeinterlaceRecord(const CPropertyGetSetCtrl* ctrl, DEINTERLACE_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_DEINTERLACE, kBrevicorItemRecord, record);
}

HRESULT GetDiagnosticsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorDiagnosticsRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_DIAGNOSTICS, kBrevicorItemRecord, record);
}
HRESULT SetDiagnosticsRecord(const CPropertyGetSetCtrl* ctrl, BrevicorDiagnosticsRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_DIAGNOSTICS, kBrevicorItemRecord, record);
}

HRESULT GetInputCountRecord(const CPropertyGetSetCtrl* ctrl, BrevicorInputCountRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_INPUTDETECT, kBrevicorInputCountItem, record);
}
HRESULT GetInputDetectRecord(const CPropertyGetSetCtrl* ctrl, BrevicorInputDetectRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_INPUTDETECT, kBrevicorInputDetectItem, record);
}

HRESULT GetLossOfSignalRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLOSRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_LOS, kBrevicorItemRecord, record);
}
HRESULT SetLossOfSignalRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLOSRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_LOS, kBrevicorItemRecord, record);
}

HRESULT GetPerformanceRecord(const CPropertyGetSetCtrl* ctrl, PERFORMANCE_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_PERFORMANCE, kBrevicorItemRecord, record);
}
HRESULT SetPerformanceRecord(const CPropertyGetSetCtrl* ctrl, PERFORMANCE_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_PERFORMANCE, kBrevicorItemRecord, record);
}

HRESULT GetTraceRecord(const CPropertyGetSetCtrl* ctrl, TRACE_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_TRACE, kBrevicorItemRecord, record);
}
HRESULT SetTraceRecord(const CPropertyGetSetCtrl* ctrl, TRACE_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_TRACE, kBrevicorItemRecord, record);
}

HRESULT GetProcAmpRecord(const CPropertyGetSetCtrl* ctrl, VIDEOPROCAMP_RECORD* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_VIDEOPROCAMP, kBrevicorItemRecord, record);
}
HRESULT SetProcAmpRecord(const CPropertyGetSetCtrl* ctrl, VIDEOPROCAMP_RECORD* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_VIDEOPROCAMP, kBrevicorItemRecord, record);
}

HRESULT GetLogoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLogoRecord* record)
{
    return Get(ctrl, PROPSETID_BREVICOR_LOGO, kBrevicorItemRecord, record);
}
HRESULT SetLogoRecord(const CPropertyGetSetCtrl* ctrl, BrevicorLogoRecord* record)
{
    return Set(ctrl, PROPSETID_BREVICOR_LOGO, kBrevicorItemRecord, record);
}

HRESULT GetNodeVolumeLevel(const CPropertyGetSetCtrl* ctrl, ULONG node, LONG channel, LONG* level)
{
    if (!ctrl || !level)
        return E_POINTER;
    return ctrl->SendNodeProperty(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, KSPROPERTY_TYPE_GET, node,
                                  &channel, level, kNodeValueBytes);
}
HRESULT SetNodeVolumeLevel(const CPropertyGetSetCtrl* ctrl, ULONG node, LONG channel, LONG level)
{
    if (!ctrl)
        return E_POINTER;
    return ctrl->SendNodeProperty(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, KSPROPERTY_TYPE_SET, node,
                                  &channel, &level, kNodeValueBytes);
}
HRESULT GetNodeMuxSource(const CPropertyGetSetCtrl* ctrl, ULONG node, ULONG* source)
{
    if (!ctrl || !source)
        return E_POINTER;
    return ctrl->SendNodeProperty(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE, KSPROPERTY_TYPE_GET, node,
                                  nullptr, source, kNodeValueBytes);
}
HRESULT SetNodeMuxSource(const CPropertyGetSetCtrl* ctrl, ULONG node, ULONG source)
{
    if (!ctrl)
        return E_POINTER;
    return ctrl->SendNodeProperty(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE, KSPROPERTY_TYPE_SET, node,
                                  nullptr, &source, kNodeValueBytes);
}
