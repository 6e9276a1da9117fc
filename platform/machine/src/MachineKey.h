// A registry key the machine writes, as the plug and play manager writes device and class keys:
// created with every missing key on its path, written through the Zw functions and closed when the
// object goes. Reading goes by path, without handles.
#pragma once
#include "km/registry.h"
#include "km/types.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class MachineKey {
public:
    MachineKey() = default;
    ~MachineKey();
    MachineKey(const MachineKey&) = delete;
    MachineKey& operator=(const MachineKey&) = delete;

    // Opens `path` ("\Registry\Machine\..."), creating it and each missing key above it.
    NTSTATUS Create(std::u16string_view path);
    NTSTATUS SetString(std::u16string_view name, std::u16string_view text, ULONG type = REG_SZ);
    NTSTATUS SetMultiString(std::u16string_view name, const std::vector<std::u16string>& strings);
    NTSTATUS SetDword(std::u16string_view name, ULONG value);
    NTSTATUS SetValue(std::u16string_view name, ULONG type, const void* data, size_t bytes);
    void Close();

private:
    HANDLE handle_ = nullptr;
};

// Values read by path; nothing when the key or the value is missing or of another type.
std::optional<std::u16string> ReadStringValue(std::u16string_view keyPath, std::u16string_view name);
std::vector<std::u16string> ReadMultiStringValue(std::u16string_view keyPath, std::u16string_view name);
std::vector<std::u16string> SubKeys(std::u16string_view keyPath);

} // namespace platform
