// Objects and handles: the base every object a handle can name derives from, and the calls that
// make objects known, reference them and open handles to them. Stand-in facilities, not Windows
// functions: drivers never see them.
#pragma once
#include "km/eventobject.h"
#include "km/object.h"

#include <string>

namespace standin {

// Base of every object a handle can name. Build one with new, make it known with InsertObject (the
// builder then holds its one reference), and let references go with DereferenceObject: the object
// deletes itself when the last goes.
class KernelObject {
public:
    explicit KernelObject(POBJECT_TYPE type) : type_(type) {}
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    POBJECT_TYPE Type() const { return type_; }
    // The address callers see for this object (the result of ObReferenceObjectByHandle).
    virtual PVOID Body() const { return const_cast<KernelObject*>(this); }
    // Run once when the last handle to the object closes, with no stand-in lock held.
    virtual void OnLastHandleClosed() {}
    // One line naming the object in leak reports.
    virtual std::string Describe() const;

protected:
    virtual ~KernelObject() = default;

private:
    friend class ObjectDirectory;
    POBJECT_TYPE type_;
    long references_ = 0;    // all references, handles' and the stand-in's own included
    long handles_ = 0;       // open handles (each holds one reference)
    long ownReferences_ = 0; // the stand-in's own (a running thread's hold on itself)
};

// Makes a newly built object known; the caller holds its one reference.
void InsertObject(KernelObject* object);
void ReferenceObject(KernelObject* object);
// Returns the count left; deletes the object at 0.
long DereferenceObject(KernelObject* object);
// References the stand-in holds for itself are not reported as leaks.
void ReferenceObjectOwn(KernelObject* object);
long DereferenceObjectOwn(KernelObject* object);
// The live object whose Body() is `body`, referenced (release with DereferenceObject), or null.
KernelObject* ReferenceObjectByBody(PVOID body);

// Opens a handle to the object (the handle holds a reference of its own). `attributes` are the
// OBJ_ flags of the caller's OBJECT_ATTRIBUTES (OBJ_KERNEL_HANDLE marks a kernel handle).
NTSTATUS CreateHandle(KernelObject* object, ACCESS_MASK grantedAccess, ULONG attributes, PHANDLE handle);
// Returns a referenced object for a handle, with the checks of ObReferenceObjectByHandle.
NTSTATUS ReferenceObjectByHandle(HANDLE handle, ACCESS_MASK desiredAccess, POBJECT_TYPE type,
                                 KPROCESSOR_MODE accessMode, KernelObject** object,
                                 POBJECT_HANDLE_INFORMATION information);
size_t OpenHandleCount();

// Makes an event object and a handle to it (a user handle unless `kernelHandle`).
NTSTATUS CreateEventObject(EVENT_TYPE type, BOOLEAN initialState, bool kernelHandle, PHANDLE handle);

} // namespace standin
