// Handles: creation, lookup with type and access checks, closing, and the leak check of handles
// left open.
#include "HandleTable.h"

#include "ObjectDirectory.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/object.h"
#include "standin/verifier.h"

namespace standin {

namespace {
constexpr uintptr_t kLastHandleValue = 0xFFFFFFFC; // handles travel in 32-bit fields
} // namespace

HandleTable::HandleTable()
{
    VerifierRegisterLeakCheck("handles", [this] { return OpenHandles(); });
}

HandleTable& HandleTable::Instance()
{
    static HandleTable* table = new HandleTable; // never destroyed: threads may close handles at exit
    return *table;
}

NTSTATUS HandleTable::Create(KernelObject* object, ACCESS_MASK grantedAccess, ULONG attributes,
                             PHANDLE handle)
{
    if (!object || !handle)
        return STATUS_INVALID_PARAMETER;
    std::lock_guard<std::mutex> hold(lock_);
    if (next_ > kLastHandleValue)
        return STATUS_INSUFFICIENT_RESOURCES;
    const uintptr_t value = next_;
    next_ += 4;
    entries_[value] = Entry{object, grantedAccess, attributes};
    ObjectDirectory::Instance().AddHandle(object);
    *handle = reinterpret_cast<HANDLE>(value);
    return STATUS_SUCCESS;
}

NTSTATUS HandleTable::Reference(HANDLE handle, ACCESS_MASK desiredAccess, POBJECT_TYPE type,
                                KPROCESSOR_MODE accessMode, KernelObject** object,
                                POBJECT_HANDLE_INFORMATION information)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == entries_.end())
        return STATUS_INVALID_HANDLE;
    const Entry& entry = it->second;
    if (accessMode != KernelMode && (entry.attributes & OBJ_KERNEL_HANDLE))
        return STATUS_INVALID_HANDLE;
    if (type && entry.object->Type() != type)
        return STATUS_OBJECT_TYPE_MISMATCH;
    if (accessMode != KernelMode && (desiredAccess & ~entry.grantedAccess))
        return STATUS_ACCESS_DENIED;
    ObjectDirectory::Instance().Reference(entry.object, false);
    *object = entry.object;
    if (information) {
        information->HandleAttributes = entry.attributes;
        information->GrantedAccess = entry.grantedAccess;
    }
    return STATUS_SUCCESS;
}

NTSTATUS HandleTable::Close(HANDLE handle)
{
    KernelObject* object;
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = entries_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == entries_.end())
            return STATUS_INVALID_HANDLE;
        object = it->second.object;
        entries_.erase(it);
    }
    auto& directory = ObjectDirectory::Instance();
    if (directory.RemoveHandle(object))
        object->OnLastHandleClosed();
    directory.Dereference(object, false);
    return STATUS_SUCCESS;
}

size_t HandleTable::Count()
{
    std::lock_guard<std::mutex> hold(lock_);
    return entries_.size();
}

std::vector<std::string> HandleTable::OpenHandles()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> lines;
    for (auto& [value, entry] : entries_)
        lines.push_back("handle " + HexText(value) + " to " + entry.object->Describe() + " not closed");
    return lines;
}

NTSTATUS CreateHandle(KernelObject* object, ACCESS_MASK grantedAccess, ULONG attributes, PHANDLE handle)
{
    return HandleTable::Instance().Create(object, grantedAccess, attributes, handle);
}

NTSTATUS ReferenceObjectByHandle(HANDLE handle, ACCESS_MASK desiredAccess, POBJECT_TYPE type,
                                 KPROCESSOR_MODE accessMode, KernelObject** object,
                                 POBJECT_HANDLE_INFORMATION information)
{
    if (!object)
        return STATUS_INVALID_PARAMETER;
    *object = nullptr;
    return HandleTable::Instance().Reference(handle, desiredAccess, type, accessMode, object, information);
}

size_t OpenHandleCount()
{
    return HandleTable::Instance().Count();
}

} // namespace standin

extern "C" NTSTATUS NTAPI ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                                    POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                                    PVOID* Object,
                                                    POBJECT_HANDLE_INFORMATION HandleInformation)
{
    standin::CheckIrqlAtMost("ObReferenceObjectByHandle", APC_LEVEL);
    if (!Object) {
        standin::VerifierReport("bad-argument", "ObReferenceObjectByHandle without an Object pointer");
        return STATUS_INVALID_PARAMETER;
    }
    *Object = nullptr;
    standin::KernelObject* object = nullptr;
    const NTSTATUS status = standin::ReferenceObjectByHandle(Handle, DesiredAccess, ObjectType, AccessMode,
                                                             &object, HandleInformation);
    if (NT_SUCCESS(status))
        *Object = object->Body();
    return status;
}

extern "C" NTSTATUS NTAPI ZwClose(HANDLE Handle)
{
    standin::CheckIrqlAtMost("ZwClose", PASSIVE_LEVEL);
    return standin::HandleTable::Instance().Close(Handle);
}
