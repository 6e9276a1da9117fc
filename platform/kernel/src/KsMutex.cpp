// The device mutex and the filters' control mutexes: kernel mutexes, so recursive for their owner.
#include "KsObjects.h"
#include "Reports.h"
#include "km/verifier.h"

namespace standin {
namespace {

PRKMUTEX ControlMutexOf(PVOID object)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(object) == KsObjectKind::Filter)
        return &reinterpret_cast<KsFilterObject*>(object)->control;
    VerifierReport("bad-argument", CallText("KsAcquireControl", object) + ", which is not a filter");
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
