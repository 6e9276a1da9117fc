// ZwCreateFile on the machine's drives: argument checks in the order and with the statuses of
// Windows' I/O manager, the six dispositions, folders, share access, delete-on-close and the
// injected open failures. The work runs under the namespace lock, so two opens of names that differ
// only in case can never create two files.
//
// Choices where the host differs from an NT volume:
// - OBJ_CASE_INSENSITIVE changes nothing: names are always found ignoring case.
// - FileAttributes are checked but not kept (the host has no such attributes); AllocationSize is
//   not reserved.
// - Extended attributes are not supported: an EaBuffer gives STATUS_EAS_NOT_SUPPORTED.
// - FILE_NO_INTERMEDIATE_BUFFERING is accepted without the sector alignment Windows demands of
//   such a handle's offsets and lengths.
#include "DrivePaths.h"
#include "FileFaults.h"
#include "FileName.h"
#include "FileObject.h"
#include "HostErrors.h"
#include "OpenFileTable.h"
#include "Reports.h"
#include "km/file.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/object.h"
#include "standin/verifier.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace standin {
namespace {

constexpr ULONG kValidCreateOptions = 0x00FFFFFF;
constexpr ULONG kValidFileAttributes = 0x00007FA7;
constexpr ULONG kValidShareAccess = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONG kSynchronousOptions = FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT;
constexpr ACCESS_MASK kGenericRights = GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kNewFolderMode = 0777;

ACCESS_MASK MapGenericRights(ACCESS_MASK access)
{
    if (access & GENERIC_READ)
        access |= FILE_GENERIC_READ;
    if (access & GENERIC_WRITE)
        access |= FILE_GENERIC_WRITE;
    if (access & GENERIC_EXECUTE)
        access |= FILE_GENERIC_EXECUTE;
    if (access & GENERIC_ALL)
        access |= FILE_ALL_ACCESS;
    return access & ~kGenericRights;
}

struct CreateRequest {
    ACCESS_MASK requested; // as the caller passed it
    ACCESS_MASK access;    // after generic mapping
    ULONG attributes;      // OBJ_ flags
    ULONG share;
    ULONG disposition;
    ULONG options;
    bool Wants(ULONG option) const { return (options & option) != 0; }
};

// The checks that need no name, with the statuses the I/O manager gives.
NTSTATUS CheckRequest(const CreateRequest& r, PVOID eaBuffer, ULONG eaLength, ULONG fileAttributes)
{
    if (r.disposition > FILE_OVERWRITE_IF || (r.options & ~kValidCreateOptions) ||
        (fileAttributes & ~kValidFileAttributes) || (r.share & ~kValidShareAccess))
        return STATUS_INVALID_PARAMETER;
    if (r.Wants(FILE_DIRECTORY_FILE) && r.Wants(FILE_NON_DIRECTORY_FILE))
        return STATUS_INVALID_PARAMETER;
    if ((r.options & kSynchronousOptions) == kSynchronousOptions)
        return STATUS_INVALID_PARAMETER;
    if ((r.options & kSynchronousOptions) && !(r.access & SYNCHRONIZE))
        return STATUS_INVALID_PARAMETER;
    if (r.Wants(FILE_DELETE_ON_CLOSE) && !(r.access & DELETE))
        return STATUS_INVALID_PARAMETER;
    if (r.Wants(FILE_NO_INTERMEDIATE_BUFFERING) && (r.requested & FILE_APPEND_DATA))
        return STATUS_INVALID_PARAMETER;
    if (r.Wants(FILE_DIRECTORY_FILE) && r.disposition != FILE_CREATE && r.disposition != FILE_OPEN &&
        r.disposition != FILE_OPEN_IF)
        return STATUS_INVALID_PARAMETER;
    if (eaBuffer || eaLength)
        return STATUS_EAS_NOT_SUPPORTED;
    return STATUS_SUCCESS;
}

// The name out of the attributes, with the statuses of a malformed record or counted string.
NTSTATUS NameOf(POBJECT_ATTRIBUTES attributes, std::u16string_view* name)
{
    if (!attributes || attributes->Length != sizeof(OBJECT_ATTRIBUTES))
        return STATUS_INVALID_PARAMETER;
    if (attributes->RootDirectory)
        return STATUS_INVALID_PARAMETER; // opens relative to a folder handle are not modelled
    const UNICODE_STRING* text = attributes->ObjectName;
    if (!text || text->Length % sizeof(WCHAR) || text->Length > text->MaximumLength ||
        (text->Length && !text->Buffer))
        return STATUS_OBJECT_NAME_INVALID;
    *name = std::u16string_view(text->Buffer, text->Length / sizeof(WCHAR));
    return STATUS_SUCCESS;
}

int HostOpenFlags(ACCESS_MASK access, bool folder)
{
    constexpr int kAlways = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (folder)
        return O_RDONLY | O_DIRECTORY | kAlways;
    const bool reads = access & (FILE_READ_DATA | FILE_EXECUTE);
    const bool writes = access & (FILE_WRITE_DATA | FILE_APPEND_DATA);
    if (reads && writes)
        return O_RDWR | kAlways;
    if (writes)
        return O_WRONLY | kAlways;
    if (reads)
        return O_RDONLY | kAlways;
    return O_PATH | kAlways; // attributes or synchronisation only: no data is ever moved
}

// Opens the located entry (or creates it when `create`), checking that it is what the location
// said: a regular file or a folder, never a link, pipe or device. *created tells whether this call
// made it; an entry that appeared meanwhile is opened instead when `mayExist`.
NTSTATUS OpenEntry(const HostLocation& at, const CreateRequest& r, bool create, bool mayExist, bool* created,
                   UniqueFd* fd, struct stat* info)
{
    const bool wantFolder = create ? r.Wants(FILE_DIRECTORY_FILE) : at.isFolder;
    *created = false;
    if (create) {
        if (wantFolder) {
            if (::mkdirat(at.folder.Get(), at.entry.c_str(), kNewFolderMode) == 0)
                *created = true;
            else if (errno != EEXIST || !mayExist)
                return StatusFromHostError(errno);
        } else {
            const int made = ::openat(at.folder.Get(), at.entry.c_str(),
                                      O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kNewFileMode);
            if (made >= 0) {
                ::close(made);
                *created = true;
            } else if (errno != EEXIST || !mayExist) {
                return StatusFromHostError(errno);
            }
        }
    }
    fd->Reset(::openat(at.folder.Get(), at.entry.c_str(), HostOpenFlags(r.access, wantFolder)));
    if (!fd->Valid()) {
        const int error = errno;
        if (error == ENOTDIR && wantFolder)
            return STATUS_NOT_A_DIRECTORY;
        return StatusFromHostError(error);
    }
    if (::fstat(fd->Get(), info) != 0)
        return StatusFromHostError(errno);
    if (S_ISDIR(info->st_mode) != wantFolder || (!S_ISDIR(info->st_mode) && !S_ISREG(info->st_mode)))
        return STATUS_ACCESS_DENIED; // the entry changed under us
    if (!(HostOpenFlags(r.access, wantFolder) & O_PATH))
        ::fcntl(fd->Get(), F_SETFL, ::fcntl(fd->Get(), F_GETFL) & ~O_NONBLOCK);
    return STATUS_SUCCESS;
}

// Cuts an existing file to nothing, through a descriptor of its own when the handle's does not
// write.
NTSTATUS Truncate(const HostLocation& at, int fd, ACCESS_MASK access, const struct stat& info)
{
    if (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) {
        if (::ftruncate(fd, 0) != 0)
            return StatusFromHostError(errno);
        return STATUS_SUCCESS;
    }
    UniqueFd writer(::openat(at.folder.Get(), at.entry.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!writer.Valid())
        return StatusFromHostError(errno);
    struct stat now {};
    if (::fstat(writer.Get(), &now) != 0 || now.st_dev != info.st_dev || now.st_ino != info.st_ino)
        return STATUS_ACCESS_DENIED;
    if (::ftruncate(writer.Get(), 0) != 0)
        return StatusFromHostError(errno);
    return STATUS_SUCCESS;
}

// What the disposition does with an entry that exists (or not): the Information value, or a
// failure status.
NTSTATUS Decide(const CreateRequest& r, const HostLocation& at, const FileName& name, bool* create,
                bool* truncate, ULONG_PTR* information)
{
    *create = false;
    *truncate = false;
    if (!at.exists) {
        if (name.NamesFolderOnly() && !r.Wants(FILE_DIRECTORY_FILE))
            return STATUS_OBJECT_NAME_INVALID;
        if (r.disposition == FILE_OPEN || r.disposition == FILE_OVERWRITE) {
            *information = FILE_DOES_NOT_EXIST;
            return STATUS_OBJECT_NAME_NOT_FOUND;
        }
        *create = true;
        *information = FILE_CREATED;
        return STATUS_SUCCESS;
    }
    if (r.disposition == FILE_CREATE) {
        *information = FILE_EXISTS;
        return STATUS_OBJECT_NAME_COLLISION;
    }
    if (at.isFolder) {
        if (r.Wants(FILE_NON_DIRECTORY_FILE))
            return STATUS_FILE_IS_A_DIRECTORY;
        if (r.disposition == FILE_SUPERSEDE || r.disposition == FILE_OVERWRITE || r.disposition == FILE_OVERWRITE_IF)
            return STATUS_FILE_IS_A_DIRECTORY;
        if (at.isDriveFolder && r.Wants(FILE_DELETE_ON_CLOSE))
            return STATUS_CANNOT_DELETE;
        *information = FILE_OPENED;
        return STATUS_SUCCESS;
    }
    if (r.Wants(FILE_DIRECTORY_FILE))
        return STATUS_NOT_A_DIRECTORY;
    if (name.NamesFolderOnly())
        return STATUS_OBJECT_NAME_INVALID;
    switch (r.disposition) {
    case FILE_SUPERSEDE:
        *truncate = true;
        *information = FILE_SUPERSEDED;
        break;
    case FILE_OVERWRITE:
    case FILE_OVERWRITE_IF:
        *truncate = true;
        *information = FILE_OVERWRITTEN;
        break;
    default:
        *information = FILE_OPENED;
        break;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CreateFile(const CreateRequest& r, const FileName& name, PHANDLE handle, ULONG_PTR* information)
{
    auto& table = OpenFileTable::Instance();
    std::lock_guard<std::mutex> hold(table.NamespaceLock());
    HostLocation at;
    NTSTATUS status = DrivePaths::Instance().Locate(name, &at);
    if (!NT_SUCCESS(status))
        return status;
    bool create = false, truncate = false;
    status = Decide(r, at, name, &create, &truncate, information);
    if (!NT_SUCCESS(status))
        return status;

    UniqueFd fd;
    struct stat info {};
    bool created = false;
    const bool mayExist = r.disposition != FILE_CREATE;
    status = OpenEntry(at, r, create, mayExist, &created, &fd, &info);
    if (!NT_SUCCESS(status)) {
        *information = 0;
        return status;
    }
    if (create && !created) {
        // Someone outside the stand-in made the entry between the lookup and the creation: decide
        // again on what is there now.
        at.exists = true;
        at.isFolder = S_ISDIR(info.st_mode);
        status = Decide(r, at, name, &create, &truncate, information);
        if (!NT_SUCCESS(status))
            return status;
    }

    // Overwriting implies writing and superseding implies deleting: opens that do not share those
    // keep the file as it is.
    ACCESS_MASK implied = 0;
    if (truncate)
        implied = r.disposition == FILE_SUPERSEDE ? (FILE_WRITE_DATA | DELETE) : FILE_WRITE_DATA;
    std::shared_ptr<SharedFile> shared;
    uint64_t openId = 0;
    status = table.Admit(info, at.hostPath, r.access, implied, r.share, r.Wants(FILE_DELETE_ON_CLOSE), &shared,
                         &openId);
    if (!NT_SUCCESS(status)) {
        *information = 0;
        return status;
    }
    if (truncate) {
        status = Truncate(at, fd.Get(), r.access, info);
        if (!NT_SUCCESS(status)) {
            table.Withdraw(shared, openId);
            *information = 0;
            return status;
        }
    }

    auto* file = new FileObject(FileObject::Setup{fd.Release(), shared, openId, name.Display(), r.access, r.options,
                                                  S_ISDIR(info.st_mode)});
    InsertObject(file);
    status = CreateHandle(file, r.access, r.attributes, handle);
    if (!NT_SUCCESS(status)) {
        table.Withdraw(shared, openId);
        *information = 0;
    }
    DereferenceObject(file); // the handle holds the object now, or nothing does
    return status;
}

} // namespace
} // namespace standin

extern "C" NTSTATUS NTAPI ZwCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes,
                                       PIO_STATUS_BLOCK IoStatusBlock, PLARGE_INTEGER AllocationSize,
                                       ULONG FileAttributes, ULONG ShareAccess, ULONG CreateDisposition,
                                       ULONG CreateOptions, PVOID EaBuffer, ULONG EaLength)
{
    using namespace standin;
    (void)AllocationSize;
    CheckIrqlAtMost("ZwCreateFile", PASSIVE_LEVEL);
    if (!FileHandle || !IoStatusBlock) {
        VerifierReport("bad-argument", "ZwCreateFile without a FileHandle or IoStatusBlock pointer");
        return STATUS_INVALID_PARAMETER;
    }
    *FileHandle = nullptr;
    const CreateRequest request{DesiredAccess,
                                MapGenericRights(DesiredAccess),
                                ObjectAttributes ? ObjectAttributes->Attributes : 0,
                                ShareAccess,
                                CreateDisposition,
                                CreateOptions};
    ULONG_PTR information = 0;
    std::u16string_view text;
    FileName name;
    NTSTATUS status = CheckRequest(request, EaBuffer, EaLength, FileAttributes);
    if (NT_SUCCESS(status))
        status = NameOf(ObjectAttributes, &text);
    if (NT_SUCCESS(status))
        status = FileName::Parse(text, &name);
    if (NT_SUCCESS(status))
        status = FileFaults::Instance().OpenFailure(name.Display());
    if (NT_SUCCESS(status))
        status = CreateFile(request, name, FileHandle, &information);
    IoStatusBlock->Status = status;
    IoStatusBlock->Information = information;
    return status;
}
