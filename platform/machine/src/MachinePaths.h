// Where things live on the machine: the registry paths the plug and play manager and the service
// control manager use, the Windows directory, and the turning of a service's "ImagePath" or an
// "EventMessageFile" entry into a file name of the machine's drives and then into a host path.
#pragma once
#include "km/types.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::u16string_view kSystemRoot = u"C:\\Windows";
inline constexpr std::u16string_view kServicesKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services";
inline constexpr std::u16string_view kEnumKey = u"\\Registry\\Machine\\System\\CurrentControlSet\\Enum";
inline constexpr std::u16string_view kClassKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class";
inline constexpr std::u16string_view kEventLogSourcesKey =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\EventLog\\System";

// The service's key: kServicesKey + "\" + service.
std::u16string ServiceKeyPath(std::u16string_view service);

// "%SystemRoot%" and "%windir%" (any case) replaced by the Windows directory; other text unchanged.
std::u16string ExpandSystemRoot(std::u16string_view text);

// The file a service's "ImagePath" names, as the service control manager reads it:
//   "\SystemRoot\x" and "%SystemRoot%\x"           -> "C:\Windows\x"
//   "System32\drivers\x.sys" (no drive, no root)   -> "C:\Windows\System32\drivers\x.sys"
//   "\??\C:\x", "\DosDevices\C:\x", "C:\x"         -> unchanged
// An empty ImagePath stands for "System32\drivers\<service>.sys".
std::u16string DriverFileName(std::u16string_view imagePath, std::u16string_view service);

// The host file behind a file name of the machine's drives; STATUS_SUCCESS only when it exists.
NTSTATUS HostFileOf(std::u16string_view fileName, std::filesystem::path* host);

} // namespace platform
