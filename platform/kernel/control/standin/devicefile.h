// The calls the user side makes into the I/O manager: opening device files, device control and
// cancelling on them, requests sent and waited for, and the counts of live requests and MDLs.
// Stand-in facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/fileobject.h"
#include "km/irp.h"
#include "km/mdl.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
// finishes, so that closing the last handle cancels it. `dispatched`, when given, runs on the calling
// thread once the driver's dispatch routine has returned (the request is queued or finished), before
// the wait: what an overlapped caller learns when its call returns. Returns the final IoStatus;
// STATUS_INSUFFICIENT_RESOURCES when the request cannot be built.
IO_STATUS_BLOCK DeviceIoControlFile(PFILE_OBJECT fileObject, ULONG ioControlCode, PVOID inputBuffer,
                                    ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength,
                                    KPROCESSOR_MODE requestorMode, const std::function<void()>& dispatched = {});

// Cancels (IoCancelIrp) the requests pending on the file object that `thread` sent, or every one when
// `thread` is NULL, as CancelIo and CancelIoEx do; returns how many it cancelled.
size_t CancelDeviceFileRequests(PFILE_OBJECT fileObject, PETHREAD thread);

// How many requests are pending on the file object now (sent and not yet finished).
size_t PendingRequestCount(PFILE_OBJECT fileObject);

// Sends one request to `target` and waits for it to finish, as the plug and play and power managers
// and system shutdown do. `request` gives the major and minor function, flags, parameters and file
// object of the request's location; the IRP gets target->StackSize locations, starts with
// IoStatus.Status = initialStatus (plug and play requests start as STATUS_NOT_SUPPORTED) and
// Information 0, and comes from the I/O manager (freed by it). Returns the final IoStatus.
// PASSIVE_LEVEL only.
IO_STATUS_BLOCK CallDriverAndWait(PDEVICE_OBJECT target, const IO_STACK_LOCATION& request,
                                  NTSTATUS initialStatus = STATUS_NOT_SUPPORTED);

// What the "irps" leak check would list now: one line per IRP allocated and not yet freed.
std::vector<std::string> OutstandingIrps();
// How many IRPs are live (allocated and not freed).
size_t LiveIrpCount();

// How many MDLs are live (allocated and not freed).
size_t LiveMdlCount();

} // namespace standin
