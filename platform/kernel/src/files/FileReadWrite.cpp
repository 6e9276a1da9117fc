// ZwReadFile and ZwWriteFile. Every call finishes before it returns: Event and ApcRoutine must be
// NULL. Where a call transfers follows Windows: an explicit offset, the file pointer of a
// synchronous handle (ByteOffset NULL or FILE_USE_FILE_POINTER_POSITION), or the end of the file
// (FILE_WRITE_TO_END_OF_FILE, and every write through a handle that may append but not write).
// A synchronous handle's pointer moves past the bytes transferred, whichever way the offset came.
#include "FileFaults.h"
#include "FileObject.h"
#include "HostErrors.h"
#include "Reports.h"
#include "km/file.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <mutex>

namespace standin {
namespace {

enum class Direction { Read, Write };

// Where the transfer starts; *atEnd when it goes at the end of the file (found under the file's
// end lock, so that appends through several handles never overlap).
NTSTATUS StartOf(FileObject& file, PLARGE_INTEGER byteOffset, Direction direction, LONGLONG* offset, bool* atEnd)
{
    *atEnd = false;
    const bool appendOnly = (file.Access() & FILE_APPEND_DATA) && !(file.Access() & FILE_WRITE_DATA);
    if (direction == Direction::Write && appendOnly) {
        *atEnd = true;
        return STATUS_SUCCESS;
    }
    bool usePointer = byteOffset == nullptr;
    if (byteOffset && byteOffset->u.HighPart == -1) {
        if (byteOffset->u.LowPart == FILE_USE_FILE_POINTER_POSITION) {
            usePointer = true;
        } else if (direction == Direction::Write && byteOffset->u.LowPart == FILE_WRITE_TO_END_OF_FILE) {
            *atEnd = true;
            return STATUS_SUCCESS;
        } else {
            return STATUS_INVALID_PARAMETER;
        }
    } else if (byteOffset && byteOffset->QuadPart < 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (usePointer) {
        if (!file.IsSynchronous())
            return STATUS_INVALID_PARAMETER; // an asynchronous handle has no pointer to use
        *offset = file.position;
    } else {
        *offset = byteOffset->QuadPart;
    }
    return STATUS_SUCCESS;
}

bool FitsAfter(LONGLONG offset, ULONG length)
{
    return offset <= std::numeric_limits<off_t>::max() - static_cast<LONGLONG>(length);
}

NTSTATUS Read(FileObject& file, PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset, ULONG_PTR* transferred)
{
    if (file.IsFolder())
        return STATUS_INVALID_DEVICE_REQUEST;
    if (!(file.Access() & FILE_READ_DATA))
        return STATUS_ACCESS_DENIED;
    std::unique_lock<std::mutex> call(file.CallLock(), std::defer_lock);
    if (file.IsSynchronous())
        call.lock();
    LONGLONG offset = 0;
    bool atEnd = false;
    NTSTATUS status = StartOf(file, byteOffset, Direction::Read, &offset, &atEnd);
    if (!NT_SUCCESS(status))
        return status;
    if (length == 0)
        return STATUS_SUCCESS;
    if (!FitsAfter(offset, length))
        return STATUS_INVALID_PARAMETER;

    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(file.Fd(), static_cast<char*>(buffer) + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            status = StatusFromHostError(errno);
            break;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (NT_SUCCESS(status) && done == 0)
        status = STATUS_END_OF_FILE;
    if (file.IsSynchronous())
        file.position = offset + static_cast<LONGLONG>(done);
    *transferred = done;
    return status;
}

NTSTATUS Write(FileObject& file, const void* buffer, ULONG length, PLARGE_INTEGER byteOffset,
               ULONG_PTR* transferred)
{
    if (file.IsFolder())
        return STATUS_INVALID_DEVICE_REQUEST;
    if (!(file.Access() & (FILE_WRITE_DATA | FILE_APPEND_DATA)))
        return STATUS_ACCESS_DENIED;
    std::unique_lock<std::mutex> call(file.CallLock(), std::defer_lock);
    if (file.IsSynchronous())
        call.lock();
    LONGLONG offset = 0;
    bool atEnd = false;
    NTSTATUS status = StartOf(file, byteOffset, Direction::Write, &offset, &atEnd);
    if (!NT_SUCCESS(status))
        return status;

    auto& faults = FileFaults::Instance();
    faults.WaitWhileStalled(file.Name());
    if (length == 0)
        return STATUS_SUCCESS;
    std::unique_lock<std::mutex> end(file.Shared().endLock, std::defer_lock);
    if (atEnd) {
        end.lock();
        struct stat info {};
        if (::fstat(file.Fd(), &info) != 0)
            return StatusFromHostError(errno);
        offset = info.st_size;
    }
    if (!FitsAfter(offset, length))
        return STATUS_INVALID_PARAMETER;
    NTSTATUS injected = STATUS_SUCCESS;
    const ULONG allowed = faults.AllowedWrite(file.Name(), length, &injected);

    size_t done = 0;
    while (done < allowed) {
        const ssize_t n = ::pwrite(file.Fd(), static_cast<const char*>(buffer) + done, allowed - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            status = n < 0 ? StatusFromHostError(errno) : STATUS_DISK_FULL;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (NT_SUCCESS(status) && allowed < length)
        status = injected;
    if (file.IsSynchronous())
        file.position = offset + static_cast<LONGLONG>(done);
    *transferred = done;
    return status;
}

// The checks both calls make before touching the file.
NTSTATUS CheckCall(const char* function, HANDLE event, PIO_APC_ROUTINE apcRoutine, PIO_STATUS_BLOCK ioStatus,
                   PVOID buffer, ULONG length)
{
    CheckIrqlAtMost(function, PASSIVE_LEVEL);
    if (!ioStatus || (!buffer && length)) {
        VerifierReport("bad-argument", std::string(function) + " without an IoStatusBlock or Buffer pointer");
        return STATUS_INVALID_PARAMETER;
    }
    if (event || apcRoutine)
        return STATUS_INVALID_PARAMETER; // the stand-in's I/O is synchronous only
    return STATUS_SUCCESS;
}

} // namespace
} // namespace standin

extern "C" NTSTATUS NTAPI ZwReadFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                                     PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                                     PLARGE_INTEGER ByteOffset, PULONG Key)
{
    using namespace standin;
    (void)ApcContext;
    (void)Key; // byte-range locks are not modelled
    NTSTATUS status = CheckCall("ZwReadFile", Event, ApcRoutine, IoStatusBlock, Buffer, Length);
    if (!IoStatusBlock)
        return status;
    ULONG_PTR transferred = 0;
    FileObject* file = nullptr;
    if (NT_SUCCESS(status))
        status = FileObject::FromHandle(FileHandle, &file);
    if (NT_SUCCESS(status)) {
        FileReference hold(file);
        status = Read(*file, Buffer, Length, ByteOffset, &transferred);
    }
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = transferred;
    return status;
}

extern "C" NTSTATUS NTAPI ZwWriteFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine, PVOID ApcContext,
                                      PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer, ULONG Length,
                                      PLARGE_INTEGER ByteOffset, PULONG Key)
{
    using namespace standin;
    (void)ApcContext;
    (void)Key;
    NTSTATUS status = CheckCall("ZwWriteFile", Event, ApcRoutine, IoStatusBlock, Buffer, Length);
    if (!IoStatusBlock)
        return status;
    ULONG_PTR transferred = 0;
    FileObject* file = nullptr;
    if (NT_SUCCESS(status))
        status = FileObject::FromHandle(FileHandle, &file);
    if (NT_SUCCESS(status)) {
        FileReference hold(file);
        status = Write(*file, Buffer, Length, ByteOffset, &transferred);
    }
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = transferred;
    return status;
}
