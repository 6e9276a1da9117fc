// Release and close of what a HandleHolder owns.
#include "kernel/handleholder.h"

#include "kernel/poolallocation.h"
#include "km/object.h"
#include "km/status.h"

void HandleHolder::Attach(PVOID object, bool clearHandle)
{
    Release();
    m_object = object;
    if (clearHandle)
        AttachHandle(nullptr, false);
}

void HandleHolder::AttachReferenced(PVOID object)
{
    Release();
    m_object = object;
    m_objectReferenced = object != nullptr;
}

void HandleHolder::AttachPoolMemory(PVOID block)
{
    Release();
    m_object = block;
    m_ownsPoolMemory = block != nullptr;
}

void HandleHolder::AttachHandle(HANDLE handle, bool ownsHandle)
{
    if (m_ownsHandle && m_handle && m_handle != handle)
        ZwClose(m_handle);
    m_handle = handle;
    m_ownsHandle = handle != nullptr && ownsHandle;
}

void HandleHolder::Release()
{
    if (m_ownsPoolMemory)
        FreePool(m_object);
    else if (m_objectReferenced)
        ObfDereferenceObject(m_object);
    m_object = nullptr;
    m_objectReferenced = false;
    m_ownsPoolMemory = false;
}

NTSTATUS HandleHolder::Close()
{
    NTSTATUS status = STATUS_SUCCESS;
    if (m_ownsHandle && m_handle)
        status = ZwClose(m_handle);
    m_handle = nullptr;
    m_ownsHandle = false;
    Release();
    return status;
}
