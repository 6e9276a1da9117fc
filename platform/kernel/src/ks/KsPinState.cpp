// A pin's state changes: one step at a time between Stop, Acquire, Pause and Run, each step through
// the pin's SetDeviceState under its filter's control mutex.
#include "KsObjects.h"
#include "km/status.h"

namespace standin {
namespace {

// One step from the pin's state towards `to`: the driver's SetDeviceState, then the new state.
// `wantsProcess` says whether the new state has frames for the pin's Process.
NTSTATUS Step(KsPinObject* pin, KSSTATE to, bool* wantsProcess)
{
    *wantsProcess = false;
    const KSSTATE from = pin->pin.DeviceState;
    const KSSTATE next = static_cast<KSSTATE>(to > from ? from + 1 : from - 1);
    NTSTATUS status = STATUS_SUCCESS;
    if (pin->dispatch && pin->dispatch->SetDeviceState)
        status = pin->dispatch->SetDeviceState(&pin->pin, next, from);
    if (!NT_SUCCESS(status))
        return status;
    pin->pin.DeviceState = next;
    *wantsProcess = KsPinStreamStateChanged(&pin->pin, next, from);
    return STATUS_SUCCESS;
}

} // namespace

NTSTATUS KsWalkPinState(KsPinObject* pin, KSSTATE to)
{
    if (to > KSSTATE_RUN)
        return STATUS_INVALID_PARAMETER;
    KsAcquireControl(&pin->pin);
    pin->pin.ClientState = to;
    NTSTATUS status = STATUS_SUCCESS;
    bool wantsProcess = false;
    while (pin->pin.DeviceState != to && NT_SUCCESS(status))
        status = Step(pin, to, &wantsProcess);
    KsReleaseControl(&pin->pin);
    // Frames waiting in the state the walk ended in go to Process only now: the driver's Process may
    // take the control mutex, and another thread's Process may be waiting for it.
    if (wantsProcess)
        KsPinStreamProcess(&pin->pin);
    return status;
}

void KsStepPinDownForClose(KsPinObject* pin)
{
    pin->pin.ClientState = KSSTATE_STOP;
    while (pin->pin.DeviceState != KSSTATE_STOP) {
        const KSSTATE from = pin->pin.DeviceState;
        bool wantsProcess = false; // a pin being closed processes nothing more
        if (!NT_SUCCESS(Step(pin, KSSTATE_STOP, &wantsProcess))) {
            // The pin goes regardless; the stream side still hears of each step.
            pin->pin.DeviceState = static_cast<KSSTATE>(from - 1);
            KsPinStreamStateChanged(&pin->pin, pin->pin.DeviceState, from);
        }
    }
}

} // namespace standin
