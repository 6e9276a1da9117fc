// System threads for the machine's calls into drivers.
#include "SystemWork.h"

#include "km/object.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"

#include <exception>

namespace platform {
namespace {

struct Work {
    const std::function<void()>* work;
    std::exception_ptr failure;
};

VOID NTAPI RunWork(PVOID context)
{
    auto* item = static_cast<Work*>(context);
    try {
        (*item->work)();
    } catch (const standin::ThreadTermination&) {
        throw; // the thread's own end, from PsTerminateSystemThread inside a driver
    } catch (...) {
        item->failure = std::current_exception();
    }
}

} // namespace

void RunOnSystemThread(const std::function<void()>& work)
{
    Work item{&work, nullptr};
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    if (!NT_SUCCESS(PsCreateSystemThread(&handle, 0x1F03FF, &attributes, nullptr, nullptr, RunWork, &item))) {
        work();
        return;
    }
    PVOID thread = nullptr;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &thread, nullptr))) {
        KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        ObDereferenceObject(thread);
    }
    ZwClose(handle);
    if (item.failure)
        std::rethrow_exception(item.failure);
}

} // namespace platform
