// The object namespace: named devices and symbolic links, name resolution, and IoCreateSymbolicLink
// and IoDeleteSymbolicLink.
#include "ObjectNamespace.h"

#include "CharacterTables.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

namespace standin {
namespace {

constexpr std::u16string_view kLinkDirectory = u"\\??\\";
// A chain of links longer than this is taken for a loop.
constexpr int kMaxLinkDepth = 32;

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (chars::Upcase(text[i]) != chars::Upcase(prefix[i]))
            return false;
    return true;
}

// The longest key of `map` that is `upperPath` itself or `upperPath` up to one of its "\"; its
// length goes to *length.
template <typename Map>
typename Map::const_iterator LongestPrefix(const Map& map, const std::u16string& upperPath, size_t* length)
{
    size_t end = upperPath.size();
    for (;;) {
        auto it = map.find(upperPath.substr(0, end));
        if (it != map.end()) {
            *length = end;
            return it;
        }
        const size_t slash = end == 0 ? std::u16string::npos : upperPath.rfind(u'\\', end - 1);
        if (slash == std::u16string::npos || slash == 0)
            return map.end();
        end = slash;
    }
}

} // namespace

std::u16string UpcaseName(std::u16string_view name)
{
    std::u16string upper(name);
    for (auto& c : upper)
        c = chars::Upcase(c);
    return upper;
}

std::u16string CanonicalLinkName(std::u16string_view name)
{
    for (std::u16string_view alias :
         {std::u16string_view(u"\\DosDevices\\"), std::u16string_view(u"\\GLOBAL??\\")})
        if (StartsWithIgnoringCase(name, alias))
            return std::u16string(kLinkDirectory) + std::u16string(name.substr(alias.size()));
    return std::u16string(name);
}

ObjectNamespace& ObjectNamespace::Instance()
{
    static ObjectNamespace* names = new ObjectNamespace;
    return *names;
}

bool ObjectNamespace::AddDevice(const std::u16string& name, PDEVICE_OBJECT device, DeviceReference reference)
{
    std::lock_guard<std::mutex> hold(lock_);
    reference_ = reference;
    return devices_.emplace(UpcaseName(name), device).second;
}

void ObjectNamespace::RemoveDevice(const std::u16string& name, PDEVICE_OBJECT device)
{
    std::lock_guard<std::mutex> hold(lock_);
    auto it = devices_.find(UpcaseName(name));
    if (it != devices_.end() && it->second == device)
        devices_.erase(it);
}

bool ObjectNamespace::DeviceNameTaken(const std::u16string& name)
{
    std::lock_guard<std::mutex> hold(lock_);
    return devices_.count(UpcaseName(name)) != 0;
}

NTSTATUS ObjectNamespace::AddLink(std::u16string_view link, std::u16string_view target)
{
    const std::u16string name = CanonicalLinkName(link);
    if (!StartsWithIgnoringCase(name, kLinkDirectory) || name.size() == kLinkDirectory.size() ||
        name.back() == u'\\' || target.empty() || target.front() != u'\\')
        return STATUS_OBJECT_NAME_INVALID;
    std::lock_guard<std::mutex> hold(lock_);
    if (!links_.emplace(UpcaseName(name), std::u16string(target)).second)
        return STATUS_OBJECT_NAME_COLLISION;
    return STATUS_SUCCESS;
}

NTSTATUS ObjectNamespace::RemoveLink(std::u16string_view link)
{
    std::lock_guard<std::mutex> hold(lock_);
    return links_.erase(UpcaseName(CanonicalLinkName(link))) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

ObjectNamespace::Resolution ObjectNamespace::Resolve(std::u16string_view path)
{
    if (path.empty() || path.front() != u'\\')
        return {STATUS_OBJECT_NAME_INVALID, nullptr, {}};
    std::u16string current = CanonicalLinkName(path);
    std::unique_lock<std::mutex> hold(lock_);
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        const std::u16string upper = UpcaseName(current);
        size_t length = 0;
        auto device = LongestPrefix(devices_, upper, &length);
        if (device != devices_.end()) {
            PDEVICE_OBJECT found = device->second;
            const DeviceReference reference = reference_;
            std::u16string remaining = current.substr(length);
            hold.unlock();
            // The device may be going away this moment; only a live one is an answer.
            DeviceObjectRecord* record = reference(found);
            if (!record)
                return {STATUS_OBJECT_NAME_NOT_FOUND, nullptr, {}};
            return {STATUS_SUCCESS, record, std::move(remaining)};
        }
        auto link = LongestPrefix(links_, upper, &length);
        if (link == links_.end())
            return {STATUS_OBJECT_NAME_NOT_FOUND, nullptr, {}};
        current = CanonicalLinkName(link->second + current.substr(length));
    }
    return {STATUS_OBJECT_NAME_NOT_FOUND, nullptr, {}};
}

} // namespace standin

extern "C" NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName)
{
    standin::CheckIrqlAtMost("IoCreateSymbolicLink", PASSIVE_LEVEL);
    if (!SymbolicLinkName || !DeviceName || !SymbolicLinkName->Buffer || !DeviceName->Buffer)
        return STATUS_INVALID_PARAMETER;
    return standin::ObjectNamespace::Instance().AddLink(
        std::u16string_view(SymbolicLinkName->Buffer, SymbolicLinkName->Length / sizeof(WCHAR)),
        std::u16string_view(DeviceName->Buffer, DeviceName->Length / sizeof(WCHAR)));
}

extern "C" NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName)
{
    standin::CheckIrqlAtMost("IoDeleteSymbolicLink", PASSIVE_LEVEL);
    if (!SymbolicLinkName || !SymbolicLinkName->Buffer)
        return STATUS_INVALID_PARAMETER;
    return standin::ObjectNamespace::Instance().RemoveLink(
        std::u16string_view(SymbolicLinkName->Buffer, SymbolicLinkName->Length / sizeof(WCHAR)));
}
