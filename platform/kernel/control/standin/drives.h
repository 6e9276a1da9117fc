// The machine's drives as the file functions of km/file.h see them: a host folder is the machine
// root, and each drive letter is a folder beneath it (`C:` is `<root>/C`). This header holds the
// stand-in's own side of that: setting the root, finding where a file name lives on the host, and
// the failure injection that tests use to make opens fail and writes fail or stall. None of these
// are Windows functions.
#pragma once
#include "km/types.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

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

// Failure injection. A pattern is a file name in any of the three forms; `*` matches any run of
// characters (backslashes included) and `?` one character; matching ignores case. Each rule stays
// until it is used up or cleared.
constexpr unsigned kEveryOpen = 0;
// The next `count` opens (ZwCreateFile) of a matching name fail with `status` before the file is
// touched; kEveryOpen fails them all.
void InjectOpenFailure(std::u16string_view pattern, NTSTATUS status, unsigned count = 1);
// Writes to matching files succeed for `afterBytes` more bytes in all; the write that reaches the
// limit writes the bytes below it and fails with `status` (Information = the bytes written), and
// every later write fails with nothing written.
void InjectWriteFailure(std::u16string_view pattern, NTSTATUS status, ULONG64 afterBytes);
// Writes to matching files block, before writing anything, until ReleaseStalledWrites.
void StallWrites(std::u16string_view pattern);
// Withdraws every stall rule and lets the blocked writes go on.
void ReleaseStalledWrites();
// Writes blocked by a stall rule right now.
size_t StalledWriteCount();
// Waits in real time until at least `count` writes are blocked; false when `limit` passed first.
bool WaitForStalledWrites(size_t count, std::chrono::milliseconds limit);
// Withdraws every rule (releasing stalled writes) and forgets the records.
void ClearFileFailures();

enum class FileFailureKind { Open, Write, Stall };
// One injected failure that happened: an open refused, a write failed, a write stalled (status 0).
// `name` is the file's name as opened, without its "\DosDevices\" or "\??\" prefix.
struct InjectedFileFailure {
    FileFailureKind kind;
    std::u16string name;
    NTSTATUS status;
};
// The records since the last call, oldest first; the list is emptied.
std::vector<InjectedFileFailure> TakeInjectedFileFailures();

} // namespace standin
