// Registry paths and file names of the machine.
#include "MachinePaths.h"

#include "Text.h"
#include "km/status.h"
#include "standin/drives.h"

namespace platform {

std::u16string ServiceKeyPath(std::u16string_view service)
{
    std::u16string path(kServicesKey);
    path += u'\\';
    path += service;
    return path;
}

std::u16string ExpandSystemRoot(std::u16string_view text)
{
    static constexpr std::u16string_view kVariables[] = {u"%SystemRoot%", u"%windir%"};
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        for (auto variable : kVariables) {
            if (StartsWithNoCase(text.substr(i), variable)) {
                out += kSystemRoot;
                i += variable.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out.push_back(text[i++]);
    }
    return out;
}

std::u16string DriverFileName(std::u16string_view imagePath, std::u16string_view service)
{
    std::u16string name = ExpandSystemRoot(imagePath);
    if (name.empty()) {
        name = u"System32\\drivers\\";
        name += service;
        name += u".sys";
    }
    static constexpr std::u16string_view kRootPrefix = u"\\SystemRoot\\";
    if (StartsWithNoCase(name, kRootPrefix))
        return std::u16string(kSystemRoot) + u"\\" + name.substr(kRootPrefix.size());
    const bool hasDrive = name.size() >= 2 && name[1] == u':';
    if (name.front() != u'\\' && !hasDrive)
        return std::u16string(kSystemRoot) + u"\\" + name;
    return name;
}

NTSTATUS HostFileOf(std::u16string_view fileName, std::filesystem::path* host)
{
    std::string hostPath;
    const NTSTATUS status = standin::ResolveFileName(fileName, &hostPath);
    if (!NT_SUCCESS(status))
        return status;
    std::error_code error;
    if (std::filesystem::is_directory(hostPath, error))
        return STATUS_FILE_IS_A_DIRECTORY;
    *host = hostPath;
    return STATUS_SUCCESS;
}

} // namespace platform
