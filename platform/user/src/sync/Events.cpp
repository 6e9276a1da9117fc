// Win32 events: kernel event objects behind user handles, so that a driver given the handle can
// signal them. Waits on them are in Waits.cpp.
#include "km/access.h"
#include "km/eventobject.h"
#include "km/irp.h"
#include "km/status.h"
#include "standin/object.h"
#include "um/errhandlingapi.h"
#include "um/synchapi.h"
#include "um/winerror.h"

namespace {

PRKEVENT ReferenceEvent(HANDLE handle, ACCESS_MASK access)
{
    PVOID event = nullptr;
    if (!NT_SUCCESS(ObReferenceObjectByHandle(handle, access, *ExEventObjectType, UserMode, &event, nullptr))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<PRKEVENT>(event);
}

HANDLE Create(BOOL manualReset, BOOL initialState, bool named)
{
    if (named) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    HANDLE handle = nullptr;
    const NTSTATUS status = standin::CreateEventObject(manualReset ? NotificationEvent : SynchronizationEvent,
                                                       initialState ? TRUE : FALSE, false, &handle);
    if (!NT_SUCCESS(status)) {
        SetLastError(ERROR_NO_SYSTEM_RESOURCES);
        return nullptr;
    }
    return handle;
}

} // namespace

extern "C" HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName)
{
    return Create(bManualReset, bInitialState, lpName && *lpName);
}

extern "C" HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName)
{
    return Create(bManualReset, bInitialState, lpName && *lpName);
}

extern "C" BOOL WINAPI SetEvent(HANDLE hEvent)
{
    PRKEVENT event = ReferenceEvent(hEvent, EVENT_MODIFY_STATE);
    if (!event)
        return FALSE;
    KeSetEvent(event, IO_NO_INCREMENT, FALSE);
    ObDereferenceObject(event);
    return TRUE;
}

extern "C" BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    PRKEVENT event = ReferenceEvent(hEvent, EVENT_MODIFY_STATE);
    if (!event)
        return FALSE;
    KeClearEvent(event);
    ObDereferenceObject(event);
    return TRUE;
}
