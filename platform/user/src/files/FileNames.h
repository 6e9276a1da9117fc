// Win32 file names as the object namespace's names: the path forms CreateFile takes, the current
// directory relative names are taken from, and the creation dispositions.
#pragma once
#include "um/windef.h"

#include <string>
#include <string_view>

namespace user {

struct ResolvedName {
    enum Kind {
        File,    // a file on a drive: ntName is "\??\C:\dir\name"
        Device,  // a device or interface: ntName is "\??\<link>..."
        Network, // "\\server\share\...": not served
        Invalid, // empty, or a drive-relative name that cannot be made whole
    };
    Kind kind = Invalid;
    std::u16string ntName;
};

// "\\?\C:\x" passes as it is; "\\.\X", "\\?\X" and "\??\X" name devices unless X starts with a
// drive; every other name is made whole against the current directory: '/' reads as '\', empty,
// "." and ".." steps are taken (".." never climbs above the drive's root).
ResolvedName ResolveWin32Name(std::u16string_view name);

// The current directory, "C:\" or "C:\dir" (no backslash at the end but the root's).
std::u16string CurrentDirectory();
void SetCurrentDirectoryName(std::u16string_view fullName);

// The create disposition of a Win32 creation disposition; false for an unknown one.
bool NtDispositionOf(DWORD creationDisposition, ULONG* disposition);

} // namespace user
