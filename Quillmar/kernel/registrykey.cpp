// The driver's registry key: opening by root or parent path, the device's key under its driver's
// class key, typed values and sub-key enumeration.
#include "kernel/registrykey.h"

#include "kernel/poolallocation.h"
#include "kernel/widelength.h"
#include "km/object.h"
#include "km/status.h"
#include "km/string.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

constexpr WCHAR kBackslash = u'\\';

// Index 0 has no root: its sub-key path is absolute.
constexpr PCWSTR kRootPaths[kRegistryRootCount] = {
    u"",
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services",
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control",
    u"\\Registry\\Machine\\Software\\Microsoft\\Windows NT\\CurrentVersion",
    u"\\REGISTRY\\Machine\\HARDWARE\\DEVICEMAP",
    u"\\Registry\\User",
};

constexpr WCHAR kClassKey[] = u"\\Class\\";

// The most bytes a counted string can count, and the most text that leaves room for a terminator.
constexpr ULONG kMaxCountedBytes = 0xFFFE;
constexpr ULONG kMaxTerminatedTextBytes = kMaxCountedBytes - sizeof(WCHAR);

// The driver key name is asked into a buffer of this size.
constexpr ULONG kDriverKeyNameBufferBytes = 512;

// Sub-key descriptions are asked into a buffer of this size first, and into one of the size the
// kernel reports when that is too small. A node record is at most a name of 255 characters and a
// class that a counted string can hold, so anything beyond this bound is not a record to trust.
constexpr ULONG kFirstInformationBytes = 232;
constexpr ULONG kMaxInformationBytes = 0x20000;

constexpr ULONG kNoClass = 0xFFFFFFFF;
constexpr ULONG kPartialFixedBytes = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);

// A zero-terminated text as a counted string over it; a null text is an empty string. False when a
// counted string cannot hold it; the scan stops there, so an unterminated text is not read further.
bool CountedView(PCWSTR text, UNICODE_STRING* view)
{
    const size_t characters = WideLength(text, kMaxCountedBytes / sizeof(WCHAR) + 1);
    if (characters * sizeof(WCHAR) > kMaxCountedBytes)
        return false;
    view->Buffer = const_cast<PWSTR>(text ? text : u"");
    view->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    view->MaximumLength = view->Length;
    return true;
}

// A counted string a caller passed: a null one is empty; a buffer must stand behind a length, and
// the length must be whole characters.
NTSTATUS CheckCounted(PCUNICODE_STRING text, UNICODE_STRING* view)
{
    if (!text) {
        *view = UNICODE_STRING{0, 0, const_cast<PWSTR>(u"")};
        return STATUS_SUCCESS;
    }
    if (text->Length && !text->Buffer)
        return STATUS_INVALID_PARAMETER;
    if (text->Length % sizeof(WCHAR))
        return STATUS_OBJECT_NAME_INVALID;
    *view = *text;
    if (!view->Buffer)
        view->Buffer = const_cast<PWSTR>(u"");
    return STATUS_SUCCESS;
}

WCHAR LastCharacter(PCUNICODE_STRING text)
{
    return text->Length ? text->Buffer[text->Length / sizeof(WCHAR) - 1] : 0;
}

// `pieces` one after another into a new, terminated buffer of `text`.
NTSTATUS Concatenate(UnicodeText* text, POOL_TYPE poolType, std::initializer_list<PCUNICODE_STRING> pieces)
{
    ULONG bytes = 0;
    for (PCUNICODE_STRING piece : pieces)
        bytes += piece->Length;
    if (bytes > kMaxTerminatedTextBytes)
        return STATUS_OBJECT_NAME_INVALID;
    NTSTATUS status = text->Allocate(bytes + sizeof(WCHAR), poolType);
    if (!NT_SUCCESS(status))
        return status;
    for (PCUNICODE_STRING piece : pieces) {
        status = RtlAppendUnicodeStringToString(text->Get(), piece);
        if (!NT_SUCCESS(status)) {
            text->Release();
            return status;
        }
    }
    text->Buffer()[text->Length() / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

// parent + subKey, with a backslash between them only where neither brings one; an empty sub-key
// adds nothing. Open and GetFullPath both name a key this way, so a message names the key opened.
NTSTATUS JoinPath(UnicodeText* path, PCUNICODE_STRING parent, PCUNICODE_STRING subKey)
{
    UNICODE_STRING separator{0, 0, const_cast<PWSTR>(u"\\")};
    if (subKey->Length && LastCharacter(parent) != kBackslash && subKey->Buffer[0] != kBackslash)
        separator.Length = separator.MaximumLength = sizeof(WCHAR);
    return Concatenate(path, PagedPool, {parent, &separator, subKey});
}

// A copy of `text` of its own, terminated.
NTSTATUS CopyText(UnicodeText* copy, PCUNICODE_STRING text)
{
    return Concatenate(copy, NonPagedPool, {text});
}

// One sub-key description from ZwEnumerateKey: asked into a buffer of its own first, then, when
// the kernel says the record is larger, into a pool block of the size it reports.
class SubKeyRecord {
public:
    SubKeyRecord() = default;
    ~SubKeyRecord() { FreePool(m_pool); }
    SubKeyRecord(const SubKeyRecord&) = delete;
    SubKeyRecord& operator=(const SubKeyRecord&) = delete;

    NTSTATUS Fetch(HANDLE key, ULONG index, KEY_INFORMATION_CLASS informationClass)
    {
        ULONG needed = 0;
        NTSTATUS status = ZwEnumerateKey(key, index, informationClass, m_first, sizeof m_first, &needed);
        if (status == STATUS_BUFFER_OVERFLOW) {
            if (needed <= sizeof m_first || needed > kMaxInformationBytes)
                return STATUS_INSUFFICIENT_RESOURCES;
            m_pool = static_cast<UCHAR*>(AllocatePoolOfType(needed, PagedPool));
            if (!m_pool)
                return STATUS_INSUFFICIENT_RESOURCES;
            const ULONG room = needed;
            status = ZwEnumerateKey(key, index, informationClass, m_pool, room, &needed);
            m_size = std::min(needed, room);
        } else {
            m_size = std::min<ULONG>(needed, sizeof m_first);
        }
        return status;
    }

    const UCHAR* Data() const { return m_pool ? m_pool : m_first; }
    ULONG Size() const { return m_size; }

    template <class T> T Read(size_t offset) const
    {
        T value;
        std::memcpy(&value, Data() + offset, sizeof value);
        return value;
    }

    // The bytes [offset, offset + length) as text, when they lie within the record.
    bool TextAt(ULONG offset, ULONG length, UNICODE_STRING* text) const
    {
        if (length == 0) {
            *text = UNICODE_STRING{0, 0, nullptr};
            return true;
        }
        if (offset > m_size || length > m_size - offset || length > kMaxCountedBytes ||
            length % sizeof(WCHAR))
            return false;
        text->Buffer = reinterpret_cast<PWSTR>(const_cast<UCHAR*>(Data()) + offset);
        text->Length = text->MaximumLength = static_cast<USHORT>(length);
        return true;
    }

private:
    alignas(8) UCHAR m_first[kFirstInformationBytes] = {};
    UCHAR* m_pool = nullptr;
    ULONG m_size = 0;
};

// Copies `text` into the caller's counted string when it fits, terminated when there is room.
// A string too small is left empty.
bool CopyOut(PUNICODE_STRING target, const UNICODE_STRING& text)
{
    if (!target)
        return true;
    if (!target->Buffer || target->MaximumLength < text.Length) {
        target->Length = 0;
        return false;
    }
    if (text.Length)
        std::memcpy(target->Buffer, text.Buffer, text.Length);
    target->Length = text.Length;
    if (ULONG{target->MaximumLength} >= ULONG{text.Length} + sizeof(WCHAR))
        target->Buffer[text.Length / sizeof(WCHAR)] = 0;
    return true;
}

} // namespace

RegistryKey::RegistryKey(ULONG rootIndex, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                         ACCESS_MASK access, ULONG attributeFlags)
{
    Reopen(rootIndex, subKeyPath, create, createOptions, access, attributeFlags);
}

RegistryKey::RegistryKey(PCUNICODE_STRING parentPath, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                         ACCESS_MASK access, ULONG attributeFlags)
{
    Open(parentPath, subKeyPath, access, attributeFlags, create, createOptions);
}

RegistryKey::~RegistryKey()
{
    Close();
}

void RegistryKey::KeepPaths(PCUNICODE_STRING parentPath, PCUNICODE_STRING subKeyPath)
{
    // Reopening the same key keeps the copies it has; a key of another name gets new ones, so
    // that GetFullPath and GetPathTail always name the key held.
    if (m_parentPath.Buffer() && m_subKeyPath.Buffer() &&
        RtlEqualUnicodeString(m_parentPath.Get(), parentPath, FALSE) &&
        RtlEqualUnicodeString(m_subKeyPath.Get(), subKeyPath, FALSE))
        return;
    m_parentPath.Release();
    m_subKeyPath.Release();
    // The copies only name the key; without pool for them the open still goes on, keeping none.
    if (!NT_SUCCESS(CopyText(&m_parentPath, parentPath)))
        return;
    if (!NT_SUCCESS(CopyText(&m_subKeyPath, subKeyPath)))
        m_parentPath.Release();
}

NTSTATUS RegistryKey::FailUnnamed(NTSTATUS status)
{
    // Failed before a key was named: the copies of an earlier open would name the wrong key.
    m_parentPath.Release();
    m_subKeyPath.Release();
    return m_status = status;
}

NTSTATUS RegistryKey::Open(PCUNICODE_STRING parentPath, PCWSTR subKeyPath, ACCESS_MASK access,
                           ULONG attributeFlags, BOOLEAN create, ULONG createOptions)
{
    Close();
    m_enumerationIndex = 0;
    m_desiredAccess = access;
    m_attributeFlags = attributeFlags;
    m_createFlag = create ? TRUE : FALSE;
    m_createOptions = createOptions;

    UNICODE_STRING parent;
    UNICODE_STRING subKey;
    NTSTATUS status = CheckCounted(parentPath, &parent);
    if (!NT_SUCCESS(status))
        return FailUnnamed(status);
    if (!CountedView(subKeyPath, &subKey))
        return FailUnnamed(STATUS_OBJECT_NAME_INVALID);
    KeepPaths(&parent, &subKey);

    UnicodeText path;
    m_status = JoinPath(&path, &parent, &subKey);
    if (!NT_SUCCESS(m_status))
        return m_status;

    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, path.Get(), attributeFlags, nullptr, nullptr);
    HANDLE handle = nullptr;
    if (create) {
        ULONG disposition = 0;
        m_status = ZwCreateKey(&handle, access, &attributes, 0, nullptr, createOptions, &disposition);
        m_disposition = NT_SUCCESS(m_status) ? disposition : 0;
    } else {
        m_status = ZwOpenKey(&handle, access, &attributes);
    }
    if (NT_SUCCESS(m_status))
        m_handle = handle;
    return m_status;
}

NTSTATUS RegistryKey::Reopen(ULONG rootIndex, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                             ACCESS_MASK access, ULONG attributeFlags)
{
    Close();
    if (rootIndex >= kRegistryRootCount) {
        m_enumerationIndex = 0;
        return FailUnnamed(STATUS_INVALID_PARAMETER);
    }
    UNICODE_STRING root;
    RtlInitUnicodeString(&root, kRootPaths[rootIndex]);
    return Open(&root, subKeyPath, access, attributeFlags, create, createOptions);
}

NTSTATUS RegistryKey::OpenClassKey(PDEVICE_OBJECT deviceObject, PCWSTR subKeyPath, BOOLEAN create,
                                   ULONG createOptions, ACCESS_MASK access, ULONG attributeFlags)
{
    Close();
    m_disposition = 0;
    m_enumerationIndex = 0;
    if (!deviceObject)
        return FailUnnamed(STATUS_INVALID_PARAMETER);

    alignas(8) WCHAR driverKeyName[kDriverKeyNameBufferBytes / sizeof(WCHAR)];
    ULONG resultBytes = 0;
    NTSTATUS status = IoGetDeviceProperty(deviceObject, DevicePropertyDriverKeyName, sizeof driverKeyName,
                                          driverKeyName, &resultBytes);
    if (!NT_SUCCESS(status))
        return FailUnnamed(status);
    // The name ends at its zero or at the bytes returned, whichever comes first. Without one the
    // path would name the class key itself, or another board's key below it.
    UNICODE_STRING name;
    name.Buffer = driverKeyName;
    name.Length = static_cast<USHORT>(
        WideLength(driverKeyName, std::min<ULONG>(resultBytes, sizeof driverKeyName) / sizeof(WCHAR)) *
        sizeof(WCHAR));
    name.MaximumLength = name.Length;
    if (name.Length == 0)
        return FailUnnamed(STATUS_OBJECT_NAME_INVALID);

    // Sized from the lengths at hand: a long driver key name is never cut or overrun.
    UNICODE_STRING root;
    UNICODE_STRING classKey;
    RtlInitUnicodeString(&root, kRootPaths[kRegistryRootControl]);
    RtlInitUnicodeString(&classKey, kClassKey);
    UnicodeText classPath;
    status = Concatenate(&classPath, PagedPool, {&root, &classKey, &name});
    if (!NT_SUCCESS(status))
        return FailUnnamed(status);
    return Open(classPath.Get(), subKeyPath, access, attributeFlags, create, createOptions);
}

RegistryKey* RegistryKey::OpenDeviceKey(PDEVICE_OBJECT deviceObject, PCWSTR subKeyPath, BOOLEAN create,
                                        ULONG createOptions, ACCESS_MASK access, ULONG attributeFlags)
{
    auto* key = new RegistryKey;
    key->OpenClassKey(deviceObject, subKeyPath, create, createOptions, access, attributeFlags);
    return key;
}

NTSTATUS RegistryKey::Close()
{
    if (!m_handle)
        return STATUS_SUCCESS;
    const NTSTATUS status = ZwClose(m_handle);
    m_handle = nullptr;
    return status;
}

NTSTATUS RegistryKey::GetFullPath(UnicodeText* path) const
{
    if (!path)
        return STATUS_INVALID_PARAMETER;
    return JoinPath(path, m_parentPath.Get(), m_subKeyPath.Get());
}

NTSTATUS RegistryKey::GetPathTail(UnicodeText* tail, ULONG count) const
{
    if (!tail)
        return STATUS_INVALID_PARAMETER;
    PCWSTR text = m_parentPath.Buffer() ? m_parentPath.Buffer() : u"";
    size_t end = m_parentPath.Length() / sizeof(WCHAR);
    while (end > 0 && text[end - 1] == kBackslash)
        --end;
    // Walk back over `count` components; each starts at the backslash before it.
    size_t start = end;
    for (ULONG found = 0; found < count && start > 0; ++found) {
        while (start > 0 && text[start - 1] != kBackslash)
            --start;
        if (start > 0)
            --start; // its leading backslash
        while (found + 1 < count && start > 0 && text[start - 1] == kBackslash)
            --start; // empty components between backslashes count for nothing
    }
    UNICODE_STRING piece;
    piece.Buffer = const_cast<PWSTR>(text + start);
    piece.Length = piece.MaximumLength = static_cast<USHORT>((end - start) * sizeof(WCHAR));
    return Concatenate(tail, PagedPool, {&piece});
}

NTSTATUS RegistryKey::QueryValue(PCWSTR valueName, PULONG type, PULONG length, PVOID buffer)
{
    if (!length || (!buffer && *length))
        return STATUS_INVALID_PARAMETER;
    UNICODE_STRING name;
    if (!CountedView(valueName, &name))
        return STATUS_OBJECT_NAME_INVALID;
    const ULONG room = *length;
    if (room > ULONG(~0u) - kPartialFixedBytes)
        return STATUS_INVALID_PARAMETER;
    auto* information = static_cast<UCHAR*>(AllocatePoolOfType(room + kPartialFixedBytes, PagedPool));
    if (!information)
        return STATUS_INSUFFICIENT_RESOURCES;

    ULONG resultBytes = 0;
    const NTSTATUS status = ZwQueryValueKey(m_handle, &name, KeyValuePartialInformation, information,
                                            room + kPartialFixedBytes, &resultBytes);
    if (NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW) {
        KEY_VALUE_PARTIAL_INFORMATION fixed;
        std::memcpy(&fixed, information, kPartialFixedBytes);
        if (type)
            *type = fixed.Type;
        if (NT_SUCCESS(status))
            std::memcpy(buffer, information + kPartialFixedBytes, std::min(fixed.DataLength, room));
        *length = fixed.DataLength;
    }
    FreePool(information);
    return status;
}

NTSTATUS RegistryKey::QueryDword(PCWSTR valueName, PULONG value)
{
    if (!value)
        return STATUS_INVALID_PARAMETER;
    ULONG number = 0;
    ULONG type = REG_NONE;
    ULONG length = sizeof number;
    const NTSTATUS status = QueryValue(valueName, &type, &length, &number);
    // The type is known even when the data did not fit, so a long string is a mismatch too.
    if ((NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW) && type != REG_DWORD)
        return STATUS_OBJECT_TYPE_MISMATCH;
    if (!NT_SUCCESS(status))
        return status;
    if (length != sizeof number)
        return STATUS_OBJECT_TYPE_MISMATCH;
    *value = number;
    return STATUS_SUCCESS;
}

namespace {

// The data length of a value, asked with a buffer for the fixed part only: success (no data),
// STATUS_BUFFER_OVERFLOW and STATUS_BUFFER_TOO_SMALL all tell it. Any other status is returned.
NTSTATUS ProbeDataSize(HANDLE key, PCWSTR valueName, ULONG* size)
{
    *size = 0;
    UNICODE_STRING name;
    if (!CountedView(valueName, &name))
        return STATUS_OBJECT_NAME_INVALID;
    alignas(8) UCHAR fixed[kPartialFixedBytes];
    ULONG resultBytes = 0;
    const NTSTATUS status =
        ZwQueryValueKey(key, &name, KeyValuePartialInformation, fixed, sizeof fixed, &resultBytes);
    if (NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW) {
        std::memcpy(size, fixed + offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength), sizeof *size);
        return STATUS_SUCCESS;
    }
    if (status == STATUS_BUFFER_TOO_SMALL) {
        *size = resultBytes > kPartialFixedBytes ? resultBytes - kPartialFixedBytes : 0;
        return STATUS_SUCCESS;
    }
    return status;
}

} // namespace

ULONG RegistryKey::QueryDataSize(PCWSTR valueName)
{
    ULONG size = 0;
    return NT_SUCCESS(ProbeDataSize(m_handle, valueName, &size)) ? size : 0;
}

NTSTATUS RegistryKey::QueryAllocatedOfType(PCWSTR valueName, PVOID* buffer, PULONG length, POOL_TYPE poolType,
                                           PULONG type)
{
    if (!buffer || !length)
        return STATUS_INVALID_PARAMETER;
    *buffer = nullptr;
    ULONG size = *length;
    if (size == 0) {
        const NTSTATUS status = ProbeDataSize(m_handle, valueName, &size);
        if (!NT_SUCCESS(status))
            return status;
    }
    if (size == 0 || size > kRegistryMaxAllocatedValueBytes)
        return STATUS_INSUFFICIENT_RESOURCES;
    // Two zero bytes on a character boundary after the data, whatever the value holds.
    const ULONG blockBytes = size + (size & 1) + sizeof(WCHAR);
    auto* block = static_cast<UCHAR*>(AllocatePoolOfType(blockBytes, poolType));
    if (!block)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(block, 0, blockBytes);
    ULONG dataLength = size;
    const NTSTATUS status = QueryValue(valueName, type, &dataLength, block);
    if (!NT_SUCCESS(status)) {
        FreePool(block);
        return status;
    }
    *buffer = block;
    *length = dataLength;
    return STATUS_SUCCESS;
}

NTSTATUS RegistryKey::QueryAllocated(PCWSTR valueName, PVOID* buffer, PULONG length, POOL_TYPE poolType)
{
    return QueryAllocatedOfType(valueName, buffer, length, poolType, nullptr);
}

NTSTATUS RegistryKey::QueryString(PCWSTR valueName, PWSTR* buffer, PULONG length, POOL_TYPE poolType)
{
    if (!buffer)
        return STATUS_INVALID_PARAMETER;
    *buffer = nullptr;
    PVOID block = nullptr;
    ULONG type = REG_NONE;
    const NTSTATUS status = QueryAllocatedOfType(valueName, &block, length, poolType, &type);
    if (!NT_SUCCESS(status))
        return status;
    if (type != REG_SZ) {
        FreePool(block);
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    *buffer = static_cast<PWSTR>(block);
    return STATUS_SUCCESS;
}

NTSTATUS RegistryKey::SetValue(PCWSTR valueName, ULONG type, const void* data, ULONG length)
{
    UNICODE_STRING name;
    if (!CountedView(valueName, &name))
        return STATUS_OBJECT_NAME_INVALID;
    return ZwSetValueKey(m_handle, &name, 0, type, const_cast<PVOID>(data), length);
}

NTSTATUS RegistryKey::SetDword(PCWSTR valueName, ULONG value)
{
    return SetValue(valueName, REG_DWORD, &value, sizeof value);
}

NTSTATUS RegistryKey::SetString(PCWSTR valueName, PCWSTR text)
{
    if (!text)
        return STATUS_INVALID_PARAMETER;
    // The driver's texts are counted strings; anything longer is refused without reading it to
    // its end.
    constexpr size_t kLimit = kMaxTerminatedTextBytes / sizeof(WCHAR);
    const size_t characters = WideLength(text, kLimit + 1);
    if (characters > kLimit)
        return STATUS_INVALID_PARAMETER;
    return SetValue(valueName, REG_SZ, text, static_cast<ULONG>((characters + 1) * sizeof(WCHAR)));
}

NTSTATUS RegistryKey::EnumerateKey(PUNICODE_STRING name, PUNICODE_STRING className,
                                   RegistryKeySummary* summary)
{
    SubKeyRecord node;
    NTSTATUS status = node.Fetch(m_handle, m_enumerationIndex, KeyNodeInformation);
    if (!NT_SUCCESS(status))
        return status;
    constexpr size_t kNodeFixed = offsetof(KEY_NODE_INFORMATION, Name);
    if (node.Size() < kNodeFixed)
        return STATUS_INTERNAL_ERROR;
    const auto nameLength = node.Read<ULONG>(offsetof(KEY_NODE_INFORMATION, NameLength));
    const auto classOffset = node.Read<ULONG>(offsetof(KEY_NODE_INFORMATION, ClassOffset));
    const auto classLength = node.Read<ULONG>(offsetof(KEY_NODE_INFORMATION, ClassLength));
    UNICODE_STRING nameText;
    UNICODE_STRING classText;
    if (!node.TextAt(kNodeFixed, nameLength, &nameText) ||
        !node.TextAt(classOffset == kNoClass ? 0 : classOffset, classOffset == kNoClass ? 0 : classLength,
                     &classText))
        return STATUS_INTERNAL_ERROR;

    SubKeyRecord full;
    status = full.Fetch(m_handle, m_enumerationIndex, KeyFullInformation);
    if (!NT_SUCCESS(status))
        return status;
    if (full.Size() < offsetof(KEY_FULL_INFORMATION, Class))
        return STATUS_INTERNAL_ERROR;

    const bool nameFits = CopyOut(name, nameText);
    const bool classFits = CopyOut(className, classText);
    if (summary) {
        summary->NameLength = nameLength;
        summary->ClassLength = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, ClassLength));
        summary->SubKeys = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, SubKeys));
        summary->Values = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, Values));
        summary->MaxNameLength = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, MaxNameLen));
        summary->MaxClassLength = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, MaxClassLen));
        summary->MaxValueNameLength = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, MaxValueNameLen));
        summary->MaxValueDataLength = full.Read<ULONG>(offsetof(KEY_FULL_INFORMATION, MaxValueDataLen));
        summary->LastWriteTime = full.Read<LARGE_INTEGER>(offsetof(KEY_FULL_INFORMATION, LastWriteTime));
    }
    ++m_enumerationIndex;
    return nameFits && classFits ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}
