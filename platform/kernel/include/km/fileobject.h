// File objects of devices: what a handle opened on a device (or on a device-interface path) names.
// The I/O manager makes one per open, sends IRP_MJ_CREATE with it, and keeps it until the last
// reference goes; closing its last handle first cancels the requests still pending on it, then sends
// IRP_MJ_CLEANUP; when the last reference goes (pending requests hold one each) it sends
// IRP_MJ_CLOSE. A driver keeps its per-open state in FsContext and FsContext2.
#pragma once
#include "km/iodevice.h"
#include "km/irp.h"
#include "km/object.h"
#include "km/sync.h"
#include "km/thread.h"
#include "km/types.h"

#include <string_view>

// FILE_OBJECT::Flags.
#define FO_SYNCHRONOUS_IO 0x00000002
#define FO_ALERTABLE_IO 0x00000004
#define FO_CLEANUP_COMPLETE 0x00004000
#define FO_HANDLE_CREATED 0x00040000

struct FILE_OBJECT {
    CSHORT Type; // IO_TYPE_FILE
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject; // the device the name resolved to; requests go to the top of its stack
    PVPB Vpb;
    PVOID FsContext;
    PVOID FsContext2;
    PVOID SectionObjectPointer;
    PVOID PrivateCacheMap;
    NTSTATUS FinalStatus;
    FILE_OBJECT* RelatedFileObject; // the file object the open was relative to, else NULL
    BOOLEAN LockOperation;
    BOOLEAN DeletePending;
    BOOLEAN ReadAccess;
    BOOLEAN WriteAccess;
    BOOLEAN DeleteAccess;
    BOOLEAN SharedRead;
    BOOLEAN SharedWrite;
    BOOLEAN SharedDelete;
    ULONG Flags;
    // What followed the device's or link's name: "\<reference string>" for a device-interface path,
    // empty when the device itself was opened; for a relative open, the name given.
    UNICODE_STRING FileName;
    LARGE_INTEGER CurrentByteOffset;
    ULONG Waiters;
    ULONG Busy;
    PVOID LastLock;
    KEVENT Lock;
    KEVENT Event;
    PVOID CompletionContext;
};

extern "C" {
// The object type of file objects; callers pass *IoFileObjectType.
extern POBJECT_TYPE* IoFileObjectType;
// The device a request on the file object goes to: the top of its device's stack.
PDEVICE_OBJECT NTAPI IoGetRelatedDeviceObject(PFILE_OBJECT FileObject);
}

