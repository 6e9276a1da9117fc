// The records ZwQueryKey, ZwEnumerateKey, ZwQueryValueKey and ZwEnumerateValueKey fill, written
// into the caller's buffer with the shared buffer rule: ResultLength is always the whole record's
// size; a buffer short of the fixed part gets STATUS_BUFFER_TOO_SMALL and nothing written; one short
// of the whole record gets STATUS_BUFFER_OVERFLOW, the fixed part and as much of the rest as fits.
// The caller holds the tree's lock.
#pragma once
#include "RegistryKeyNode.h"
#include "km/registry.h"

namespace standin::registry {

bool IsSupportedKeyInformation(KEY_INFORMATION_CLASS informationClass);
bool IsSupportedValueInformation(KEY_VALUE_INFORMATION_CLASS informationClass);

NTSTATUS WriteKeyInformation(const RegistryKeyNode& key, KEY_INFORMATION_CLASS informationClass, PVOID buffer,
                             ULONG length, PULONG resultLength);
NTSTATUS WriteValueInformation(const RegistryValue& value, KEY_VALUE_INFORMATION_CLASS informationClass,
                               PVOID buffer, ULONG length, PULONG resultLength);

} // namespace standin::registry
