// Key and value names: the limits Windows sets on them, their case-insensitive form, and the split
// of a key path into names. Shared by the Zw functions and the ".reg" reader.
#pragma once
#include "km/types.h"

#include <string>
#include <string_view>
#include <vector>

namespace standin::registry {

constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxValueNameChars = 16383;
// A whole path must fit a counted string.
constexpr size_t kMaxPathChars = 32767;

// The form names are compared and sorted in.
std::u16string UpcaseName(std::u16string_view name);

// Splits "A\B\C" into its names; an empty path has none. An empty name (two backslashes in a row,
// or one at either end) or a name over kMaxKeyNameChars gives STATUS_OBJECT_NAME_INVALID.
NTSTATUS SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* names);

} // namespace standin::registry
