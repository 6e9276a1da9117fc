// The device mutex and the filters' control mutexes (a pin uses its filter's): kernel mutexes, so
// recursive for their owner.
#include "KsObjects.h"
#include "Reports.h"
#include "standin/verifier.h"

namespace standin {
namespace {

PRKMUTEX ControlMutexOf(PVOID object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(object) == KsObjectKind::Filter)
        return &reinterpret_cast<KsFilterObject*>(object)->control;
    if (KsKindOf(object) == KsObjectKind::Pin) // a pin shares its filter's
        return &KsPinRecord(static_cast<PKSPIN>(object))->filter->control;
    VerifierReport("bad-argument", CallText("KsAcquireControl", object) + ", which is not a filter or a pin");
    return nullptr;
}

PRKMUTEX DeviceMutexOf(PKSDEVICE device)
{
    KsDeviceObject* record = KsDeviceRecord(device);
    if (!record)
        VerifierReport("bad-argument", CallText("KsAcquireDevice", device) + ", which is not a device");
    return record ? &record->mutex : nullptr;
}

} // namespace
} // namespace standin

extern "C" VOID NTAPI KsAcquireDevice(PKSDEVICE Device)
{
    if (PRKMUTEX mutex = standin::DeviceMutexOf(Device))
        KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, nullptr);
}

extern "C" VOID NTAPI KsReleaseDevice(PKSDEVICE Device)
{
    if (PRKMUTEX mutex = standin::DeviceMutexOf(Device))
        KeReleaseMutex(mutex, FALSE);
}

extern "C" VOID NTAPI KsAcquireControl(PVOID Object)
{
    if (PRKMUTEX mutex = standin::ControlMutexOf(Object))
        KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, nullptr);
}

extern "C" VOID NTAPI KsReleaseControl(PVOID Object)
{
    if (PRKMUTEX mutex = standin::ControlMutexOf(Object))
        KeReleaseMutex(mutex, FALSE);
}
