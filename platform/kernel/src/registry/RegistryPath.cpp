// Key names: upper-casing for comparison and the split of paths into names.
#include "RegistryPath.h"

#include "CharacterTables.h"
#include "km/status.h"

namespace standin::registry {

std::u16string UpcaseName(std::u16string_view name)
{
    std::u16string upcased(name);
    for (auto& c : upcased)
        c = chars::Upcase(c);
    return upcased;
}

NTSTATUS SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* names)
{
    names->clear();
    if (path.empty())
        return STATUS_SUCCESS;
    size_t start = 0;
    while (true) {
        const size_t end = path.find(u'\\', start);
        const std::u16string_view name = path.substr(start, end == path.npos ? path.npos : end - start);
        if (name.empty() || name.size() > kMaxKeyNameChars)
            return STATUS_OBJECT_NAME_INVALID;
        names->push_back(name);
        if (end == path.npos)
            return STATUS_SUCCESS;
        start = end + 1;
    }
}

} // namespace standin::registry
