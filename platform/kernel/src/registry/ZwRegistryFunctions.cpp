// The Zw registry functions: the caller's arguments checked and bounded, the key handle resolved
// with the access the call needs, then one atomic step on the tree.
#include "RegistryInformation.h"
#include "RegistryKeyObject.h"
#include "RegistryPath.h"
#include "RegistryTree.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/registry.h"
#include "standin/verifier.h"

#include <functional>
#include <mutex>
#include <string>

namespace {

using standin::registry::KeyNodePtr;
using standin::registry::OpenedKey;
using standin::registry::RegistryKeyNode;
using standin::registry::RegistryKeyObject;
using standin::registry::RegistryTree;
using standin::registry::UpcaseName;

// A fault of the caller's that Windows would not survive: reported, and the call refused.
NTSTATUS BadArgument(const char* function, const char* what)
{
    standin::VerifierReport("bad-argument", std::string(function) + " " + what);
    return STATUS_INVALID_PARAMETER;
}

enum class Text { kValid, kOddLength, kUnreadable };

Text ViewOf(PCUNICODE_STRING text, std::u16string_view* view)
{
    if (text->Length && !text->Buffer)
        return Text::kUnreadable;
    if (text->Length % sizeof(WCHAR))
        return Text::kOddLength;
    *view = std::u16string_view(text->Buffer ? text->Buffer : u"", text->Length / sizeof(WCHAR));
    return Text::kValid;
}

// A value name; null names the default value where `nullIsDefault`.
NTSTATUS ValueNameOf(const char* function, PCUNICODE_STRING name, bool nullIsDefault,
                     std::u16string_view* view)
{
    *view = {};
    if (!name)
        return nullIsDefault ? STATUS_SUCCESS : BadArgument(function, "without a value name");
    switch (ViewOf(name, view)) {
    case Text::kUnreadable:
        return BadArgument(function, "with a value name whose buffer is null");
    case Text::kOddLength:
        return STATUS_INVALID_PARAMETER;
    case Text::kValid:
        break;
    }
    return STATUS_SUCCESS;
}

// Where a key open or create starts (null base: an absolute path) and the path from there.
NTSTATUS TargetOf(const char* function, POBJECT_ATTRIBUTES attributes, KeyNodePtr* base,
                  std::u16string_view* path)
{
    if (!attributes)
        return BadArgument(function, "without OBJECT_ATTRIBUTES");
    if (attributes->Length != sizeof(OBJECT_ATTRIBUTES))
        return STATUS_INVALID_PARAMETER;
    *path = {};
    if (attributes->ObjectName) {
        switch (ViewOf(attributes->ObjectName, path)) {
        case Text::kUnreadable:
            return BadArgument(function, "with an object name whose buffer is null");
        case Text::kOddLength:
            return STATUS_OBJECT_NAME_INVALID;
        case Text::kValid:
            break;
        }
    }
    if (attributes->RootDirectory)
        return RegistryKeyObject::ReferenceKey(attributes->RootDirectory, 0, base);
    return path->empty() ? STATUS_OBJECT_NAME_INVALID : STATUS_SUCCESS;
}

// The checks shared by the query and enumeration functions.
NTSTATUS CheckOutput(const char* function, PVOID buffer, ULONG length, PULONG resultLength)
{
    if (!resultLength)
        return BadArgument(function, "without ResultLength");
    if (!buffer && length)
        return BadArgument(function, "with a null buffer of non-zero length");
    return STATUS_SUCCESS;
}

} // namespace

extern "C" NTSTATUS NTAPI ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                                    POBJECT_ATTRIBUTES ObjectAttributes)
{
    standin::CheckIrqlAtMost("ZwOpenKey", PASSIVE_LEVEL);
    if (!KeyHandle)
        return BadArgument("ZwOpenKey", "without a handle pointer");
    *KeyHandle = nullptr;
    KeyNodePtr base;
    std::u16string_view path;
    NTSTATUS status = TargetOf("ZwOpenKey", ObjectAttributes, &base, &path);
    if (!NT_SUCCESS(status))
        return status;
    OpenedKey key;
    status = RegistryTree::Instance().OpenKey(base, path, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryKeyObject::OpenHandle(std::move(key), DesiredAccess, ObjectAttributes->Attributes,
                                         KeyHandle);
}

extern "C" NTSTATUS NTAPI ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                                      POBJECT_ATTRIBUTES ObjectAttributes, ULONG TitleIndex,
                                      PUNICODE_STRING Class, ULONG CreateOptions, PULONG Disposition)
{
    (void)TitleIndex; // title indices are obsolete; Windows ignores them too
    standin::CheckIrqlAtMost("ZwCreateKey", PASSIVE_LEVEL);
    if (!KeyHandle)
        return BadArgument("ZwCreateKey", "without a handle pointer");
    *KeyHandle = nullptr;
    if (CreateOptions & ~ULONG(REG_OPTION_VOLATILE | REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK))
        return STATUS_INVALID_PARAMETER;
    std::u16string_view className;
    if (Class) {
        switch (ViewOf(Class, &className)) {
        case Text::kUnreadable:
            return BadArgument("ZwCreateKey", "with a class whose buffer is null");
        case Text::kOddLength:
            return STATUS_INVALID_PARAMETER;
        case Text::kValid:
            break;
        }
    }
    KeyNodePtr base;
    std::u16string_view path;
    NTSTATUS status = TargetOf("ZwCreateKey", ObjectAttributes, &base, &path);
    if (!NT_SUCCESS(status))
        return status;
    OpenedKey key;
    ULONG disposition = 0;
    status = RegistryTree::Instance().CreateKey(base, path, className, CreateOptions & REG_OPTION_VOLATILE,
                                                &key, &disposition);
    if (!NT_SUCCESS(status))
        return status;
    status =
        RegistryKeyObject::OpenHandle(std::move(key), DesiredAccess, ObjectAttributes->Attributes, KeyHandle);
    if (NT_SUCCESS(status) && Disposition)
        *Disposition = disposition;
    return status;
}

extern "C" NTSTATUS NTAPI ZwDeleteKey(HANDLE KeyHandle)
{
    standin::CheckIrqlAtMost("ZwDeleteKey", PASSIVE_LEVEL);
    KeyNodePtr key;
    NTSTATUS status = RegistryKeyObject::ReferenceKey(KeyHandle, DELETE, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().DeleteKey(key);
}

extern "C" NTSTATUS NTAPI ZwQueryKey(HANDLE KeyHandle, KEY_INFORMATION_CLASS KeyInformationClass,
                                     PVOID KeyInformation, ULONG Length, PULONG ResultLength)
{
    standin::CheckIrqlAtMost("ZwQueryKey", PASSIVE_LEVEL);
    NTSTATUS status = CheckOutput("ZwQueryKey", KeyInformation, Length, ResultLength);
    if (!NT_SUCCESS(status))
        return status;
    if (!standin::registry::IsSupportedKeyInformation(KeyInformationClass))
        return STATUS_INVALID_PARAMETER;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_QUERY_VALUE, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().ReadKey(*key, [&](const RegistryKeyNode& node) {
        return standin::registry::WriteKeyInformation(node, KeyInformationClass, KeyInformation, Length,
                                                      ResultLength);
    });
}

extern "C" NTSTATUS NTAPI ZwEnumerateKey(HANDLE KeyHandle, ULONG Index,
                                         KEY_INFORMATION_CLASS KeyInformationClass, PVOID KeyInformation,
                                         ULONG Length, PULONG ResultLength)
{
    standin::CheckIrqlAtMost("ZwEnumerateKey", PASSIVE_LEVEL);
    NTSTATUS status = CheckOutput("ZwEnumerateKey", KeyInformation, Length, ResultLength);
    if (!NT_SUCCESS(status))
        return status;
    if (!standin::registry::IsSupportedKeyInformation(KeyInformationClass))
        return STATUS_INVALID_PARAMETER;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_ENUMERATE_SUB_KEYS, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().ReadKey(*key, [&](const RegistryKeyNode& node) {
        if (Index >= node.SubKeys().size())
            return STATUS_NO_MORE_ENTRIES;
        return standin::registry::WriteKeyInformation(*node.SubKeys()[Index], KeyInformationClass,
                                                      KeyInformation, Length, ResultLength);
    });
}

extern "C" NTSTATUS NTAPI ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                                          KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                                          PVOID KeyValueInformation, ULONG Length, PULONG ResultLength)
{
    standin::CheckIrqlAtMost("ZwQueryValueKey", PASSIVE_LEVEL);
    std::u16string_view name;
    NTSTATUS status = ValueNameOf("ZwQueryValueKey", ValueName, false, &name);
    if (!NT_SUCCESS(status))
        return status;
    status = CheckOutput("ZwQueryValueKey", KeyValueInformation, Length, ResultLength);
    if (!NT_SUCCESS(status))
        return status;
    if (!standin::registry::IsSupportedValueInformation(KeyValueInformationClass))
        return STATUS_INVALID_PARAMETER;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_QUERY_VALUE, &key);
    if (!NT_SUCCESS(status))
        return status;
    const std::u16string upcased = UpcaseName(name);
    return RegistryTree::Instance().ReadKey(*key, [&](const RegistryKeyNode& node) {
        const auto* value = node.FindValue(upcased);
        if (!value)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        return standin::registry::WriteValueInformation(*value, KeyValueInformationClass, KeyValueInformation,
                                                        Length, ResultLength);
    });
}

extern "C" NTSTATUS NTAPI ZwEnumerateValueKey(HANDLE KeyHandle, ULONG Index,
                                              KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                                              PVOID KeyValueInformation, ULONG Length, PULONG ResultLength)
{
    standin::CheckIrqlAtMost("ZwEnumerateValueKey", PASSIVE_LEVEL);
    NTSTATUS status = CheckOutput("ZwEnumerateValueKey", KeyValueInformation, Length, ResultLength);
    if (!NT_SUCCESS(status))
        return status;
    if (!standin::registry::IsSupportedValueInformation(KeyValueInformationClass))
        return STATUS_INVALID_PARAMETER;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_QUERY_VALUE, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().ReadKey(*key, [&](const RegistryKeyNode& node) {
        if (Index >= node.Values().size())
            return STATUS_NO_MORE_ENTRIES;
        return standin::registry::WriteValueInformation(node.Values()[Index], KeyValueInformationClass,
                                                        KeyValueInformation, Length, ResultLength);
    });
}

extern "C" NTSTATUS NTAPI ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex,
                                        ULONG Type, PVOID Data, ULONG DataSize)
{
    (void)TitleIndex;
    standin::CheckIrqlAtMost("ZwSetValueKey", PASSIVE_LEVEL);
    std::u16string_view name;
    NTSTATUS status = ValueNameOf("ZwSetValueKey", ValueName, true, &name);
    if (!NT_SUCCESS(status))
        return status;
    if (name.size() > standin::registry::kMaxValueNameChars)
        return STATUS_INVALID_PARAMETER;
    if (!Data && DataSize)
        return BadArgument("ZwSetValueKey", "with null data of non-zero size");
    if (DataSize > standin::kRegistryMaxValueDataBytes)
        return STATUS_INSUFFICIENT_RESOURCES;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_SET_VALUE, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().SetValue(key, name, Type, static_cast<const UCHAR*>(Data), DataSize);
}

extern "C" NTSTATUS NTAPI ZwDeleteValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName)
{
    standin::CheckIrqlAtMost("ZwDeleteValueKey", PASSIVE_LEVEL);
    std::u16string_view name;
    NTSTATUS status = ValueNameOf("ZwDeleteValueKey", ValueName, true, &name);
    if (!NT_SUCCESS(status))
        return status;
    KeyNodePtr key;
    status = RegistryKeyObject::ReferenceKey(KeyHandle, KEY_SET_VALUE, &key);
    if (!NT_SUCCESS(status))
        return status;
    return RegistryTree::Instance().DeleteValue(key, name);
}

namespace {

std::mutex& FlushLock()
{
    static std::mutex* lock = new std::mutex; // never destroyed: a driver may flush while the process ends
    return *lock;
}

std::function<bool()>& FlushHandler()
{
    static auto* handler = new std::function<bool()>;
    return *handler;
}

} // namespace

void standin::SetRegistryFlushHandler(std::function<bool()> handler)
{
    std::lock_guard hold(FlushLock());
    FlushHandler() = std::move(handler);
}

extern "C" NTSTATUS NTAPI ZwFlushKey(HANDLE KeyHandle)
{
    standin::CheckIrqlAtMost("ZwFlushKey", PASSIVE_LEVEL);
    KeyNodePtr key;
    NTSTATUS status = RegistryKeyObject::ReferenceKey(KeyHandle, 0, &key);
    if (!NT_SUCCESS(status))
        return status;
    status = RegistryTree::Instance().ReadKey(*key, [](const RegistryKeyNode&) { return STATUS_SUCCESS; });
    if (!NT_SUCCESS(status))
        return status;
    // The hive on disk is written whole: what the flushed key holds, and everything else, is there
    // when the call returns.
    std::lock_guard hold(FlushLock());
    if (FlushHandler() && !FlushHandler()())
        return STATUS_REGISTRY_IO_FAILED;
    return STATUS_SUCCESS;
}
