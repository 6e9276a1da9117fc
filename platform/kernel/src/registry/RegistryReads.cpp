// Reading the registry by path for tests, without handles and under the tree's lock.
#include "RegistryPath.h"
#include "RegistryTree.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <mutex>

namespace standin {

namespace {

// Runs read(key) on the key at `keyPath` under the shared lock; nullopt when there is none.
template <class Read>
auto ReadKeyAt(std::u16string_view keyPath, Read read)
    -> decltype(read(std::declval<const registry::RegistryKeyNode&>()))
{
    auto& tree = registry::RegistryTree::Instance();
    std::shared_lock<std::shared_mutex> hold(tree.Lock());
    registry::KeyNodePtr key = tree.FindLocked(keyPath);
    if (!key)
        return std::nullopt;
    return read(*key);
}

} // namespace

bool RegistryKeyExists(std::u16string_view keyPath)
{
    return ReadKeyAt(keyPath, [](const registry::RegistryKeyNode&) { return std::optional<bool>(true); })
        .has_value();
}

std::optional<RegistryValueData> ReadRegistryValue(std::u16string_view keyPath, std::u16string_view valueName)
{
    return ReadKeyAt(keyPath, [&](const registry::RegistryKeyNode& key) -> std::optional<RegistryValueData> {
        const auto* value = key.FindValue(registry::UpcaseName(valueName));
        if (!value)
            return std::nullopt;
        return RegistryValueData{value->type, value->data};
    });
}

std::optional<ULONG> ReadRegistryDword(std::u16string_view keyPath, std::u16string_view valueName)
{
    auto value = ReadRegistryValue(keyPath, valueName);
    if (!value || value->type != REG_DWORD || value->data.size() != 4)
        return std::nullopt;
    const auto& d = value->data;
    return d[0] | d[1] << 8 | d[2] << 16 | ULONG(d[3]) << 24;
}

std::optional<std::u16string> ReadRegistryString(std::u16string_view keyPath, std::u16string_view valueName)
{
    auto value = ReadRegistryValue(keyPath, valueName);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ))
        return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < value->data.size(); i += 2) {
        const auto c = static_cast<char16_t>(value->data[i] | value->data[i + 1] << 8);
        if (c == u'\0')
            break;
        text.push_back(c);
    }
    return text;
}

std::optional<std::vector<std::u16string>> RegistrySubKeyNames(std::u16string_view keyPath)
{
    return ReadKeyAt(keyPath, [](const registry::RegistryKeyNode& key) {
        std::vector<std::u16string> names;
        for (const auto& sub : key.SubKeys())
            names.push_back(sub->Name());
        return std::optional<std::vector<std::u16string>>(std::move(names));
    });
}

} // namespace standin
