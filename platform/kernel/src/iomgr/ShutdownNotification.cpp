// Shutdown notification: the devices that asked for IRP_MJ_SHUTDOWN, and the system shutdown that
// sends it to the top of each one's stack, most recent registration first.
#include "DeviceObject.h"
#include "Reports.h"
#include "ShutdownList.h"
#include "km/irp.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <algorithm>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace standin {
namespace {

struct ShutdownList {
    std::mutex lock;
    std::deque<PDEVICE_OBJECT> devices; // the next to notify first

    static ShutdownList& Instance()
    {
        static ShutdownList* list = new ShutdownList;
        return *list;
    }
};

struct ShutdownHooks {
    std::mutex lock;
    std::vector<std::pair<std::string, std::function<void()>>> hooks;

    static ShutdownHooks& Instance()
    {
        static ShutdownHooks* hooks = new ShutdownHooks;
        return *hooks;
    }
};

} // namespace

void RegisterShutdownHook(const std::string& name, std::function<void()> hook)
{
    auto& all = ShutdownHooks::Instance();
    std::lock_guard<std::mutex> hold(all.lock);
    for (auto& entry : all.hooks)
        if (entry.first == name) {
            entry.second = std::move(hook);
            return;
        }
    all.hooks.emplace_back(name, std::move(hook));
}

void UnregisterShutdownNotificationOf(PDEVICE_OBJECT device)
{
    auto& list = ShutdownList::Instance();
    std::lock_guard<std::mutex> hold(list.lock);
    list.devices.erase(std::remove(list.devices.begin(), list.devices.end(), device), list.devices.end());
    __atomic_and_fetch(&device->Flags, ~ULONG(DO_SHUTDOWN_REGISTERED), __ATOMIC_RELAXED);
}

std::vector<PDEVICE_OBJECT> ShutdownRegistrations()
{
    auto& list = ShutdownList::Instance();
    std::lock_guard<std::mutex> hold(list.lock);
    return {list.devices.begin(), list.devices.end()};
}

size_t SendShutdownNotifications()
{
    CheckIrqlAtMost("SendShutdownNotifications", PASSIVE_LEVEL);
    std::vector<std::function<void()>> hooks;
    {
        auto& all = ShutdownHooks::Instance();
        std::lock_guard<std::mutex> hold(all.lock);
        for (const auto& entry : all.hooks)
            hooks.push_back(entry.second);
    }
    for (const auto& hook : hooks)
        hook();
    size_t sent = 0;
    for (PDEVICE_OBJECT registered : ShutdownRegistrations()) {
        // A device deleted since the snapshot has left the list; skip it.
        DeviceObjectRecord* record = ReferenceDeviceRecord(registered);
        if (!record)
            continue;
        bool stillRegistered;
        {
            auto& list = ShutdownList::Instance();
            std::lock_guard<std::mutex> hold(list.lock);
            stillRegistered =
                std::find(list.devices.begin(), list.devices.end(), registered) != list.devices.end();
        }
        if (stillRegistered) {
            PDEVICE_OBJECT top = IoGetAttachedDeviceReference(registered);
            IO_STACK_LOCATION request{};
            request.MajorFunction = IRP_MJ_SHUTDOWN;
            CallDriverAndWait(top, request, STATUS_SUCCESS);
            ObDereferenceObject(top);
            ++sent;
        }
        DereferenceObject(record);
    }
    return sent;
}

} // namespace standin

extern "C" NTSTATUS NTAPI IoRegisterShutdownNotification(PDEVICE_OBJECT DeviceObject)
{
    using namespace standin;
    CheckIrqlAtMost("IoRegisterShutdownNotification", PASSIVE_LEVEL);
    DeviceObjectRecord* record = ReferenceDeviceRecord(DeviceObject);
    if (!record || record->IsDeleted()) {
        VerifierReport("bad-object", CallText("IoRegisterShutdownNotification", DeviceObject) +
                                         ", which is not a live device object");
        if (record)
            DereferenceObject(record);
        return STATUS_INVALID_PARAMETER;
    }
    {
        auto& list = ShutdownList::Instance();
        std::lock_guard<std::mutex> hold(list.lock);
        if (std::find(list.devices.begin(), list.devices.end(), DeviceObject) == list.devices.end()) {
            list.devices.push_front(DeviceObject);
            __atomic_or_fetch(&DeviceObject->Flags, ULONG(DO_SHUTDOWN_REGISTERED), __ATOMIC_RELAXED);
        }
    }
    DereferenceObject(record);
    return STATUS_SUCCESS;
}

extern "C" VOID NTAPI IoUnregisterShutdownNotification(PDEVICE_OBJECT DeviceObject)
{
    standin::CheckIrqlAtMost("IoUnregisterShutdownNotification", PASSIVE_LEVEL);
    standin::UnregisterShutdownNotificationOf(DeviceObject);
}
