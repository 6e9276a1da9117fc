// Objects, references and handles. Every object that a handle can name (threads here; registry keys
// and files elsewhere in the stand-in) derives from standin::KernelObject (standin/object.h, with the
// calls that make objects known and open handles to them): it carries its type, a
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

