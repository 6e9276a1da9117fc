// Registry resets, .reg text import and export, and reads by path without handles. Stand-in
// facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/registry.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// The largest value data the registry keeps.
constexpr ULONG kRegistryMaxValueDataBytes = 1u << 20;

// Empties the registry down to "\Registry", "\Registry\Machine" and "\Registry\User". Handles still
// open on the old keys stay valid and answer STATUS_KEY_DELETED.
void ResetRegistry();

// ".reg" text in the "Windows Registry Editor Version 5.00" format. Import takes UTF-8 (with or
// without a byte-order mark) or UTF-16LE with its mark, and lines ending in LF or CRLF; export writes
// UTF-8 without a mark and LF line ends. HKEY_LOCAL_MACHINE is "\Registry\Machine", HKEY_USERS is
// "\Registry\User". docs/platform-registry.md gives the whole format.
struct RegistryTextError {
    size_t line = 0; // 1-based; 0 when the error is not about one line
    std::string message;
};
// Parses all of the text first and changes the registry only when all of it is sound; an error
// leaves the registry as it was.
bool ImportRegistryText(std::string_view text, RegistryTextError* error = nullptr);
bool ImportRegistryFile(const std::filesystem::path& file, RegistryTextError* error = nullptr);
// Writes the key at keyPath ("\Registry\Machine\...") and everything below it; an empty path or
// "\Registry" writes the whole registry. Fails for a missing key, and for a key or value name that
// .reg text cannot hold (a line break or an unpaired surrogate in it).
bool ExportRegistryText(std::u16string_view keyPath, std::string* text, RegistryTextError* error = nullptr);
// Writes through a temporary file beside `file` and renames it, so a failed save leaves the old file.
bool ExportRegistryFile(const std::filesystem::path& file, std::u16string_view keyPath = {},
                        RegistryTextError* error = nullptr);

// What ZwFlushKey writes the hive with: the machine sets a handler that writes its registry file
// through (true when written); without one a flush has nothing to write. A call in flight ends
// before a new handler takes over; the handler must not itself flush.
void SetRegistryFlushHandler(std::function<bool()> handler);

// Reading the registry in tests, by absolute path and without handles.
struct RegistryValueData {
    ULONG type = REG_NONE;
    std::vector<UCHAR> data;
};
bool RegistryKeyExists(std::u16string_view keyPath);
std::optional<RegistryValueData> ReadRegistryValue(std::u16string_view keyPath,
                                                   std::u16string_view valueName);
// The value when it is a REG_DWORD of 4 bytes.
std::optional<ULONG> ReadRegistryDword(std::u16string_view keyPath, std::u16string_view valueName);
// The text of a REG_SZ or REG_EXPAND_SZ value up to its first zero character.
std::optional<std::u16string> ReadRegistryString(std::u16string_view keyPath, std::u16string_view valueName);
// The names of a key's sub-keys in enumeration order.
std::optional<std::vector<std::u16string>> RegistrySubKeyNames(std::u16string_view keyPath);

} // namespace standin
