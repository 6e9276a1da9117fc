// BasicFilter: the data of every filter object, the default virtual operations, the filter-kind
// tests and the audio connector types.
#include "basicfilter.h"

#include "basicstreamingpin.h"
#include "frameprocessedsink.h"

#include "audiocapturefilter.h"
#include "crossbarfilter.h"
#include "device.h"
#include "driver.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videocapturefilter.h"

#include "km/kspin.h"

#include <cstring>

const KSFILTER_DISPATCH BasicFilter::kFilterDispatch = {
    &BasicFilter::FilterCreate, // Create
    &BasicFilter::FilterClose,  // Close
    nullptr,                    // Process
    &BasicFilter::FilterReset,  // Reset
};

NTSTATUS BasicFilter::FilterCreate(PKSFILTER filter, PIRP irp)
{
    TRACE_SCOPE(nullptr, "BasicFilter::FilterCreate", kTraceLowEnter);
    if (filter == nullptr || filter->Descriptor == nullptr)
        return STATUS_INVALID_PARAMETER;
    const GUID* reference = filter->Descriptor->ReferenceGuid;
    BasicFilter* object = nullptr;
    if (IsVideoCaptureFilterReference(reference))
        object = new VideoCaptureFilter();
    else if (IsCrossbarFilterReference(reference))
        object = new CrossbarFilter();
    else
        object = new AudioCaptureFilter();
    if (object == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    const NTSTATUS bagged = KsAddItemToObjectBag(filter->Bag, object, &BasicFilter::FilterCleanup);
    if (!NT_SUCCESS(bagged)) {
        delete object;
        return bagged;
    }
    filter->Context = object;
    object->SetDevice(DeviceOfIrp(irp));
    object->SetKsFilter(filter);
    object->SetOwningProcess(IoGetCurrentProcess());
    if (object->GetDevice() != nullptr)
        object->SetDeviceNumber(static_cast<ULONG>(object->GetDevice()->GetInstanceId()));
    if (object->GetDevice() == nullptr)
        return STATUS_INVALID_DEVICE_STATE;
    return object->OnCreate(irp);
}

NTSTATUS BasicFilter::FilterClose(PKSFILTER filter, PIRP irp)
{
    TRACE_SCOPE(nullptr, "BasicFilter::FilterClose", kTraceLowEnter);
    auto* object = filter != nullptr ? static_cast<BasicFilter*>(filter->Context) : nullptr;
    if (object == nullptr)
        return STATUS_SUCCESS;
    return object->OnClose(irp);
}

NTSTATUS BasicFilter::FilterReset(PKSFILTER)
{
    return STATUS_SUCCESS;
}

VOID BasicFilter::FilterCleanup(PVOID object)
{
    delete static_cast<BasicFilter*>(object);
}

BasicFilter* BasicFilter::FromIrp(PIRP irp)
{
    PKSFILTER filter = irp != nullptr ? KsGetFilterFromIrp(irp) : nullptr;
    if (filter == nullptr && irp != nullptr) {
        // A request on a pin's handle is answered by the pin's filter.
        PKSPIN pin = KsGetPinFromIrp(irp);
        filter = pin != nullptr ? KsPinGetParentFilter(pin) : nullptr;
    }
    return filter != nullptr ? static_cast<BasicFilter*>(filter->Context) : nullptr;
}

Device* BasicFilter::DeviceOfIrp(PIRP irp)
{
    if (irp == nullptr)
        return nullptr;
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    PKSDEVICE device = location != nullptr ? KsGetDeviceForDeviceObject(location->DeviceObject) : nullptr;
    return Device::FromKsDevice(device);
}

ULONG BasicFilter::DataLength(PIRP irp)
{
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
}

ULONG BasicFilter::PropertyLength(PIRP irp)
{
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength;
}

void BasicFilter::CopyRequest(PKSPROPERTY property, PVOID data, ULONG bytes)
{
    if (data != property)
        std::memmove(data, property, bytes);
}

NTSTATUS BasicFilter::Complete(PIRP irp, NTSTATUS status, ULONG bytes)
{
    irp->IoStatus.Information = NT_SUCCESS(status) ? bytes : 0;
    return status;
}

NTSTATUS BasicFilter::GetPropertyCallback(PIRP irp, PKSIDENTIFIER property, PVOID data)
{
    TRACE_SCOPE(nullptr, "BasicFilter::GetPropertyCallback", kTraceLowEnter);
    BasicFilter* object = FromIrp(irp);
    if (object == nullptr || property == nullptr || data == nullptr)
        return STATUS_UNSUCCESSFUL;
    // The filter's own handlers take the same locks again (they are recursive).
    ControlAndDeviceLock hold(object);
    bool handled = false;
    const NTSTATUS status = GetDeviceWideProperty(irp, object->GetDevice(), property, data, &handled);
    if (handled)
        return status;
    return object->OnGetProperty(irp, property, data);
}

NTSTATUS BasicFilter::SetPropertyCallback(PIRP irp, PKSIDENTIFIER property, PVOID data)
{
    TRACE_SCOPE(nullptr, "BasicFilter::SetPropertyCallback", kTraceLowEnter);
    BasicFilter* object = FromIrp(irp);
    if (object == nullptr || property == nullptr || data == nullptr)
        return STATUS_UNSUCCESSFUL;
    ControlAndDeviceLock hold(object);
    bool handled = false;
    const NTSTATUS status = SetDeviceWideProperty(irp, object->GetDevice(), property, data, &handled);
    if (handled)
        return status;
    return object->OnSetProperty(irp, property, data);
}

// The device-wide items run under the filter's control mutex and the device mutex, as the filters'
// own: the board's start, stop and removal hold the device mutex throughout, so an item sees the
// board's settings, audio configuration and host port either as a start left them or as a stop
// did, never half way. DSP and FPGA access serialises in the command layer.
NTSTATUS BasicFilter::GetDeviceWideProperty(PIRP irp, Device* device, PKSPROPERTY property, PVOID data, bool* handled)
{
    *handled = true;
    if (device == nullptr) {
        *handled = false;
        return STATUS_UNSUCCESSFUL;
    }
    const GUID& set = property->Set;
    if (set == PROPSETID_BREVICOR_DIAGNOSTICS) {
        CopyRequest(property, data, kDiagnosticsBytes);
        const NTSTATUS status = device->GetDiagnostics(static_cast<BrevicorDiagnosticsRecord*>(data));
        irp->IoStatus.Information = status == STATUS_SUCCESS ? kDiagnosticsBytes : 0;
        return status;
    }
    if (set == PROPSETID_BREVICOR_INTERFACE_VERSION) {
        CopyRequest(property, data, kInterfaceVersionBytes);
        return Complete(irp, device->GetInterfaceVersion(static_cast<BrevicorInterfaceVersionRecord*>(data), nullptr),
                        kInterfaceVersionBytes);
    }
    if (set == PROPSETID_BREVICOR_DEVICE_CONFIG) {
        CopyRequest(property, data, kDeviceConfigBytes);
        return Complete(irp, device->GetDeviceConfig(static_cast<BrevicorDeviceConfigRecord*>(data)), kDeviceConfigBytes);
    }
    if (set == PROPSETID_BREVICOR_DRIVER_INFORMATION) {
        CopyRequest(property, data, kDriverInformationBytes);
        return Complete(irp, device->GetDriverInformation(static_cast<BrevicorDriverInformationRecord*>(data)),
                        kDriverInformationBytes);
    }
    if (set == PROPSETID_BREVICOR_TRACE) {
        CopyRequest(property, data, kTraceBytes);
        return Complete(irp, device->GetDriver()->GetBrevicorSupportSettings(static_cast<BrevicorSupportSettings*>(data)),
                        kTraceBytes);
    }
    if (set == PROPSETID_BREVICOR_AUDIO_CONFIG) {
        CopyRequest(property, data, kAudioConfigBytes);
        return Complete(irp, device->GetAudioInputSettings(static_cast<BrevicorAudioConfigRecord*>(data)),
                        kAudioConfigBytes);
    }
    *handled = false;
    return STATUS_SUCCESS;
}

NTSTATUS BasicFilter::SetDeviceWideProperty(PIRP irp, Device* device, PKSPROPERTY property, PVOID data, bool* handled)
{
    *handled = true;
    if (device == nullptr) {
        *handled = false;
        return STATUS_UNSUCCESSFUL;
    }
    const GUID& set = property->Set;
    // The sets that act on the board are refused while it is not started: nothing of them is
    // applied or stored then.
    const bool onTheBoard = set == PROPSETID_BREVICOR_DIAGNOSTICS || set == PROPSETID_BREVICOR_AUDIO_CONFIG;
    if (onTheBoard) {
        const NTSTATUS ready = device->CheckReady();
        if (!NT_SUCCESS(ready)) {
            TRACE_LINE(device, "BasicFilter::SetPropertyCallback", kTraceWarnings,
                       "A device-wide set while the device is stopped");
            return Complete(irp, ready, 0);
        }
    }
    if (set == PROPSETID_BREVICOR_DIAGNOSTICS) {
        TRACE_LINE(device, "BasicFilter::SetPropertyCallback", kTraceHighs, "PROPSETID_BREVICOR_DIAGNOSTICS");
        CopyRequest(property, data, kDiagnosticsBytes);
        const NTSTATUS status = device->SetDiagnostics(static_cast<BrevicorDiagnosticsRecord*>(data));
        irp->IoStatus.Information = status == STATUS_SUCCESS ? kDiagnosticsBytes : 0;
        return status;
    }
    if (set == PROPSETID_BREVICOR_TRACE) {
        TRACE_LINE(device, "BasicFilter::SetPropertyCallback", kTraceHighs, "PROPSETID_BREVICOR_TRACE");
        CopyRequest(property, data, kTraceBytes);
        // The log file name must end within its field.
        const auto* settings = static_cast<const BrevicorSupportSettings*>(data);
        bool terminated = false;
        for (ULONG i = 0; i < sizeof(settings->logFileName) / sizeof(WCHAR) && !terminated; ++i)
            terminated = settings->logFileName[i] == 0;
        if (!terminated) {
            TRACE_LINE(device, "BasicFilter::SetPropertyCallback", kTraceErrors, "The log file name is not terminated");
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        }
        return Complete(irp,
                        device->GetDriver()->SetBrevicorSupportSettings(static_cast<BrevicorSupportSettings*>(data), true),
                        kTraceBytes);
    }
    if (set == PROPSETID_BREVICOR_AUDIO_CONFIG) {
        TRACE_LINE(device, "BasicFilter::SetPropertyCallback", kTraceHighs, "PROPSETID_BREVICOR_AUDIO_CONFIG");
        CopyRequest(property, data, kAudioConfigBytes);
        return Complete(irp, device->SetAudioConfigurationSettings(static_cast<BrevicorAudioConfigRecord*>(data)),
                        kAudioConfigBytes);
    }
    *handled = false;
    return STATUS_SUCCESS;
}

BasicFilter::~BasicFilter()
{
    TRACE_SCOPE(this, "BasicFilter::~BasicFilter", kTraceLowEnter);
}

ULONG BasicFilter::GetInputIOIndex(ULONG)
{
    return 0;
}

NTSTATUS BasicFilter::OnCreate(PIRP)
{
    return STATUS_SUCCESS;
}

NTSTATUS BasicFilter::OnClose(PIRP)
{
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS BasicFilter::Reserved()
{
    return STATUS_UNSUCCESSFUL;
}

VideoInputItems* BasicFilter::GetVideoInputItems()
{
    return nullptr;
}

ULONG BasicFilter::TranslateAudioInputType(ULONG inputType)
{
    switch (inputType) {
    case 10:
        return kConnectorLine;
    case 11:
        return kConnectorAesDigital;
    case 12:
    case 13:
    case 14:
        return kConnectorSpdifDigital;
    default:
        return kConnectorGeneric;
    }
}

bool BasicFilter::IsVideoCaptureFilterReference(const GUID* reference)
{
    return reference != nullptr && *reference == kVideoCaptureFilterReference;
}

bool BasicFilter::IsCrossbarFilterReference(const GUID* reference)
{
    return reference != nullptr && *reference == kCrossbarFilterReference;
}

GUID BasicFilter::GetAudioCaptureFilterReference(ULONG n)
{
    if (n >= kAudioFilterReferenceCount)
        return GUID{};
    GUID reference = kAudioCaptureFilterReference;
    reference.Data1 += n;
    return reference;
}

LONG BasicFilter::GetAudioCaptureFilterIndex(const GUID* reference)
{
    if (reference == nullptr)
        return -1;
    for (ULONG n = 0; n < kAudioFilterReferenceCount; ++n)
        if (*reference == GetAudioCaptureFilterReference(n))
            return static_cast<LONG>(n);
    return -1;
}

bool BasicFilter::IsAudioCaptureFilterReference(const GUID* reference)
{
    return GetAudioCaptureFilterIndex(reference) >= 0;
}

BasicFilter::ControlAndDeviceLock::ControlAndDeviceLock(BasicFilter* filter)
    : m_filter(filter->GetKsFilter()),
      m_device(filter->GetDevice() != nullptr ? filter->GetDevice()->GetKsDevice() : nullptr)
{
    if (m_filter != nullptr)
        KsAcquireControl(m_filter);
    if (m_device != nullptr)
        KsAcquireDevice(m_device);
}

BasicFilter::ControlAndDeviceLock::~ControlAndDeviceLock()
{
    if (m_device != nullptr)
        KsReleaseDevice(m_device);
    if (m_filter != nullptr)
        KsReleaseControl(m_filter);
}

VideoInputItems* BasicFilter::VideoInputsForDetection()
{
    VideoInputItems* own = GetVideoInputItems();
    return own != nullptr ? own : GetDevice()->GetVideoInputItems();
}

NTSTATUS BasicFilter::GetInputDetect(PIRP irp, PKSPROPERTY property, PVOID data)
{
    Device* device = GetDevice();
    if (property->Id == 0) {
        CopyRequest(property, data, sizeof(BrevicorInputCountRecord));
        auto* record = static_cast<BrevicorInputCountRecord*>(data);
        record->inputCount = record->listSelector == kInputListVideo ? VideoInputsForDetection()->GetInputCount()
                                                                      : device->GetAudioInputItems()->GetInputCount();
        return Complete(irp, STATUS_SUCCESS, sizeof(BrevicorInputCountRecord));
    }
    if (property->Id != 1)
        return STATUS_NOT_FOUND;
    CopyRequest(property, data, sizeof(BrevicorInputDetectRecord));
    auto* record = static_cast<BrevicorInputDetectRecord*>(data);
    const ULONG selector = record->listSelector;
    const ULONG index = record->inputNumber;
    UCHAR request[32];
    std::memcpy(request, record, sizeof(request));
    NTSTATUS status = STATUS_SUCCESS;
    if (selector == kInputListVideo) {
        VideoInputItems* inputs = VideoInputsForDetection();
        if (index >= inputs->GetInputCount())
            return Complete(irp, STATUS_UNSUCCESSFUL, 0);
        status = inputs->GetInputDetectInfo(record);
        std::memcpy(record, request, sizeof(request)); // the request's header, selector and index stay
        record->inputType = kVideoConnectorType;
    } else {
        AudioInputItems* inputs = device->GetAudioInputItems();
        if (index >= inputs->GetInputCount())
            return Complete(irp, STATUS_UNSUCCESSFUL, 0);
        status = device->GetAudioInputDetectRecord(index, record);
        std::memcpy(record, request, sizeof(request));
        ULONG type = 0;
        inputs->GetInputType(index, &type);
        record->inputType = TranslateAudioInputType(type);
        // The input's name at 70, cut to the record.
        WCHAR name[(sizeof(BrevicorInputDetectRecord) - offsetof(BrevicorInputDetectRecord, reserved)) / sizeof(WCHAR)] = {};
        if (NT_SUCCESS(inputs->GetInputNameString(index, name, sizeof(name) / sizeof(WCHAR))))
            std::memcpy(record->reserved, name, sizeof(name));
    }
    return Complete(irp, status, sizeof(BrevicorInputDetectRecord));
}

NTSTATUS BasicFilter::GetDroppedFrames(PIRP irp, PKSPROPERTY property, PVOID data, ULONG pinId, ULONG otherPinId)
{
    CopyRequest(property, data, sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S));
    PKSPIN pin = m_ksFilter != nullptr ? KsFilterGetFirstChildPin(m_ksFilter, pinId) : nullptr;
    if (pin == nullptr && m_ksFilter != nullptr)
        pin = KsFilterGetFirstChildPin(m_ksFilter, otherPinId);
    if (pin == nullptr)
        return Complete(irp, STATUS_UNSUCCESSFUL, 0);
    auto* record = static_cast<KSPROPERTY_DROPPEDFRAMES_CURRENT_S*>(data);
    record->PictureNumber = 0;
    record->DropCount = 0;
    record->AverageFrameSize = 0;
    // A streaming pin with a sink counts what it delivered and dropped; its frames are its framing's.
    auto* object = dynamic_cast<BasicStreamingPin*>(BasicPin::FromKsPin(pin));
    if (object != nullptr && object->GetSink() != nullptr) {
        record->PictureNumber = static_cast<LONGLONG>(object->GetSink()->GetDeliveredFrameCount());
        record->DropCount = static_cast<LONGLONG>(object->GetSink()->GetDroppedFrameCount());
        record->AverageFrameSize = object->GetFrameSize();
    }
    return Complete(irp, STATUS_SUCCESS, sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S));
}
