// Objects, references and handles. Every object that a handle can name (threads here; registry keys
// and files elsewhere in the stand-in) derives from standin::KernelObject: it carries its type, a
// reference count and an action run when its last handle closes. One process-wide handle table maps
// handles to objects; ZwClose works on every kind. Open handles, references that callers still hold
// and objects nobody released are reported by the verifier's leak checks.
#pragma once
#include "km/sync.h"
#include "km/types.h"

#include <string>

// An object type is known by its name.
struct OBJECT_TYPE {
    const char* Name;
};
using POBJECT_TYPE = OBJECT_TYPE*;

struct OBJECT_HANDLE_INFORMATION {
    ULONG HandleAttributes;
    ACCESS_MASK GrantedAccess;
};
using POBJECT_HANDLE_INFORMATION = OBJECT_HANDLE_INFORMATION*;

#define InitializeObjectAttributes(p, n, a, r, s)                                                            \
    do {                                                                                                     \
        (p)->Length = sizeof(OBJECT_ATTRIBUTES);                                                             \
        (p)->RootDirectory = (r);                                                                            \
        (p)->Attributes = (a);                                                                               \
        (p)->ObjectName = (n);                                                                               \
        (p)->SecurityDescriptor = (s);                                                                       \
        (p)->SecurityQualityOfService = nullptr;                                                             \
    } while (0)

extern "C" {
// The thread type; callers pass *PsThreadType.
extern POBJECT_TYPE* PsThreadType;

// Returns a referenced pointer to the object behind Handle. ObjectType NULL accepts any type.
// STATUS_INVALID_HANDLE for an unknown handle (and, from UserMode, for a kernel handle),
// STATUS_OBJECT_TYPE_MISMATCH for another type, STATUS_ACCESS_DENIED from UserMode when the handle
// was not granted DesiredAccess. KernelMode skips the access check.
NTSTATUS NTAPI ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess, POBJECT_TYPE ObjectType,
                                         KPROCESSOR_MODE AccessMode, PVOID* Object,
                                         POBJECT_HANDLE_INFORMATION HandleInformation);
// Drops one reference and returns the count left; the object goes when none is left. A pointer that
// is not a live object is a breach.
LONG_PTR NTAPI ObfDereferenceObject(PVOID Object);
// Closes a handle of any kind: STATUS_SUCCESS or STATUS_INVALID_HANDLE.
NTSTATUS NTAPI ZwClose(HANDLE Handle);
}
#define ObDereferenceObject(o) ObfDereferenceObject(o)

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

} // namespace standin
