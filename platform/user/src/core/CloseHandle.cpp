// CloseHandle: closes user handles only; a kernel handle is as unknown to user mode as a closed one.
// A thread's handle closing lets the user side forget the thread once it has ended too.
#include "km/object.h"
#include "standin/object.h"
#include "sync/UserThreads.h"
#include "um/errhandlingapi.h"
#include "um/handleapi.h"
#include "um/winerror.h"

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject)
{
    standin::KernelObject* object = nullptr;
    if (hObject == INVALID_HANDLE_VALUE ||
        !NT_SUCCESS(standin::ReferenceObjectByHandle(hObject, 0, nullptr, UserMode, &object, nullptr))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->Type() == *PsThreadType)
        user::ThreadHandleClosing(object->Body());
    standin::DereferenceObject(object);
    if (!NT_SUCCESS(ZwClose(hObject))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
