// The registry: an in-memory tree of keys under "\Registry" ("\Registry\Machine", "\Registry\User")
// with the Zw functions a driver calls on it, their information records and statuses. The
// stand-in's own facilities to empty it, fill it from and save it to ".reg" text, and read values in
// tests, are in standin/registry.h. Key and value names are case-insensitive and case-preserving. Key handles are objects of the
// one handle table: ZwClose closes them and the leak check reports those left open.
#pragma once
#include "km/object.h"
#include "km/types.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/registrytypes.h"

// A fixed underlying type, so that any class number a caller passes is a value the function can
// check and refuse.
enum KEY_INFORMATION_CLASS : int {
    KeyBasicInformation = 0,
    KeyNodeInformation = 1,
    KeyFullInformation = 2,
};

enum KEY_VALUE_INFORMATION_CLASS : int {
    KeyValueBasicInformation = 0,
    KeyValueFullInformation = 1,
    KeyValuePartialInformation = 2,
};

// The records the query and enumeration functions fill. Lengths count bytes; names are not
// terminated. A class offset is 0xFFFFFFFF when the key has no class.
struct KEY_BASIC_INFORMATION {
    LARGE_INTEGER LastWriteTime;
    ULONG TitleIndex;
    ULONG NameLength;
    WCHAR Name[1];
};
using PKEY_BASIC_INFORMATION = KEY_BASIC_INFORMATION*;
static_assert(offsetof(KEY_BASIC_INFORMATION, NameLength) == 12);
static_assert(offsetof(KEY_BASIC_INFORMATION, Name) == 16);
static_assert(sizeof(KEY_BASIC_INFORMATION) == 24);

// The class text follows the name, at ClassOffset from the start of the record.
struct KEY_NODE_INFORMATION {
    LARGE_INTEGER LastWriteTime;
    ULONG TitleIndex;
    ULONG ClassOffset;
    ULONG ClassLength;
    ULONG NameLength;
    WCHAR Name[1];
};
using PKEY_NODE_INFORMATION = KEY_NODE_INFORMATION*;
static_assert(offsetof(KEY_NODE_INFORMATION, ClassOffset) == 12);
static_assert(offsetof(KEY_NODE_INFORMATION, NameLength) == 20);
static_assert(offsetof(KEY_NODE_INFORMATION, Name) == 24);
static_assert(sizeof(KEY_NODE_INFORMATION) == 32);

// The longest-name and longest-data fields cover the key's sub-keys and values, in bytes.
struct KEY_FULL_INFORMATION {
    LARGE_INTEGER LastWriteTime;
    ULONG TitleIndex;
    ULONG ClassOffset;
    ULONG ClassLength;
    ULONG SubKeys;
    ULONG MaxNameLen;
    ULONG MaxClassLen;
    ULONG Values;
    ULONG MaxValueNameLen;
    ULONG MaxValueDataLen;
    WCHAR Class[1];
};
using PKEY_FULL_INFORMATION = KEY_FULL_INFORMATION*;
static_assert(offsetof(KEY_FULL_INFORMATION, SubKeys) == 20);
static_assert(offsetof(KEY_FULL_INFORMATION, MaxValueDataLen) == 40);
static_assert(offsetof(KEY_FULL_INFORMATION, Class) == 44);
static_assert(sizeof(KEY_FULL_INFORMATION) == 48);

struct KEY_VALUE_BASIC_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG NameLength;
    WCHAR Name[1];
};
using PKEY_VALUE_BASIC_INFORMATION = KEY_VALUE_BASIC_INFORMATION*;
static_assert(offsetof(KEY_VALUE_BASIC_INFORMATION, Name) == 12);
static_assert(sizeof(KEY_VALUE_BASIC_INFORMATION) == 16);

// The data follows the name, at DataOffset (a multiple of 4) from the start of the record.
struct KEY_VALUE_FULL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataOffset;
    ULONG DataLength;
    ULONG NameLength;
    WCHAR Name[1];
};
using PKEY_VALUE_FULL_INFORMATION = KEY_VALUE_FULL_INFORMATION*;
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, NameLength) == 16);
static_assert(offsetof(KEY_VALUE_FULL_INFORMATION, Name) == 20);
static_assert(sizeof(KEY_VALUE_FULL_INFORMATION) == 24);

struct KEY_VALUE_PARTIAL_INFORMATION {
    ULONG TitleIndex;
    ULONG Type;
    ULONG DataLength;
    UCHAR Data[1];
};
using PKEY_VALUE_PARTIAL_INFORMATION = KEY_VALUE_PARTIAL_INFORMATION*;
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12);
static_assert(sizeof(KEY_VALUE_PARTIAL_INFORMATION) == 16);

// Every function must be called at PASSIVE_LEVEL (a breach otherwise). A missing key or value is
// STATUS_OBJECT_NAME_NOT_FOUND; a handle whose key was deleted answers STATUS_KEY_DELETED.
//
// The query and enumeration functions share one buffer rule. ResultLength always receives the size
// the whole record needs. A buffer smaller than the record's fixed part gives
// STATUS_BUFFER_TOO_SMALL and is not written; a buffer that holds the fixed part but not the rest
// gives STATUS_BUFFER_OVERFLOW with the fixed part filled and as many bytes of the rest as fit.
//
// Unlike Windows, which skips the check for kernel-mode callers, each function checks that the
// handle was opened with the access it needs (STATUS_ACCESS_DENIED otherwise), so that a driver
// writing through a handle it opened for reading is caught.
extern "C" {
// The key type; ObReferenceObjectByHandle callers pass *CmKeyObjectType.
extern POBJECT_TYPE* CmKeyObjectType;

// Opens the key named by ObjectAttributes: an absolute path "\Registry\..." or, with a
// RootDirectory key handle, a path relative to that key (an empty one opens the key itself).
// Generic rights and MAXIMUM_ALLOWED are mapped to key rights. An empty path component or a name
// over 255 characters gives STATUS_OBJECT_NAME_INVALID.
NTSTATUS NTAPI ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes);
// Opens the key, or creates it when only its last path component is missing (a missing parent gives
// STATUS_OBJECT_NAME_NOT_FOUND). Disposition, when given, receives REG_CREATED_NEW_KEY or
// REG_OPENED_EXISTING_KEY. Class names a new key's class. REG_OPTION_VOLATILE keys are never saved
// to ".reg" text and only volatile keys may be created below them (STATUS_CHILD_MUST_BE_VOLATILE).
// Symbolic links are not supported: REG_OPTION_CREATE_LINK and unknown options give
// STATUS_INVALID_PARAMETER.
NTSTATUS NTAPI ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes,
                           ULONG TitleIndex, PUNICODE_STRING Class, ULONG CreateOptions, PULONG Disposition);
// Deletes the key (needs DELETE). A key with sub-keys, and "\Registry", "\Registry\Machine" and
// "\Registry\User", give STATUS_CANNOT_DELETE. The handle stays open until closed.
NTSTATUS NTAPI ZwDeleteKey(HANDLE KeyHandle);
// Describes the key itself (needs KEY_QUERY_VALUE).
NTSTATUS NTAPI ZwQueryKey(HANDLE KeyHandle, KEY_INFORMATION_CLASS KeyInformationClass, PVOID KeyInformation,
                          ULONG Length, PULONG ResultLength);
// Describes the Index-th sub-key (needs KEY_ENUMERATE_SUB_KEYS); sub-keys are ordered by their
// upper-cased names. STATUS_NO_MORE_ENTRIES past the last.
NTSTATUS NTAPI ZwEnumerateKey(HANDLE KeyHandle, ULONG Index, KEY_INFORMATION_CLASS KeyInformationClass,
                              PVOID KeyInformation, ULONG Length, PULONG ResultLength);
// Describes the named value (needs KEY_QUERY_VALUE); an empty name is the key's default value.
NTSTATUS NTAPI ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                               KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                               PVOID KeyValueInformation, ULONG Length, PULONG ResultLength);
// Describes the Index-th value (needs KEY_QUERY_VALUE); values keep the order in which they were
// first set. STATUS_NO_MORE_ENTRIES past the last.
NTSTATUS NTAPI ZwEnumerateValueKey(HANDLE KeyHandle, ULONG Index,
                                   KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                                   PVOID KeyValueInformation, ULONG Length, PULONG ResultLength);
// Sets a value of any type (needs KEY_SET_VALUE); a null or empty name is the default value. A name
// over 16,383 characters gives STATUS_INVALID_PARAMETER, data over
// standin::kRegistryMaxValueDataBytes STATUS_INSUFFICIENT_RESOURCES.
NTSTATUS NTAPI ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex, ULONG Type,
                             PVOID Data, ULONG DataSize);
// Deletes a value (needs KEY_SET_VALUE); a null or empty name is the default value.
NTSTATUS NTAPI ZwDeleteValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName);
// Nothing to write here: succeeds for any live key handle.
NTSTATUS NTAPI ZwFlushKey(HANDLE KeyHandle);
}

