// ZwQueryInformationFile (standard and position information) and ZwSetInformationFile (position
// and end of file). An unknown class gives STATUS_INVALID_INFO_CLASS before the length is looked
// at, a buffer shorter than the record STATUS_INFO_LENGTH_MISMATCH. The allocation size is the end
// of file rounded up to 4,096 bytes, the cluster size of a default NTFS volume, whatever the host's
// blocks are; a folder reports sizes of 0.
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
#include <cstring>
#include <limits>
#include <mutex>

namespace standin {
namespace {

constexpr LONGLONG kClusterSize = 4096;

NTSTATUS QueryStandard(FileObject& file, FILE_STANDARD_INFORMATION* out)
{
    struct stat info {};
    if (::fstat(file.Fd(), &info) != 0)
        return StatusFromHostError(errno);
    FILE_STANDARD_INFORMATION record{};
    if (!file.IsFolder()) {
        record.EndOfFile.QuadPart = info.st_size;
        const LONGLONG size = info.st_size;
        record.AllocationSize.QuadPart = size > std::numeric_limits<LONGLONG>::max() - (kClusterSize - 1)
                                             ? size // a sparse host file this large has no whole cluster above it
                                             : (size + kClusterSize - 1) / kClusterSize * kClusterSize;
    }
    record.NumberOfLinks = 1;
    record.DeletePending = file.Shared().deletePending ? TRUE : FALSE;
    record.Directory = file.IsFolder() ? TRUE : FALSE;
    std::memcpy(out, &record, sizeof record);
    return STATUS_SUCCESS;
}

NTSTATUS SetEndOfFile(FileObject& file, LONGLONG end)
{
    if (file.IsFolder() || end < 0)
        return STATUS_INVALID_PARAMETER;
    if (!(file.Access() & FILE_WRITE_DATA))
        return STATUS_ACCESS_DENIED;
    std::lock_guard<std::mutex> hold(file.Shared().endLock); // appends find the end under it
    if (::ftruncate(file.Fd(), static_cast<off_t>(end)) != 0)
        return StatusFromHostError(errno);
    return STATUS_SUCCESS;
}

// The record length of a class this stand-in answers, or 0 for any other class.
ULONG RecordLength(FILE_INFORMATION_CLASS type, bool setting)
{
    switch (type) {
    case FileStandardInformation:
        return setting ? 0 : sizeof(FILE_STANDARD_INFORMATION);
    case FilePositionInformation:
        return sizeof(FILE_POSITION_INFORMATION);
    case FileEndOfFileInformation:
        return setting ? sizeof(FILE_END_OF_FILE_INFORMATION) : 0;
    default:
        return 0;
    }
}

NTSTATUS CheckCall(const char* function, PIO_STATUS_BLOCK ioStatus, PVOID information, ULONG length,
                   FILE_INFORMATION_CLASS type, bool setting)
{
    CheckIrqlAtMost(function, PASSIVE_LEVEL);
    if (!ioStatus || !information) {
        VerifierReport("bad-argument", std::string(function) + " without an IoStatusBlock or FileInformation pointer");
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG needed = RecordLength(type, setting);
    if (needed == 0)
        return STATUS_INVALID_INFO_CLASS;
    if (length < needed)
        return STATUS_INFO_LENGTH_MISMATCH;
    return STATUS_SUCCESS;
}

} // namespace
} // namespace standin

extern "C" NTSTATUS NTAPI ZwQueryInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock,
                                                 PVOID FileInformation, ULONG Length,
                                                 FILE_INFORMATION_CLASS FileInformationClass)
{
    using namespace standin;
    NTSTATUS status =
        CheckCall("ZwQueryInformationFile", IoStatusBlock, FileInformation, Length, FileInformationClass, false);
    if (!IoStatusBlock || !FileInformation)
        return status;
    ULONG_PTR written = 0;
    FileObject* file = nullptr;
    if (NT_SUCCESS(status))
        status = FileObject::FromHandle(FileHandle, &file);
    if (NT_SUCCESS(status)) {
        FileReference hold(file);
        if (FileInformationClass == FileStandardInformation) {
            status = QueryStandard(*file, static_cast<FILE_STANDARD_INFORMATION*>(FileInformation));
            written = NT_SUCCESS(status) ? sizeof(FILE_STANDARD_INFORMATION) : 0;
        } else {
            FILE_POSITION_INFORMATION record{};
            record.CurrentByteOffset.QuadPart = file->position;
            std::memcpy(FileInformation, &record, sizeof record);
            written = sizeof record;
        }
    }
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = written;
    return status;
}

extern "C" NTSTATUS NTAPI ZwSetInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock,
                                               PVOID FileInformation, ULONG Length,
                                               FILE_INFORMATION_CLASS FileInformationClass)
{
    using namespace standin;
    NTSTATUS status =
        CheckCall("ZwSetInformationFile", IoStatusBlock, FileInformation, Length, FileInformationClass, true);
    if (!IoStatusBlock || !FileInformation)
        return status;
    FileObject* file = nullptr;
    if (NT_SUCCESS(status))
        status = FileObject::FromHandle(FileHandle, &file);
    if (NT_SUCCESS(status)) {
        FileReference hold(file);
        LARGE_INTEGER value;
        std::memcpy(&value, FileInformation, sizeof value); // both records are one LARGE_INTEGER
        if (FileInformationClass == FilePositionInformation) {
            if (value.QuadPart < 0) {
                status = STATUS_INVALID_PARAMETER;
            } else {
                std::lock_guard<std::mutex> call(file->CallLock());
                file->position = value.QuadPart;
            }
        } else {
            status = SetEndOfFile(*file, value.QuadPart);
        }
    }
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = 0;
    return status;
}
