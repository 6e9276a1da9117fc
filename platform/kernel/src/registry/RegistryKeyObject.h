// The object behind a key handle: the key it names and the path it was opened by (for reports).
// Opening hands out a handle of the one handle table; resolving a handle checks its type and the
// access it was granted.
#pragma once
#include "RegistryTree.h"
#include "km/object.h"
#include "standin/object.h"

#include <string>

namespace standin::registry {

class RegistryKeyObject final : public KernelObject {
public:
    static POBJECT_TYPE KeyType();
    // Maps generic rights and MAXIMUM_ALLOWED to key rights.
    static ACCESS_MASK MapAccess(ACCESS_MASK desired);
    // A handle to the key with the mapped access; the handle holds the object's only reference.
    static NTSTATUS OpenHandle(OpenedKey key, ACCESS_MASK desiredAccess, ULONG attributes, PHANDLE handle);
    // The key behind a key handle opened with every right of `needed`. STATUS_INVALID_HANDLE,
    // STATUS_OBJECT_TYPE_MISMATCH for another kind of handle, STATUS_ACCESS_DENIED.
    static NTSTATUS ReferenceKey(HANDLE handle, ACCESS_MASK needed, KeyNodePtr* key);

    std::string Describe() const override;

private:
    explicit RegistryKeyObject(OpenedKey key);
    ~RegistryKeyObject() override = default;

    const OpenedKey key_;
};

} // namespace standin::registry
