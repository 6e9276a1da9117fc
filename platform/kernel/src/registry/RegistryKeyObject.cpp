// Key objects: the key type, access mapping, and opening and resolving key handles.
#include "RegistryKeyObject.h"

#include "Utf8Conversion.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/object.h"

namespace {
OBJECT_TYPE keyType{"Key"};
POBJECT_TYPE keyTypePointer = &keyType;
} // namespace

POBJECT_TYPE* CmKeyObjectType = &keyTypePointer;

namespace standin::registry {

POBJECT_TYPE RegistryKeyObject::KeyType()
{
    return &keyType;
}

ACCESS_MASK RegistryKeyObject::MapAccess(ACCESS_MASK desired)
{
    ACCESS_MASK mapped = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                     MAXIMUM_ALLOWED | KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (desired & (GENERIC_READ | GENERIC_EXECUTE))
        mapped |= KEY_READ;
    if (desired & GENERIC_WRITE)
        mapped |= KEY_WRITE;
    if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED))
        mapped |= KEY_ALL_ACCESS;
    return mapped;
}

RegistryKeyObject::RegistryKeyObject(OpenedKey key) : KernelObject(&keyType), key_(std::move(key)) {}

NTSTATUS RegistryKeyObject::OpenHandle(OpenedKey key, ACCESS_MASK desiredAccess, ULONG attributes,
                                       PHANDLE handle)
{
    auto* object = new RegistryKeyObject(std::move(key));
    InsertObject(object);
    const NTSTATUS status = CreateHandle(object, MapAccess(desiredAccess), attributes, handle);
    DereferenceObject(object);
    return status;
}

NTSTATUS RegistryKeyObject::ReferenceKey(HANDLE handle, ACCESS_MASK needed, KeyNodePtr* key)
{
    KernelObject* object = nullptr;
    OBJECT_HANDLE_INFORMATION information{};
    // Kernel mode, so that kernel handles resolve; the access is checked here for every caller.
    NTSTATUS status = ReferenceObjectByHandle(handle, 0, &keyType, KernelMode, &object, &information);
    if (!NT_SUCCESS(status))
        return status;
    if ((needed & ~information.GrantedAccess) == 0)
        *key = static_cast<RegistryKeyObject*>(object)->key_.node;
    else
        status = STATUS_ACCESS_DENIED;
    DereferenceObject(object);
    return status;
}

std::string RegistryKeyObject::Describe() const
{
    return "Key object " + Utf16ToUtf8Lossy(key_.path);
}

} // namespace standin::registry
