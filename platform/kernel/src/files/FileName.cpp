// Taking file names apart. The names the object manager resolves to a drive are "\DosDevices\X:"
// and "\??\X:" followed by a path; "X:\..." alone is accepted as the same name. What Windows does
// with the other forms decides their statuses here:
// - another name in the object namespace ("\Device\...", "\??\LPT1") is not modelled: the link or
//   directory is not found, STATUS_OBJECT_PATH_NOT_FOUND when more path follows it, else
//   STATUS_OBJECT_NAME_NOT_FOUND ("\??\C:x" asks for a link named "C:x", which does not exist);
// - a relative name without a root directory is STATUS_OBJECT_PATH_SYNTAX_BAD;
// - the volume itself ("\??\C:") cannot be opened here: STATUS_OBJECT_NAME_INVALID;
// - empty components, "." and "..", components over 255 characters and the characters no Windows
//   name may hold (control characters, < > : " / | ? *) are STATUS_OBJECT_NAME_INVALID, so a name
//   can never climb out of its drive folder; so is an unpaired surrogate, which no host name can
//   spell.
#include "FileName.h"

#include "CharacterTables.h"
#include "HostNames.h"
#include "km/status.h"

namespace standin {
namespace {

constexpr size_t kLongestComponent = 255;

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (chars::Upcase(text[i]) != chars::Upcase(prefix[i]))
            return false;
    }
    return true;
}

bool IsLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsDriveLink(std::u16string_view link)
{
    return link.size() == 2 && IsLetter(link[0]) && link[1] == u':';
}

bool IsValidComponent(std::u16string_view component)
{
    if (component.empty() || component.size() > kLongestComponent || component == u"." || component == u"..")
        return false;
    std::string host;
    if (!hostnames::ToHost(component, &host))
        return false;
    for (char16_t c : component) {
        if (c < 0x20)
            return false;
        switch (c) {
        case u'<':
        case u'>':
        case u':':
        case u'"':
        case u'/':
        case u'|':
        case u'?':
        case u'*':
            return false;
        default:
            break;
        }
    }
    return true;
}

// The status of a name in the object namespace that is not a drive: the first component is not
// found, and more path after it makes that a missing path.
NTSTATUS NotADrive(std::u16string_view rest)
{
    const size_t separator = rest.find(u'\\');
    if (rest.empty() || separator == 0)
        return STATUS_OBJECT_NAME_INVALID;
    return separator == std::u16string_view::npos ? STATUS_OBJECT_NAME_NOT_FOUND : STATUS_OBJECT_PATH_NOT_FOUND;
}

} // namespace

std::u16string_view FileName::WithoutPrefix(std::u16string_view text)
{
    for (std::u16string_view prefix : {std::u16string_view(u"\\DosDevices\\"), std::u16string_view(u"\\??\\")}) {
        if (StartsWithIgnoringCase(text, prefix))
            return text.substr(prefix.size());
    }
    return text;
}

NTSTATUS FileName::Parse(std::u16string_view text, FileName* name)
{
    if (text.empty())
        return STATUS_OBJECT_NAME_INVALID;
    const std::u16string_view rest = WithoutPrefix(text);
    const bool prefixed = rest.size() != text.size();
    if (!prefixed && text[0] == u'\\')
        return NotADrive(text.substr(1));

    const size_t separator = rest.find(u'\\');
    const std::u16string_view link = rest.substr(0, separator);
    if (!IsDriveLink(link))
        return prefixed || (link.size() > 2 && IsLetter(link[0]) && link[1] == u':') ? NotADrive(rest)
                                                                                     : STATUS_OBJECT_PATH_SYNTAX_BAD;
    if (separator == std::u16string_view::npos)
        return STATUS_OBJECT_NAME_INVALID; // the volume

    FileName parsed;
    parsed.drive_ = static_cast<char>(chars::Upcase(link[0]));
    std::u16string_view path = rest.substr(separator + 1);
    parsed.display_ = std::u16string(1, static_cast<char16_t>(parsed.drive_)) + u":\\" + std::u16string(path);
    if (!path.empty() && path.back() == u'\\') {
        parsed.trailingSeparator_ = true;
        path.remove_suffix(1);
    }
    if (!path.empty()) {
        size_t start = 0;
        for (;;) {
            const size_t end = path.find(u'\\', start);
            const std::u16string_view component = path.substr(start, end - start);
            if (!IsValidComponent(component))
                return STATUS_OBJECT_NAME_INVALID;
            parsed.components_.emplace_back(component);
            if (end == std::u16string_view::npos)
                break;
            start = end + 1;
        }
    } else if (parsed.trailingSeparator_) {
        return STATUS_OBJECT_NAME_INVALID; // "C:\\"
    }
    *name = std::move(parsed);
    return STATUS_SUCCESS;
}

} // namespace standin
