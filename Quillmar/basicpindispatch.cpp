// BasicPinDispatch: the pin dispatch table and the pin object's creation.
#include "basicpindispatch.h"

#include "audiocapturepin.h"
#include "audioinputpin.h"
#include "basicaudiofilter.h"
#include "basicfilter.h"
#include "basicvideofilter.h"
#include "device.h"
#include "km/ksfilter.h"
#include "km/raise.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videocapturepin.h"
#include "videoccpin.h"
#include "videopreviewpin.h"
#include "videovbipin.h"

namespace {

// The pin's control mutex (its filter's) for the whole of an entry.
class ControlHold {
public:
    explicit ControlHold(PKSPIN pin) : m_pin(pin) { KsAcquireControl(pin); }
    ~ControlHold() { KsReleaseControl(m_pin); }
    ControlHold(const ControlHold&) = delete;
    ControlHold& operator=(const ControlHold&) = delete;

private:
    PKSPIN m_pin;
};

} // namespace

const KSPIN_DISPATCH BasicPinDispatch::kDispatch = {
    &BasicPinDispatch::DispatchPinCreate,
    &BasicPinDispatch::DispatchPinClose,
    &BasicPinDispatch::DispatchPinProcess,
    &BasicPinDispatch::DispatchPinReset,
    &BasicPinDispatch::DispatchPinSetDataFormat,
    &BasicPinDispatch::DispatchPinSetDeviceState,
    &BasicPinDispatch::DispatchPinConnect,
    &BasicPinDispatch::DispatchPinDisconnect,
    nullptr,
    nullptr,
};

BasicPin* BasicPinDispatch::MakePinObject(PKSPIN pin)
{
    // An object the driver's allocation cannot serve is no pin: the creation is refused with
    // STATUS_INSUFFICIENT_RESOURCES instead of raising into the framework.
    try {
        return MakePinObjectOrRaise(pin);
    } catch (const standin::RaisedStatus&) {
        return nullptr;
    }
}

BasicPin* BasicPinDispatch::MakePinObjectOrRaise(PKSPIN pin)
{
    const KSPIN_DESCRIPTOR& descriptor = pin->Descriptor->PinDescriptor;
    const GUID* category = descriptor.Category;
    if (category == nullptr)
        return nullptr;
    if (descriptor.DataRangesCount > 0 && descriptor.DataRanges != nullptr &&
        descriptor.DataRanges[0]->MajorFormat == KSDATAFORMAT_TYPE_AUDIO) {
        if (*category == PINNAME_CAPTURE)
            return new AudioCapturePin(pin);
        return new AudioInputPin(pin);
    }
    if (*category == PINNAME_CAPTURE)
        return new VideoCapturePin(pin);
    if (*category == PIN_CATEGORY_PREVIEW)
        return new VideoPreviewPin(pin);
    if (*category == PIN_CATEGORY_VBI)
        return new VideoVBIPin(pin);
    if (*category == PIN_CATEGORY_CC)
        return new VideoCCPin(pin);
    return nullptr;
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinCreate(PKSPIN pin, PIRP irp)
{
    TRACE_SCOPE(nullptr, "BasicPinDispatch::DispatchPinCreate", kTraceLowEnter, "PID=%d",
                static_cast<int>(pin->Id));
    ControlHold hold(pin);
    BasicPin* object = MakePinObject(pin);
    if (object == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    const NTSTATUS added = KsAddItemToObjectBag(pin->Bag, object, &BasicPin::PinCleanup);
    if (!NT_SUCCESS(added)) {
        delete object;
        return added;
    }
    pin->Context = object;
    // The filter and the device are looked up now, while the pin is sure to have both.
    object->GetFilter();
    object->GetDevice();
    return object->OnCreate(irp);
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinClose(PKSPIN pin, PIRP irp)
{
    ControlHold hold(pin);
    BasicPin* object = BasicPin::FromKsPin(pin);
    return object != nullptr ? object->OnClose(irp) : STATUS_SUCCESS;
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinProcess(PKSPIN pin)
{
    ControlHold hold(pin);
    BasicPin* object = BasicPin::FromKsPin(pin);
    return object != nullptr ? object->OnProcess() : STATUS_PENDING;
}

VOID NTAPI BasicPinDispatch::DispatchPinReset(PKSPIN pin)
{
    ControlHold hold(pin);
    if (BasicPin* object = BasicPin::FromKsPin(pin))
        object->OnReset();
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                                          PKSMULTIPLE_ITEM oldAttributeList,
                                                          const KSDATARANGE* dataRange,
                                                          const KSATTRIBUTE_LIST* attributeRange)
{
    ControlHold hold(pin);
    PKSFILTER filter = KsPinGetParentFilter(pin);
    const GUID* reference =
        filter != nullptr && filter->Descriptor != nullptr ? filter->Descriptor->ReferenceGuid : nullptr;
    if (BasicFilter::IsAudioCaptureFilterReference(reference))
        return BasicAudioFilter::DispatchPinSetDataFormat(pin, oldFormat, oldAttributeList, dataRange,
                                                          attributeRange);
    if (BasicFilter::IsVideoCaptureFilterReference(reference))
        return BasicVideoFilter::DispatchPinSetDataFormat(pin, oldFormat, oldAttributeList, dataRange,
                                                          attributeRange);
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from)
{
    ControlHold hold(pin);
    BasicPin* object = BasicPin::FromKsPin(pin);
    if (object == nullptr)
        return STATUS_UNSUCCESSFUL;
    PKSDEVICE device = KsGetDevice(pin);
    KsAcquireDevice(device);
    const NTSTATUS status = object->OnSetDeviceState(to, from);
    KsReleaseDevice(device);
    return status;
}

NTSTATUS NTAPI BasicPinDispatch::DispatchPinConnect(PKSPIN pin)
{
    ControlHold hold(pin);
    BasicPin* object = BasicPin::FromKsPin(pin);
    return object != nullptr ? object->OnConnect() : STATUS_SUCCESS;
}

VOID NTAPI BasicPinDispatch::DispatchPinDisconnect(PKSPIN pin)
{
    ControlHold hold(pin);
    if (BasicPin* object = BasicPin::FromKsPin(pin))
        object->OnDisconnect();
}
