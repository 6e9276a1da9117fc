// The machine's drives as the file functions of km/file.h see them: a host folder is the machine
// root, and each drive letter is a folder beneath it (`C:` is `<root>/C`). This header holds the
// stand-in's own side of that: setting the root and finding where a file name lives on the host
// (standin/filefaults.h holds the failure injection). None of these are Windows functions.
#pragma once
#include "km/types.h"

#include <string>
#include <string_view>

namespace standin {

// The folder that holds the drive folders. Empty (the start) means no machine: every file open
// then fails with STATUS_OBJECT_PATH_NOT_FOUND and a breach. The root is read at each open, so a
// new root applies to later opens only.
void SetMachineRoot(const std::string& hostFolder);
std::string MachineRoot();

// The host folder of a drive letter: `<root>/C`, or `<root>/c` when only the lower-case one
// exists. Empty when there is no root or `letter` is not a letter.
std::string DriveFolder(char letter);

// The host path that a file name stands for ("\DosDevices\C:\t\a.bin", "\??\C:\t\a.bin" or
// "C:\t\a.bin"), resolved as ZwCreateFile resolves it: each folder on the way and the file itself
// are found case-insensitively. STATUS_SUCCESS when the file exists; STATUS_OBJECT_NAME_NOT_FOUND
// when only the file is missing, with *hostPath where it would be created; otherwise the open's
// status (bad name, missing folder, unknown drive, a link on the way) and *hostPath empty.
NTSTATUS ResolveFileName(std::u16string_view name, std::string* hostPath);

} // namespace standin
