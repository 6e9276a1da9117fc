// The device mutex and the filters' control mutexes (a pin uses its filter's): kernel mutexes, so
// recursive for their owner. The verifier follows the order in which each thread takes them: a
// control mutex taken while the thread holds a device mutex, or two of them taken against an order
// some thread used before, is a "ks-lock-order" breach (the framework's state changes hold a
// filter's control mutex and then take the device's, so the other order can deadlock).
#include "KsObjects.h"
#include "Reports.h"
#include "standin/verifier.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace standin {
namespace {

enum class KsMutexKind { Device, Control };

struct HeldKsMutex {
    PRKMUTEX mutex;
    KsMutexKind kind;
    int depth;
};

// The KS mutexes the calling thread holds, first taken first.
thread_local std::vector<HeldKsMutex> t_held;

struct LockOrder {
    std::mutex lock;
    std::set<std::pair<PRKMUTEX, PRKMUTEX>> before; // (a, b): b was taken while a was held
};

LockOrder& Order()
{
    static auto* order = new LockOrder;
    return *order;
}

const char* KindText(KsMutexKind kind)
{
    return kind == KsMutexKind::Device ? "device mutex" : "control mutex";
}

// Checks and records the order before the thread waits for `mutex`.
void NoteAcquire(PRKMUTEX mutex, KsMutexKind kind, PVOID object)
{
    for (auto& held : t_held)
        if (held.mutex == mutex) {
            ++held.depth; // taken again by its owner: no new order
            return;
        }
    std::string breach;
    if (kind == KsMutexKind::Control) {
        for (const auto& held : t_held)
            if (held.kind == KsMutexKind::Device) {
                breach = "the control mutex of " + PointerText(object) + " taken while holding device mutex " +
                         PointerText(held.mutex) + "; take the control mutex first";
                break;
            }
    }
    auto& order = Order();
    {
        std::lock_guard<std::mutex> hold(order.lock);
        if (breach.empty())
            for (const auto& held : t_held)
                if (order.before.count({mutex, held.mutex})) {
                    breach = std::string("the ") + KindText(kind) + " " + PointerText(mutex) + " taken while holding " +
                             KindText(held.kind) + " " + PointerText(held.mutex) +
                             ", against the order in which they were taken before";
                    break;
                }
        if (breach.empty())
            for (const auto& held : t_held)
                order.before.insert({held.mutex, mutex});
    }
    t_held.push_back({mutex, kind, 1});
    if (!breach.empty())
        VerifierReport("ks-lock-order", breach);
}

void NoteRelease(PRKMUTEX mutex)
{
    for (auto it = t_held.begin(); it != t_held.end(); ++it)
        if (it->mutex == mutex) {
            if (--it->depth == 0)
                t_held.erase(it);
            return;
        }
}

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

bool KsDeviceMutexHeld(PKSDEVICE device)
{
    KsDeviceObject* record = KsDeviceRecord(device);
    if (!record)
        return false;
    for (const auto& held : t_held)
        if (held.mutex == &record->mutex)
            return true;
    return false;
}

void KsForgetMutexOrder(PRKMUTEX mutex)
{
    auto& order = Order();
    std::lock_guard<std::mutex> hold(order.lock);
    for (auto it = order.before.begin(); it != order.before.end();)
        it = it->first == mutex || it->second == mutex ? order.before.erase(it) : std::next(it);
}

} // namespace standin

extern "C" VOID NTAPI KsAcquireDevice(PKSDEVICE Device)
{
    if (PRKMUTEX mutex = standin::DeviceMutexOf(Device)) {
        standin::NoteAcquire(mutex, standin::KsMutexKind::Device, Device);
        KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, nullptr);
    }
}

extern "C" VOID NTAPI KsReleaseDevice(PKSDEVICE Device)
{
    if (PRKMUTEX mutex = standin::DeviceMutexOf(Device)) {
        standin::NoteRelease(mutex);
        KeReleaseMutex(mutex, FALSE);
    }
}

extern "C" VOID NTAPI KsAcquireControl(PVOID Object)
{
    if (PRKMUTEX mutex = standin::ControlMutexOf(Object)) {
        standin::NoteAcquire(mutex, standin::KsMutexKind::Control, Object);
        KeWaitForSingleObject(mutex, Executive, KernelMode, FALSE, nullptr);
    }
}

extern "C" VOID NTAPI KsReleaseControl(PVOID Object)
{
    if (PRKMUTEX mutex = standin::ControlMutexOf(Object)) {
        standin::NoteRelease(mutex);
        KeReleaseMutex(mutex, FALSE);
    }
}
