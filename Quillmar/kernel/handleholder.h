// HandleHolder: owner of a kernel handle and of an object pointer. The object is held in one of
// three ways: borrowed (nothing to do on release), referenced (the holder drops the reference), or
// pool memory the holder owns (freed on release). Which one is an explicit flag; no handle value
// doubles as a marker, since on a 64-bit system the all-ones handle is a real pseudo-handle.
#pragma once
#include "km/types.h"

class HandleHolder {
public:
    HandleHolder() = default;
    ~HandleHolder() { Close(); }
    HandleHolder(const HandleHolder&) = delete;
    HandleHolder& operator=(const HandleHolder&) = delete;

    // Releases the object held, then borrows `object`. With clearHandle the handle is cleared too
    // (closed first when the holder owns it, so that it is not lost).
    void Attach(PVOID object, bool clearHandle);
    // Releases the object held, then takes over a reference the caller holds on `object`.
    void AttachReferenced(PVOID object);
    // Releases the object held, then owns `block`, a block of the driver's pool allocation.
    void AttachPoolMemory(PVOID block);
    // Holds `handle`, closing an owned handle held before; ownsHandle says whether Close closes it.
    void AttachHandle(HANDLE handle, bool ownsHandle);

    // Frees owned pool memory or drops the reference, then clears the object. The handle stays.
    void Release();
    // ZwClose of an owned handle (the handle is cleared either way), then Release. Returns the
    // close's status, or success when there was nothing to close.
    NTSTATUS Close();

    HANDLE Handle() const { return m_handle; }
    PVOID Object() const { return m_object; }
    bool ObjectReferenced() const { return m_objectReferenced; }
    bool OwnsHandle() const { return m_ownsHandle; }
    bool OwnsPoolMemory() const { return m_ownsPoolMemory; }

private:
    HANDLE m_handle = nullptr;
    PVOID m_object = nullptr;
    bool m_objectReferenced = false;
    bool m_ownsHandle = false;
    bool m_ownsPoolMemory = false;
};
