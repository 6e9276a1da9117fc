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

namespace standin {

// What an open asks for: the access and share mode, and the disposition and options of the create
// request, as the caller passed them.
struct DeviceOpenRequest {
    ACCESS_MASK desiredAccess = 0;
    ULONG shareAccess = 0;
    ULONG createDisposition = FILE_OPEN;
    ULONG createOptions = 0;
    ULONG fileAttributes = 0;
    KPROCESSOR_MODE requestorMode = UserMode;
};

// Opens a handle on the device that `path` names and returns it in *handle:
//   "\Device\X[\rest]", or a symbolic link "\??\Y[\rest]" (also "\DosDevices\", "\GLOBAL??\"), whose
//   target is resolved in turn. The rest, with its leading "\", becomes FILE_OBJECT::FileName.
// With `relatedFile` (a handle to a file object on a device) the open is relative to it: `path` is
// the file name as given, the device is the related file object's, and RelatedFileObject is set.
// The I/O manager sends IRP_MJ_CREATE to the top of the device's stack and waits for it; a failing
// status is returned and no handle made. Other failures: STATUS_OBJECT_NAME_NOT_FOUND (no such
// name), STATUS_OBJECT_NAME_INVALID (not an absolute name), STATUS_NO_SUCH_DEVICE (the device is still
// initialising or is being deleted), STATUS_ACCESS_DENIED (an exclusive device already open),
// STATUS_INVALID_HANDLE (a bad related handle). The handle is a user handle unless the request's
// mode is KernelMode (then OBJ_KERNEL_HANDLE); ZwClose closes either. PASSIVE_LEVEL only.
NTSTATUS OpenDeviceFile(std::u16string_view path, HANDLE relatedFile, const DeviceOpenRequest& request,
                        PHANDLE handle);

// The file object behind a handle from OpenDeviceFile, referenced (ObDereferenceObject when done);
// STATUS_INVALID_HANDLE or STATUS_OBJECT_TYPE_MISMATCH otherwise.
NTSTATUS ReferenceDeviceFile(HANDLE handle, KPROCESSOR_MODE accessMode, PFILE_OBJECT* fileObject);

// Device control on an open file object, as NtDeviceIoControlFile does it for a synchronous caller:
// builds the request as IoBuildDeviceIoControlRequest describes (METHOD_NEITHER passes the caller's
// pointers), addresses it to IoGetRelatedDeviceObject, sends it and waits for completion however long
// the driver keeps it pending. The request is counted among the file's pending requests until it
// finishes, so that closing the last handle cancels it. Returns the final IoStatus;
// STATUS_INSUFFICIENT_RESOURCES when the request cannot be built.
IO_STATUS_BLOCK DeviceIoControlFile(PFILE_OBJECT fileObject, ULONG ioControlCode, PVOID inputBuffer,
                                    ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength,
                                    KPROCESSOR_MODE requestorMode);

// Cancels (IoCancelIrp) the requests pending on the file object that `thread` sent, or every one when
// `thread` is NULL, as CancelIo and CancelIoEx do; returns how many it cancelled.
size_t CancelDeviceFileRequests(PFILE_OBJECT fileObject, PETHREAD thread);

// How many requests are pending on the file object now (sent and not yet finished).
size_t PendingRequestCount(PFILE_OBJECT fileObject);

} // namespace standin
