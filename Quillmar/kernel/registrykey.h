// RegistryKey: the driver's one registry class. It names a key by a root and a sub-key path, opens
// or creates it, reads and writes typed values, enumerates its sub-keys, and finds a board's own key
// under the class key of the board's driver. The driver parameters and every device, input and pin
// setting go through it.
//
// The object keeps the status of its last open; a failed open leaves it usable without a handle,
// and every call that needs the handle then answers the kernel's STATUS_INVALID_HANDLE. It keeps
// copies of the parent and sub-key paths it opened (for the key's name in messages) and the access,
// flags and options of that open. No member locks: the owner serialises, like the other kernel
// utility classes. Every block it takes from the pool carries the driver's tag.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/unicodetext.h"
#include "km/iodevice.h"
#include "km/pool.h"
#include "km/registry.h"
#include "km/types.h"

#include <cstddef>

// Root indices: where a relative sub-key path starts.
inline constexpr ULONG kRegistryRootAbsolute = 0; // none: the sub-key path is absolute
inline constexpr ULONG kRegistryRootServices = 1; // "\Registry\Machine\System\CurrentControlSet\Services"
inline constexpr ULONG kRegistryRootControl = 2;  // "\Registry\Machine\System\CurrentControlSet\Control"
inline constexpr ULONG kRegistryRootCurrentVersion = 3; // "...\Software\Microsoft\Windows NT\CurrentVersion"
inline constexpr ULONG kRegistryRootDeviceMap = 4;      // "\REGISTRY\Machine\HARDWARE\DEVICEMAP"
inline constexpr ULONG kRegistryRootUser = 5;           // "\Registry\User"
inline constexpr ULONG kRegistryRootCount = 6;

// How the driver opens keys: for reading, KEY_READ and case-insensitive names without creating;
// for writing, created when missing, all access, case-insensitive kernel handles.
inline constexpr ACCESS_MASK kRegistryReadAccess = 0x20019;
inline constexpr ULONG kRegistryReadAttributes = 0x40;
inline constexpr ACCESS_MASK kRegistryWriteAccess = 0xF003F;
inline constexpr ULONG kRegistryWriteAttributes = 0x240;

// The largest value the driver reads into a buffer it allocates for it (QueryAllocated,
// QueryString). Its largest settings are a few kilobytes; a bigger value is refused rather than
// letting a number from the registry size an allocation.
inline constexpr ULONG kRegistryMaxAllocatedValueBytes = 0x10000;

// What EnumerateKey reports of a sub-key. Lengths count bytes.
struct RegistryKeySummary {
    ULONG NameLength;
    ULONG ClassLength;
    ULONG SubKeys;
    ULONG Values;
    ULONG MaxNameLength;  // longest name among its sub-keys
    ULONG MaxClassLength; // longest class among its sub-keys
    ULONG MaxValueNameLength;
    ULONG MaxValueDataLength;
    LARGE_INTEGER LastWriteTime;
};
static_assert(offsetof(RegistryKeySummary, MaxValueDataLength) == 28);
static_assert(offsetof(RegistryKeySummary, LastWriteTime) == 32);

class RegistryKey : public DriverAllocated {
public:
    // Opens (or, with `create`, creates) subKeyPath under the root of `rootIndex`. An index outside
    // the root table leaves the key without a handle and with STATUS_INVALID_PARAMETER.
    RegistryKey(ULONG rootIndex, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions, ACCESS_MASK access,
                ULONG attributeFlags);
    // The same under an explicit parent path.
    RegistryKey(PCUNICODE_STRING parentPath, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                ACCESS_MASK access, ULONG attributeFlags);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes a held handle and opens parentPath + subKeyPath: one backslash goes between them only
    // when the parent does not end with one and the sub-key does not begin with one; an empty or
    // null sub-key adds nothing. With `create` the key is made when missing (ZwCreateKey, whose
    // disposition is recorded); otherwise ZwOpenKey. The enumeration starts again at the first
    // sub-key. Returns the status and keeps it. A path longer than a counted string can hold is
    // STATUS_OBJECT_NAME_INVALID; no pool for the path STATUS_INSUFFICIENT_RESOURCES.
    NTSTATUS Open(PCUNICODE_STRING parentPath, PCWSTR subKeyPath, ACCESS_MASK access, ULONG attributeFlags,
                  BOOLEAN create, ULONG createOptions);
    // Closes the handle and opens anew under a root of the table.
    NTSTATUS Reopen(ULONG rootIndex, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                    ACCESS_MASK access, ULONG attributeFlags);
    // Opens subKeyPath (may be empty) under the device's key: the control root + "\Class\" + the
    // driver key name of the physical device object. The failure of IoGetDeviceProperty is returned
    // (and kept) as it is.
    NTSTATUS OpenClassKey(PDEVICE_OBJECT deviceObject, PCWSTR subKeyPath, BOOLEAN create, ULONG createOptions,
                          ACCESS_MASK access, ULONG attributeFlags);
    // A new key object that has run OpenClassKey; when that failed the object exists without a
    // handle (Status tells why). The caller deletes it. Raises STATUS_INSUFFICIENT_RESOURCES, as
    // every driver object allocation does, when no memory is left for the object itself.
    static RegistryKey* OpenDeviceKey(PDEVICE_OBJECT deviceObject, PCWSTR subKeyPath, BOOLEAN create,
                                      ULONG createOptions, ACCESS_MASK access, ULONG attributeFlags);
    // Closes the handle if one is held; success when none is.
    NTSTATUS Close();

    // The kept parent and sub-key paths joined as Open joins them, into a new paged buffer of
    // `path` (whose previous buffer is freed).
    NTSTATUS GetFullPath(UnicodeText* path) const;
    // The last `count` components of the kept parent path, each with its leading backslash (on the
    // device key, 2 gives "\<class identifier>\<instance number>"), into a new paged buffer. A
    // trailing backslash is not part of the tail; fewer components give the whole path.
    NTSTATUS GetPathTail(UnicodeText* tail, ULONG count) const;

    // ZwQueryValueKey for partial information into a paged buffer of *length + 12 bytes. On
    // success the data goes to `buffer` and its type to *type; on STATUS_BUFFER_OVERFLOW (the data
    // is longer than *length) only the type is given. Either way *length becomes the value's data
    // length. Any other failure changes nothing.
    NTSTATUS QueryValue(PCWSTR valueName, PULONG type, PULONG length, PVOID buffer);
    // A 32-bit number. A value of another type, or a REG_DWORD that is not 4 bytes long, gives
    // STATUS_OBJECT_TYPE_MISMATCH; *value is written only on success.
    NTSTATUS QueryDword(PCWSTR valueName, PULONG value);
    // The value's data length; 0 when it cannot be had (a missing value, no handle, ...).
    ULONG QueryDataSize(PCWSTR valueName);
    // A value of any type in a new pool block of `poolType` that the caller frees with FreePool.
    // *length is the room to allocate, or 0 to take the value's own size; on success it becomes the
    // data length. The block has two zero bytes after the data, so text in it is always
    // terminated. Failures leave *buffer null: the size query's own status (a missing value is
    // STATUS_OBJECT_NAME_NOT_FOUND), STATUS_INSUFFICIENT_RESOURCES for an empty value, a size above
    // kRegistryMaxAllocatedValueBytes or no pool, and QueryValue's status.
    NTSTATUS QueryAllocated(PCWSTR valueName, PVOID* buffer, PULONG length, POOL_TYPE poolType);
    // The same for a REG_SZ value; any other type gives STATUS_OBJECT_TYPE_MISMATCH.
    NTSTATUS QueryString(PCWSTR valueName, PWSTR* buffer, PULONG length, POOL_TYPE poolType);

    // ZwSetValueKey. A null or empty name is the key's default value.
    NTSTATUS SetValue(PCWSTR valueName, ULONG type, const void* data, ULONG length);
    // REG_DWORD, 4 bytes.
    NTSTATUS SetDword(PCWSTR valueName, ULONG value);
    // REG_SZ with its terminating zero: characters x 2 + 2 bytes. A text longer than a counted
    // string can hold (32,766 characters) is STATUS_INVALID_PARAMETER.
    NTSTATUS SetString(PCWSTR valueName, PCWSTR text);

    // Describes the sub-key at the enumeration index and moves the index on: the first call gives
    // the first sub-key, the call after the last STATUS_NO_MORE_ENTRIES. Name and class are copied
    // into the caller's counted strings (terminated when there is room for it) when they fit; a
    // string too small is left empty and the result is STATUS_BUFFER_OVERFLOW, with the needed
    // lengths in the summary and the index moved on all the same. Any null argument is skipped.
    // On any other failure the index stays, so a retry asks for the same sub-key.
    NTSTATUS EnumerateKey(PUNICODE_STRING name, PUNICODE_STRING className, RegistryKeySummary* summary);

    HANDLE Handle() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr; }
    NTSTATUS Status() const { return m_status; }
    // REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY after a create; 0 when it failed.
    ULONG Disposition() const { return m_disposition; }
    ULONG EnumerationIndex() const { return m_enumerationIndex; }
    // What the last open was asked for.
    ACCESS_MASK DesiredAccess() const { return m_desiredAccess; }
    ULONG AttributeFlags() const { return m_attributeFlags; }
    BOOLEAN CreateFlag() const { return m_createFlag; }
    ULONG CreateOptions() const { return m_createOptions; }

private:
    RegistryKey() = default;

    void KeepPaths(PCUNICODE_STRING parentPath, PCUNICODE_STRING subKeyPath);
    // Keeps `status` as the open's and drops the kept paths.
    NTSTATUS FailUnnamed(NTSTATUS status);
    // QueryAllocated that also tells the value's type.
    NTSTATUS QueryAllocatedOfType(PCWSTR valueName, PVOID* buffer, PULONG length, POOL_TYPE poolType,
                                  PULONG type);

    ULONG m_disposition = 0;
    HANDLE m_handle = nullptr;
    NTSTATUS m_status = 0;
    ULONG m_enumerationIndex = 0;
    UnicodeText m_parentPath;
    UnicodeText m_subKeyPath;
    ACCESS_MASK m_desiredAccess = 0;
    ULONG m_attributeFlags = 0;
    BOOLEAN m_createFlag = FALSE;
    ULONG m_createOptions = 0;
};
