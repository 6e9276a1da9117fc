// Failure injection for the file functions of km/file.h: opens that fail, writes that fail after a
// number of bytes or stall until released, and the record of the failures that happened. Stand-in
// facilities, not Windows functions: drivers never see them.
#pragma once
#include "km/types.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

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
