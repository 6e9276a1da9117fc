// WaitForSingleObject and WaitForMultipleObjects: the kernel side's waits on the event and thread
// objects behind user handles. A thread of CreateThread waits on its own termination event too, so
// that TerminateThread ends the wait and the thread unwinds.
#include "km/access.h"
#include "km/eventobject.h"
#include "km/object.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"
#include "sync/UserThreads.h"
#include "um/errhandlingapi.h"
#include "um/synchapi.h"
#include "um/winerror.h"

#include <vector>

namespace {

// The waitable object behind a user handle, referenced: an event or a thread.
PVOID ReferenceWaitable(HANDLE handle)
{
    PVOID object = nullptr;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handle, SYNCHRONIZE, *ExEventObjectType, UserMode, &object, nullptr)))
        return object;
    if (NT_SUCCESS(ObReferenceObjectByHandle(handle, SYNCHRONIZE, *PsThreadType, UserMode, &object, nullptr)))
        return object;
    return nullptr;
}

DWORD Fail(DWORD error)
{
    SetLastError(error);
    return WAIT_FAILED;
}

DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds)
{
    std::vector<PVOID> objects;
    objects.reserve(count + 1);
    for (DWORD i = 0; i < count; ++i) {
        PVOID object = ReferenceWaitable(handles[i]);
        if (!object) {
            for (PVOID taken : objects)
                ObDereferenceObject(taken);
            return Fail(ERROR_INVALID_HANDLE);
        }
        objects.push_back(object);
    }
    struct Release {
        std::vector<PVOID>& objects;
        DWORD count;
        ~Release()
        {
            for (DWORD i = 0; i < count; ++i)
                ObDereferenceObject(objects[i]);
        }
    } release{objects, count};

    user::UnwindIfTerminated();
    // A wait of 64 objects has no room for the termination event: such a thread unwinds at its next
    // wait, or when this one times out.
    user::UserThread* self = user::CurrentUserThread();
    if (self && count < MAXIMUM_WAIT_OBJECTS)
        objects.push_back(&self->terminate);

    LARGE_INTEGER interval{};
    interval.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    PLARGE_INTEGER timeout = milliseconds == INFINITE ? nullptr : &interval;
    NTSTATUS status;
    if (objects.size() == 1) {
        status = KeWaitForSingleObject(objects[0], UserRequest, UserMode, FALSE, timeout);
    } else {
        std::vector<KWAIT_BLOCK> blocks(objects.size());
        status = KeWaitForMultipleObjects(static_cast<ULONG>(objects.size()), objects.data(), WaitAny, UserRequest,
                                          UserMode, FALSE, timeout, blocks.data());
    }
    if (status == STATUS_TIMEOUT) {
        user::UnwindIfTerminated();
        return WAIT_TIMEOUT;
    }
    const auto index = static_cast<DWORD>(status - STATUS_WAIT_0);
    if (index < count)
        return WAIT_OBJECT_0 + index;
    if (index == count)
        user::UnwindIfTerminated();
    return Fail(ERROR_INVALID_PARAMETER);
}

} // namespace

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return Wait(1, &hHandle, dwMilliseconds);
}

extern "C" DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds)
{
    if (!lpHandles || nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS)
        return Fail(ERROR_INVALID_PARAMETER);
    // No caller here needs every object at once.
    if (bWaitAll)
        return Fail(ERROR_NOT_SUPPORTED);
    return Wait(nCount, lpHandles, dwMilliseconds);
}
