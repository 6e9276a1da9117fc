// File objects of devices: opening by name or relative to another file object, the create, cleanup
// and close requests, the requests pending on a file, and device control on it.
#include "DeviceFileObject.h"

#include "IoRequests.h"
#include "ObjectNamespace.h"
#include "Reports.h"
#include "Utf8.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace standin {
namespace {

OBJECT_TYPE g_fileType{"File"};
POBJECT_TYPE g_fileTypePointer = &g_fileType;

constexpr ACCESS_MASK kFileAllAccess = STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FF;
constexpr ACCESS_MASK kFileGenericExecute =
    STANDARD_RIGHTS_READ | FILE_READ_ATTRIBUTES | 0x0020 | SYNCHRONIZE;

ACCESS_MASK MapGenericAccess(ACCESS_MASK access)
{
    ACCESS_MASK mapped = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (access & GENERIC_READ)
        mapped |= FILE_GENERIC_READ;
    if (access & GENERIC_WRITE)
        mapped |= FILE_GENERIC_WRITE;
    if (access & GENERIC_EXECUTE)
        mapped |= kFileGenericExecute;
    if (access & GENERIC_ALL)
        mapped |= kFileAllAccess;
    return mapped;
}

IO_STACK_LOCATION RequestOn(PFILE_OBJECT file, UCHAR major)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = major;
    request.FileObject = file;
    return request;
}

} // namespace

POBJECT_TYPE DeviceFileObject::ObjectType()
{
    return g_fileTypePointer;
}

DeviceFileObject::DeviceFileObject(DeviceObjectRecord* device, DeviceFileObject* related,
                                   std::u16string fileName, ACCESS_MASK access)
    : KernelObject(g_fileTypePointer), state_(std::make_unique<State>())
{
    State& s = *state_;
    s.device = device;
    s.related = related;
    s.fileName = std::move(fileName);
    FILE_OBJECT& f = s.file;
    f.Type = IO_TYPE_FILE;
    f.Size = sizeof(FILE_OBJECT);
    f.DeviceObject = device->Device();
    f.RelatedFileObject = related ? related->File() : nullptr;
    f.ReadAccess = (access & (FILE_READ_DATA | FILE_READ_ATTRIBUTES)) != 0;
    f.WriteAccess = (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    f.DeleteAccess = (access & DELETE) != 0;
    f.Flags = FO_SYNCHRONOUS_IO;
    f.FileName.Buffer = s.fileName.empty() ? nullptr : s.fileName.data();
    f.FileName.Length = static_cast<USHORT>(std::min<size_t>(s.fileName.size() * sizeof(WCHAR), 0xFFFE));
    f.FileName.MaximumLength = f.FileName.Length;
    KeInitializeEvent(&f.Lock, SynchronizationEvent, FALSE);
    KeInitializeEvent(&f.Event, NotificationEvent, FALSE);
    __atomic_add_fetch(&device->Device()->ReferenceCount, 1, __ATOMIC_ACQ_REL);
}

DeviceFileObject::~DeviceFileObject()
{
    if (!state_->opened) {
        Release(*state_);
        return;
    }
    // The close request must be sent at PASSIVE_LEVEL; a last reference dropped above it hands the
    // close to a thread of its own, as Windows hands it to a worker.
    if (KeGetCurrentIrql() <= APC_LEVEL)
        Close(std::move(state_));
    else
        std::thread([state = std::move(state_)]() mutable { Close(std::move(state)); }).detach();
}

void DeviceFileObject::Close(std::unique_ptr<State> state)
{
    PDEVICE_OBJECT top = IoGetAttachedDevice(state->device->Device());
    CallDriverAndWait(top, RequestOn(&state->file, IRP_MJ_CLOSE), STATUS_SUCCESS);
    Release(*state);
}

namespace {

struct UnusedWaits {
    std::mutex lock;
    std::map<PDEVICE_OBJECT, std::function<void()>> waits;
};

UnusedWaits& Waits()
{
    static UnusedWaits waits;
    return waits;
}

// The device's last open file has gone: its wait, if any, runs now (outside the lock).
void DeviceUnused(PDEVICE_OBJECT device)
{
    std::function<void()> then;
    {
        UnusedWaits& waits = Waits();
        std::lock_guard<std::mutex> hold(waits.lock);
        auto found = waits.waits.find(device);
        if (found == waits.waits.end())
            return;
        then = std::move(found->second);
        waits.waits.erase(found);
    }
    then();
}

} // namespace

bool CallWhenDeviceUnused(PDEVICE_OBJECT deviceObject, std::function<void()> then)
{
    UnusedWaits& waits = Waits();
    std::lock_guard<std::mutex> hold(waits.lock);
    // Read under the lock: a close that brings the count to 0 looks for the wait after it.
    if (__atomic_load_n(&deviceObject->ReferenceCount, __ATOMIC_ACQUIRE) == 0)
        return false;
    waits.waits[deviceObject] = std::move(then);
    return true;
}

bool CancelWhenDeviceUnused(PDEVICE_OBJECT deviceObject)
{
    UnusedWaits& waits = Waits();
    std::lock_guard<std::mutex> hold(waits.lock);
    return waits.waits.erase(deviceObject) != 0;
}

void DeviceFileObject::Release(State& state)
{
    PDEVICE_OBJECT device = state.device->Device();
    const LONG left = __atomic_sub_fetch(&device->ReferenceCount, 1, __ATOMIC_ACQ_REL);
    DereferenceObject(state.device);
    if (state.related)
        DereferenceObject(state.related);
    // Only the address is used from here: the object may be gone already.
    if (left == 0)
        DeviceUnused(device);
}

std::string DeviceFileObject::Describe() const
{
    return "file object " + PointerText(Body()) + " on " + state_->device->Describe() +
           (state_->fileName.empty() ? "" : " with name " + Utf8Text(state_->fileName));
}

size_t DeviceFileObject::CancelPending(PETHREAD thread)
{
    std::vector<IrpRecord*> snapshot;
    {
        std::lock_guard<std::mutex> hold(pendingLock_);
        for (IrpRecord* record : pending_) {
            if (thread && record->irp->Tail.Overlay.Thread != thread)
                continue;
            HoldIrp(record);
            snapshot.push_back(record);
        }
    }
    // Cancel routines run without the list's lock: a request they complete leaves the list.
    for (IrpRecord* record : snapshot) {
        CancelIrpRecord(record);
        ReleaseIrp(record);
    }
    return snapshot.size();
}

void DeviceFileObject::OnLastHandleClosed()
{
    CancelPending(nullptr);
    CallDriverAndWait(IoGetRelatedDeviceObject(File()), RequestOn(File(), IRP_MJ_CLEANUP), STATUS_SUCCESS);
    __atomic_or_fetch(&state_->file.Flags, ULONG(FO_CLEANUP_COMPLETE), __ATOMIC_RELAXED);
}

void DeviceFileObject::AddPending(IrpRecord* record)
{
    std::lock_guard<std::mutex> hold(pendingLock_);
    pending_.push_back(record);
}

void DeviceFileObject::RemovePending(PIRP irp)
{
    std::lock_guard<std::mutex> hold(pendingLock_);
    pending_.erase(
        std::remove_if(pending_.begin(), pending_.end(), [irp](IrpRecord* r) { return r->irp == irp; }),
        pending_.end());
}

size_t DeviceFileObject::PendingCount()
{
    std::lock_guard<std::mutex> hold(pendingLock_);
    return pending_.size();
}

DeviceFileObject* DeviceFileObject::Reference(PVOID fileObject)
{
    KernelObject* object = ReferenceObjectByBody(fileObject);
    if (object && object->Type() != g_fileTypePointer) {
        DereferenceObject(object);
        return nullptr;
    }
    return static_cast<DeviceFileObject*>(object);
}

NTSTATUS OpenDeviceFile(std::u16string_view path, HANDLE relatedFile, const DeviceOpenRequest& request,
                        PHANDLE handle)
{
    CheckIrqlAtMost("OpenDeviceFile", PASSIVE_LEVEL);
    if (!handle)
        return STATUS_INVALID_PARAMETER;
    *handle = nullptr;

    DeviceObjectRecord* device = nullptr;
    DeviceFileObject* related = nullptr;
    std::u16string fileName;
    if (relatedFile) {
        KernelObject* object = nullptr;
        const NTSTATUS status = ReferenceObjectByHandle(relatedFile, 0, g_fileTypePointer,
                                                        request.requestorMode, &object, nullptr);
        if (!NT_SUCCESS(status))
            return status == STATUS_OBJECT_TYPE_MISMATCH ? status : STATUS_INVALID_HANDLE;
        related = static_cast<DeviceFileObject*>(object);
        device = ReferenceDeviceRecord(related->File()->DeviceObject);
        fileName = std::u16string(path);
    } else {
        auto resolved = ObjectNamespace::Instance().Resolve(path);
        if (!NT_SUCCESS(resolved.status))
            return resolved.status;
        device = resolved.device;
        fileName = std::move(resolved.remaining);
    }
    auto fail = [&](NTSTATUS status) {
        if (device)
            DereferenceObject(device);
        if (related)
            DereferenceObject(related);
        return status;
    };
    if (!device || device->IsDeleted())
        return fail(STATUS_NO_SUCH_DEVICE);
    PDEVICE_OBJECT top = IoGetAttachedDevice(device->Device());
    if (!top || ((device->Device()->Flags | top->Flags) & DO_DEVICE_INITIALIZING))
        return fail(STATUS_NO_SUCH_DEVICE);
    if (!related && (device->Device()->Flags & DO_EXCLUSIVE) &&
        __atomic_load_n(&device->Device()->ReferenceCount, __ATOMIC_ACQUIRE) != 0)
        return fail(STATUS_ACCESS_DENIED);

    const ACCESS_MASK access = MapGenericAccess(request.desiredAccess);
    auto* file = new DeviceFileObject(device, related, std::move(fileName), access);
    InsertObject(file);

    IO_SECURITY_CONTEXT security{};
    security.DesiredAccess = access;
    security.FullCreateOptions = request.createOptions;
    IO_STACK_LOCATION create = RequestOn(file->File(), IRP_MJ_CREATE);
    create.Parameters.Create.SecurityContext = &security;
    create.Parameters.Create.Options =
        (request.createDisposition << 24) | (request.createOptions & 0x00FFFFFF);
    create.Parameters.Create.FileAttributes = static_cast<USHORT>(request.fileAttributes);
    create.Parameters.Create.ShareAccess = static_cast<USHORT>(request.shareAccess);
    const IO_STATUS_BLOCK result = CallDriverAndWait(top, create, STATUS_SUCCESS);
    if (!NT_SUCCESS(result.Status)) {
        DereferenceObject(file);
        return result.Status;
    }
    file->MarkOpened();
    __atomic_or_fetch(&file->File()->Flags, ULONG(FO_HANDLE_CREATED), __ATOMIC_RELAXED);
    const NTSTATUS status =
        CreateHandle(file, access, request.requestorMode == KernelMode ? OBJ_KERNEL_HANDLE : 0, handle);
    DereferenceObject(file);
    return status;
}

NTSTATUS ReferenceDeviceFile(HANDLE handle, KPROCESSOR_MODE accessMode, PFILE_OBJECT* fileObject)
{
    if (!fileObject)
        return STATUS_INVALID_PARAMETER;
    *fileObject = nullptr;
    KernelObject* object = nullptr;
    const NTSTATUS status =
        ReferenceObjectByHandle(handle, 0, g_fileTypePointer, accessMode, &object, nullptr);
    if (NT_SUCCESS(status))
        *fileObject = static_cast<DeviceFileObject*>(object)->File();
    return status;
}

IO_STATUS_BLOCK DeviceIoControlFile(PFILE_OBJECT fileObject, ULONG ioControlCode, PVOID inputBuffer,
                                    ULONG inputBufferLength, PVOID outputBuffer, ULONG outputBufferLength,
                                    KPROCESSOR_MODE requestorMode, const std::function<void()>& dispatched)
{
    CheckIrqlAtMost("DeviceIoControlFile", PASSIVE_LEVEL);
    DeviceFileObject* file = DeviceFileObject::Reference(fileObject);
    if (!file) {
        VerifierReport("bad-object",
                       CallText("DeviceIoControlFile", fileObject) + ", which is not a device file");
        return {{STATUS_INVALID_HANDLE}, 0};
    }
    DeviceControlParameters parameters;
    parameters.ioControlCode = ioControlCode;
    parameters.target = IoGetRelatedDeviceObject(fileObject);
    parameters.inputBuffer = inputBuffer;
    parameters.inputBufferLength = inputBufferLength;
    parameters.outputBuffer = outputBuffer;
    parameters.outputBufferLength = outputBufferLength;
    parameters.requestorMode = requestorMode;
    parameters.fileObject = fileObject;
    IrpRecord* record = BuildDeviceControlIrp(parameters);
    if (!record) {
        DereferenceObject(file);
        return {{STATUS_INSUFFICIENT_RESOURCES}, 0};
    }
    // The caller's reference keeps the file until the request has finished.
    record->onFinish = [file](PIRP irp) { file->RemovePending(irp); };
    file->AddPending(record);
    const IO_STATUS_BLOCK result = SendAndWait(parameters.target, record, dispatched);
    DereferenceObject(file);
    return result;
}

size_t CancelDeviceFileRequests(PFILE_OBJECT fileObject, PETHREAD thread)
{
    DeviceFileObject* file = DeviceFileObject::Reference(fileObject);
    if (!file)
        return 0;
    const size_t count = file->CancelPending(thread);
    DereferenceObject(file);
    return count;
}

size_t PendingRequestCount(PFILE_OBJECT fileObject)
{
    DeviceFileObject* file = DeviceFileObject::Reference(fileObject);
    if (!file)
        return 0;
    const size_t count = file->PendingCount();
    DereferenceObject(file);
    return count;
}

} // namespace standin

POBJECT_TYPE* IoFileObjectType = &standin::g_fileTypePointer;

extern "C" PDEVICE_OBJECT NTAPI IoGetRelatedDeviceObject(PFILE_OBJECT FileObject)
{
    return FileObject ? IoGetAttachedDevice(FileObject->DeviceObject) : nullptr;
}
