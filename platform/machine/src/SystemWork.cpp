// System threads for the machine's calls into drivers.
#include "SystemWork.h"

#include "km/object.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"
#include "standin/system.h"

#include <exception>

namespace platform {
namespace {

struct Work {
    const std::function<void()>* work;
    std::exception_ptr failure;
    KEVENT done; // set as the routine's last act, for when the thread object cannot be waited on
};

VOID NTAPI RunWork(PVOID context)
{
    auto* item = static_cast<Work*>(context);
    try {
        (*item->work)();
    } catch (const standin::ThreadTermination&) {
        KeSetEvent(&item->done, 0, FALSE);
        throw; // the thread's own end, from PsTerminateSystemThread inside a driver
    } catch (...) {
        item->failure = std::current_exception();
    }
    KeSetEvent(&item->done, 0, FALSE);
}

} // namespace

void RunOnSystemThread(const std::function<void()>& work)
{
    Work item{&work, nullptr, {}};
    KeInitializeEvent(&item.done, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    if (!NT_SUCCESS(PsCreateSystemThread(&handle, 0x1F03FF, &attributes, nullptr, nullptr, RunWork, &item))) {
        work();
        return;
    }
    // The thread's end, so that no code of the call is still running when this returns; the event
    // alone when the thread object cannot be had.
    PVOID thread = nullptr;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &thread, nullptr))) {
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        ObDereferenceObject(thread);
    } else {
        KeWaitForSingleObject(&item.done, Executive, KernelMode, FALSE, nullptr);
    }
    ZwClose(handle);
    if (item.failure)
        std::rethrow_exception(item.failure);
}

} // namespace platform
