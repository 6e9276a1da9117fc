// I/O request packets: the IRP with its stack locations, the file object a request names, and the
// I/O manager's functions that build, send, complete and cancel requests. Fields carry Windows'
// names; layouts need not match byte for byte, since no record that crosses between programs embeds
// them.
//
// Life of a request: the sender allocates an IRP with one stack location per device of the target
// stack, fills the next location and calls IoCallDriver, which moves to that location and calls the
// target driver's MajorFunction entry as it stands at that moment. A driver completes the request
// with IoCompleteRequest, now or later (after IoMarkIrpPending and returning STATUS_PENDING); the
// completion walks back up the stack calling the completion routines drivers set, and a routine that
// returns STATUS_MORE_PROCESSING_REQUIRED stops the walk and takes the IRP back. Requests the I/O
// manager built (user requests, IoBuildDeviceIoControlRequest, the stand-in's synchronous requests)
// are finished by the I/O manager when the walk ends: buffered output is copied back, the caller's
// status block and event are set, buffers and MDLs are freed, and the IRP is freed.
//
// The verifier checks, with their rules: completing twice or completing an IRP that is not live
// ("irp-completion"); completing above DISPATCH_LEVEL ("irql"); completing with STATUS_PENDING or
// with a cancel routine still set ("irp-completion"); running out of stack locations ("irp-stack");
// freeing an IRP that is still in the I/O manager's hands ("irp-free"). Every IRP allocated and not
// yet freed is listed by the "irps" leak check, so a request a driver never completes is reported.
#pragma once
#include "km/file.h"
#include "km/iodevice.h"
#include "km/irql.h"
#include "km/list.h"
#include "km/mdl.h"
#include "km/pnp.h"
#include "km/power.h"
#include "km/resources.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/types.h"
#include "shared/devioctl.h"

#include <string>
#include <vector>

struct FILE_OBJECT;
using PFILE_OBJECT = FILE_OBJECT*;
struct ETHREAD;

#define IO_TYPE_FILE 0x0005
#define IO_TYPE_IRP 0x0006

// Priority boosts given to IoCompleteRequest; accepted and without effect here.
#define IO_NO_INCREMENT 0
#define IO_DISK_INCREMENT 1
#define IO_KEYBOARD_INCREMENT 6
#define IO_SOUND_INCREMENT 8
#define IO_VIDEO_INCREMENT 1

// A completion routine returns STATUS_MORE_PROCESSING_REQUIRED to stop the completion walk and keep
// the IRP (it must then complete or free it itself), any other status to let the walk go on.
#define STATUS_CONTINUE_COMPLETION STATUS_SUCCESS

using PIO_COMPLETION_ROUTINE = NTSTATUS(NTAPI*)(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
using PDRIVER_CANCEL = VOID(NTAPI*)(PDEVICE_OBJECT DeviceObject, PIRP Irp);

// IO_STACK_LOCATION::Control.
#define SL_PENDING_RETURNED 0x01
#define SL_ERROR_RETURNED 0x02
#define SL_INVOKE_ON_CANCEL 0x20
#define SL_INVOKE_ON_SUCCESS 0x40
#define SL_INVOKE_ON_ERROR 0x80

// IO_STACK_LOCATION::Flags of a create request.
#define SL_FORCE_ACCESS_CHECK 0x01
#define SL_OPEN_PAGING_FILE 0x02
#define SL_OPEN_TARGET_DIRECTORY 0x04
#define SL_CASE_SENSITIVE 0x80

// The access a create request asks for.
struct IO_SECURITY_CONTEXT {
    PVOID SecurityQos;
    PVOID AccessState;
    ACCESS_MASK DesiredAccess;
    ULONG FullCreateOptions;
};
using PIO_SECURITY_CONTEXT = IO_SECURITY_CONTEXT*;

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Flags;
    UCHAR Control;
    union {
        // IRP_MJ_CREATE: Options holds the create disposition in its high byte and the create options
        // in the low 24 bits.
        struct {
            PIO_SECURITY_CONTEXT SecurityContext;
            ULONG Options;
            USHORT FileAttributes;
            USHORT ShareAccess;
            ULONG EaLength;
        } Create;
        struct {
            ULONG Length;
            ULONG Key;
            LARGE_INTEGER ByteOffset;
        } Read;
        struct {
            ULONG Length;
            ULONG Key;
            LARGE_INTEGER ByteOffset;
        } Write;
        // IRP_MJ_DEVICE_CONTROL and IRP_MJ_INTERNAL_DEVICE_CONTROL.
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
            PVOID Type3InputBuffer;
        } DeviceIoControl;
        struct {
            DEVICE_RELATION_TYPE Type;
        } QueryDeviceRelations;
        struct {
            PDEVICE_CAPABILITIES Capabilities;
        } DeviceCapabilities;
        struct {
            BUS_QUERY_ID_TYPE IdType;
        } QueryId;
        struct {
            DEVICE_TEXT_TYPE DeviceTextType;
            ULONG LocaleId;
        } QueryDeviceText;
        struct {
            ULONG SystemContext;
            POWER_STATE_TYPE Type;
            POWER_STATE State;
            POWER_ACTION ShutdownType;
        } Power;
        // IRP_MN_START_DEVICE: the resources as the bus reports them and as the processor sees them.
        struct {
            PCM_RESOURCE_LIST AllocatedResources;
            PCM_RESOURCE_LIST AllocatedResourcesTranslated;
        } StartDevice;
        struct {
            PVOID Argument1;
            PVOID Argument2;
            PVOID Argument3;
            PVOID Argument4;
        } Others;
    } Parameters;
    PDEVICE_OBJECT DeviceObject; // the device this location is addressed to (set by IoCallDriver)
    PFILE_OBJECT FileObject;
    PIO_COMPLETION_ROUTINE CompletionRoutine;
    PVOID Context;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

// IRP::Flags.
#define IRP_NOCACHE 0x00000001
#define IRP_PAGING_IO 0x00000002
#define IRP_SYNCHRONOUS_API 0x00000004
#define IRP_ASSOCIATED_IRP 0x00000008
#define IRP_BUFFERED_IO 0x00000010       // AssociatedIrp.SystemBuffer is the I/O manager's buffer
#define IRP_DEALLOCATE_BUFFER 0x00000020 // ... and it frees that buffer at completion
#define IRP_INPUT_OPERATION 0x00000040   // ... after copying it back to UserBuffer
#define IRP_CREATE_OPERATION 0x00000080
#define IRP_READ_OPERATION 0x00000100
#define IRP_WRITE_OPERATION 0x00000200
#define IRP_CLOSE_OPERATION 0x00000400

// The stack locations follow the IRP; CurrentLocation counts from StackCount (the first location a
// sender fills) down to 1, and StackCount + 1 means "not yet sent".
struct IRP {
    CSHORT Type; // IO_TYPE_IRP
    USHORT Size;
    PMDL MdlAddress; // the caller's buffer of a direct-I/O request
    ULONG Flags;
    union {
        IRP* MasterIrp;
        LONG IrpCount;
        PVOID SystemBuffer; // the I/O manager's buffer of a buffered request
    } AssociatedIrp;
    LIST_ENTRY ThreadListEntry;
    IO_STATUS_BLOCK IoStatus;
    KPROCESSOR_MODE RequestorMode;
    BOOLEAN PendingReturned; // during completion: the location just completed was marked pending
    CHAR StackCount;
    CHAR CurrentLocation;
    BOOLEAN Cancel; // set by IoCancelIrp; never cleared
    KIRQL CancelIrql;
    CCHAR ApcEnvironment;
    UCHAR AllocationFlags;
    PIO_STATUS_BLOCK UserIosb; // receives IoStatus when the I/O manager finishes the request
    PKEVENT UserEvent;         // signalled then
    union {
        struct {
            PIO_APC_ROUTINE UserApcRoutine;
            PVOID UserApcContext;
        } AsynchronousParameters;
        LARGE_INTEGER AllocationSize;
    } Overlay;
    PDRIVER_CANCEL CancelRoutine; // exchanged atomically by IoSetCancelRoutine
    PVOID UserBuffer;             // the caller's output buffer (METHOD_NEITHER, and the copy-back target)
    union {
        struct {
            PVOID DriverContext[4]; // the driver's own while it owns the IRP
            ETHREAD* Thread;
            PCHAR AuxiliaryBuffer;
            struct {
                LIST_ENTRY ListEntry; // the driver's own while it owns the IRP (queues link here)
                union {
                    IO_STACK_LOCATION* CurrentStackLocation;
                    ULONG PacketType;
                };
            };
            PFILE_OBJECT OriginalFileObject;
        } Overlay;
        PVOID CompletionKey;
    } Tail;
};

// ---- Stack locations -----------------------------------------------------------------------------

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP Irp)
{
    return Irp->Tail.Overlay.CurrentStackLocation;
}

// The location the next lower driver will see: the one a sender fills before IoCallDriver.
inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP Irp)
{
    return Irp->Tail.Overlay.CurrentStackLocation - 1;
}

// Lets the next lower driver see the current location as its own.
inline void IoSkipCurrentIrpStackLocation(PIRP Irp)
{
    Irp->CurrentLocation++;
    Irp->Tail.Overlay.CurrentStackLocation++;
}

// Copies the current location to the next one, without its completion routine.
inline void IoCopyCurrentIrpStackLocationToNext(PIRP Irp)
{
    PIO_STACK_LOCATION current = IoGetCurrentIrpStackLocation(Irp);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
    *next = *current;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
    next->Control = 0;
}

// Marks the current location pending: the driver will return STATUS_PENDING and complete later.
inline void IoMarkIrpPending(PIRP Irp)
{
    IoGetCurrentIrpStackLocation(Irp)->Control |= SL_PENDING_RETURNED;
}

// Sets the routine the completion walk calls for the next lower location, and when.
inline void IoSetCompletionRoutine(PIRP Irp, PIO_COMPLETION_ROUTINE CompletionRoutine, PVOID Context,
                                   BOOLEAN InvokeOnSuccess, BOOLEAN InvokeOnError, BOOLEAN InvokeOnCancel)
{
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
    next->CompletionRoutine = CompletionRoutine;
    next->Context = Context;
    next->Control = 0;
    if (InvokeOnSuccess)
        next->Control |= SL_INVOKE_ON_SUCCESS;
    if (InvokeOnError)
        next->Control |= SL_INVOKE_ON_ERROR;
    if (InvokeOnCancel)
        next->Control |= SL_INVOKE_ON_CANCEL;
}

extern "C" {
// ---- Building and freeing ------------------------------------------------------------------------

// A zeroed IRP with StackSize stack locations, not yet sent (CurrentLocation StackSize + 1), its
// status STATUS_SUCCESS. NULL when StackSize is below 1 or memory runs out. The caller frees it with
// IoFreeIrp (usually from its completion routine, which then returns
// STATUS_MORE_PROCESSING_REQUIRED). IRQL <= DISPATCH_LEVEL.
PIRP NTAPI IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota);
// Frees an IRP from IoAllocateIrp: any MDLs still on it must have been freed by the caller.
VOID NTAPI IoFreeIrp(PIRP Irp);
// Makes an IRP from IoAllocateIrp fresh again for another request, with IoStatus.Status = Status.
VOID NTAPI IoReuseIrp(PIRP Irp, NTSTATUS Iostatus);

// A device-control request for DeviceObject (IRP_MJ_DEVICE_CONTROL, or
// IRP_MJ_INTERNAL_DEVICE_CONTROL when InternalDeviceIoControl), with the caller's buffers passed as
// the code's transfer method says:
//   METHOD_BUFFERED    one system buffer of max(in, out) bytes holding the input; at completion the
//                      first IoStatus.Information bytes (at most OutputBufferLength) go back to
//                      OutputBuffer, for success and warning statuses;
//   METHOD_IN_DIRECT,  the input in a system buffer; OutputBuffer described by an MDL
//   METHOD_OUT_DIRECT  (MdlAddress, locked for reading or writing);
//   METHOD_NEITHER     Type3InputBuffer = InputBuffer, UserBuffer = OutputBuffer, untouched.
// The I/O manager frees the IRP at completion, after setting *IoStatusBlock and Event. The caller
// sends it with IoCallDriver and, on STATUS_PENDING, waits on Event. NULL when memory runs out.
// PASSIVE_LEVEL only.
PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject, PVOID InputBuffer,
                                         ULONG InputBufferLength, PVOID OutputBuffer,
                                         ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                         PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock);

// ---- Sending and completing ----------------------------------------------------------------------

// Moves the IRP to its next stack location, addresses it to DeviceObject and calls
// DeviceObject->DriverObject->MajorFunction[location->MajorFunction] as the table stands now.
// Returns what the dispatch routine returns. An IRP with no location left is a breach
// ("irp-stack"): it is completed with STATUS_INVALID_DEVICE_REQUEST without calling the driver.
// IRQL <= DISPATCH_LEVEL.
NTSTATUS NTAPI IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
// Completes the request at the current location: walks up the stack calling the completion routines
// whose conditions hold (success, error, cancel) and stops early when one returns
// STATUS_MORE_PROCESSING_REQUIRED; at the end the I/O manager finishes a request it built. The IRP
// must not be touched after the call unless a routine kept it. IRQL <= DISPATCH_LEVEL.
VOID NTAPI IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost);

// ---- Cancellation --------------------------------------------------------------------------------

// Sets Irp->Cancel and, when a cancel routine is set, takes the cancel spin lock, clears the routine
// and calls it (at DISPATCH_LEVEL, with Irp->CancelIrql the level to give back to
// IoReleaseCancelSpinLock). Returns TRUE when a routine was called. Completing the request is the
// routine's job; an IRP without one simply carries on with Cancel set.
BOOLEAN NTAPI IoCancelIrp(PIRP Irp);
// The one process-wide cancel spin lock that serialises cancel routines with drivers' queues.
VOID NTAPI IoAcquireCancelSpinLock(PKIRQL Irql);
VOID NTAPI IoReleaseCancelSpinLock(KIRQL Irql);
}

#define IoCallDriver(a, b) IofCallDriver(a, b)
#define IoCompleteRequest(a, b) IofCompleteRequest(a, b)

// Exchanges the cancel routine atomically and returns the previous one: a driver that gets NULL back
// when clearing knows that cancellation has already taken the request.
inline PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL CancelRoutine)
{
    return __atomic_exchange_n(&Irp->CancelRoutine, CancelRoutine, __ATOMIC_ACQ_REL);
}

