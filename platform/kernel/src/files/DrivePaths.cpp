// The machine's drives on the host: the root folder, the drive-letter folders beneath it, and the
// lookup of a name's folders and entry. Every step opens the next folder relative to the one before
// with O_NOFOLLOW, so a link anywhere below the root (or one slipped in while a name is resolved)
// can never lead outside it. When a folder holds several entries that differ only in case, the
// exact spelling wins, else the first in byte order.
#include "DrivePaths.h"

#include "HostErrors.h"
#include "HostNames.h"
#include "km/status.h"
#include "standin/drives.h"
#include "standin/verifier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace standin {
namespace {

struct FoundEntry {
    std::string host;
    struct stat info {};
};

// The entry of `folder` whose name equals `name` ignoring case: STATUS_SUCCESS,
// STATUS_OBJECT_NAME_NOT_FOUND, or the host error's status.
NTSTATUS FindEntry(int folder, std::u16string_view name, FoundEntry* found)
{
    std::string exact;
    hostnames::ToHost(name, &exact); // names were checked to have a host spelling when parsed
    if (::fstatat(folder, exact.c_str(), &found->info, AT_SYMLINK_NOFOLLOW) == 0) {
        found->host = exact;
        return STATUS_SUCCESS;
    }
    if (errno != ENOENT)
        return StatusFromHostError(errno);

    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return StatusFromHostError(errno);
    DIR* dir = ::fdopendir(listing);
    if (!dir) {
        const int error = errno;
        ::close(listing);
        return StatusFromHostError(error);
    }
    std::string best;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view host = entry->d_name;
        if (host == "." || host == "..")
            continue;
        if (hostnames::SameIgnoringCase(hostnames::FromHost(host), name) && (best.empty() || host < best))
            best = host;
    }
    ::closedir(dir);
    if (best.empty())
        return STATUS_OBJECT_NAME_NOT_FOUND;
    if (::fstatat(folder, best.c_str(), &found->info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? STATUS_OBJECT_NAME_NOT_FOUND : StatusFromHostError(errno);
    found->host = std::move(best);
    return STATUS_SUCCESS;
}

// Opens a folder below `parent` without following a link.
NTSTATUS OpenFolder(int parent, const std::string& host, UniqueFd* folder)
{
    const int fd = ::openat(parent, host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return STATUS_OBJECT_PATH_NOT_FOUND;
        return StatusFromHostError(error);
    }
    folder->Reset(fd);
    return STATUS_SUCCESS;
}

} // namespace

DrivePaths& DrivePaths::Instance()
{
    static DrivePaths* paths = new DrivePaths; // never destroyed: threads may open files at exit
    return *paths;
}

void DrivePaths::SetRoot(const std::string& hostFolder)
{
    std::string root = hostFolder;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::lock_guard<std::mutex> hold(lock_);
    root_ = std::move(root);
}

std::string DrivePaths::Root()
{
    std::lock_guard<std::mutex> hold(lock_);
    return root_;
}

std::string DrivePaths::DriveFolder(char letter)
{
    const std::string root = Root();
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (root.empty() || !isLetter)
        return {};
    const char upper = static_cast<char>(letter & ~0x20);
    const char lower = static_cast<char>(letter | 0x20);
    struct stat info {};
    const std::string upperPath = root + "/" + upper;
    const std::string lowerPath = root + "/" + lower;
    if (::lstat(upperPath.c_str(), &info) != 0 && ::lstat(lowerPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return lowerPath;
    return upperPath;
}

NTSTATUS DrivePaths::Locate(const FileName& name, HostLocation* location)
{
    const std::string root = Root();
    if (root.empty()) {
        VerifierReport("machine-root",
                       "file " + hostnames::Printable(name.Display()) + " opened while no machine root is set");
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }
    UniqueFd folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.Valid()) {
        VerifierReport("machine-root", "machine root " + root + " cannot be opened: " + std::strerror(errno));
        return STATUS_OBJECT_PATH_NOT_FOUND;
    }

    // The drive folder: the upper-case letter, else an existing lower-case one.
    std::string drive;
    for (char letter : {name.Drive(), static_cast<char>(name.Drive() | 0x20)}) {
        struct stat info {};
        const std::string host(1, letter);
        if (::fstatat(folder.Get(), host.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISLNK(info.st_mode))
            return STATUS_ACCESS_DENIED;
        if (S_ISDIR(info.st_mode)) {
            drive = host;
            break;
        }
    }
    if (drive.empty())
        return STATUS_OBJECT_PATH_NOT_FOUND;

    std::string path = root + "/" + drive;
    const auto& components = name.Components();
    if (components.empty()) {
        location->folder = std::move(folder);
        location->entry = drive;
        location->hostPath = path;
        location->exists = true;
        location->isFolder = true;
        location->isDriveFolder = true;
        return STATUS_SUCCESS;
    }

    {
        UniqueFd driveFolder;
        if (NTSTATUS status = OpenFolder(folder.Get(), drive, &driveFolder); !NT_SUCCESS(status))
            return status;
        folder = std::move(driveFolder);
    }
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        FoundEntry found;
        NTSTATUS status = FindEntry(folder.Get(), components[i], &found);
        if (status == STATUS_OBJECT_NAME_NOT_FOUND)
            return STATUS_OBJECT_PATH_NOT_FOUND;
        if (!NT_SUCCESS(status))
            return status;
        if (S_ISLNK(found.info.st_mode))
            return STATUS_ACCESS_DENIED;
        if (!S_ISDIR(found.info.st_mode))
            return STATUS_OBJECT_PATH_NOT_FOUND;
        UniqueFd next;
        status = OpenFolder(folder.Get(), found.host, &next);
        if (!NT_SUCCESS(status))
            return status;
        folder = std::move(next);
        path += "/" + found.host;
    }

    FoundEntry found;
    const NTSTATUS status = FindEntry(folder.Get(), components.back(), &found);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
        hostnames::ToHost(components.back(), &location->entry);
        location->exists = false;
    } else if (!NT_SUCCESS(status)) {
        return status;
    } else if (!S_ISREG(found.info.st_mode) && !S_ISDIR(found.info.st_mode)) {
        return STATUS_ACCESS_DENIED; // a link, a pipe, a device: nothing a drive may hand out
    } else {
        location->entry = std::move(found.host);
        location->exists = true;
        location->isFolder = S_ISDIR(found.info.st_mode);
    }
    location->hostPath = path + "/" + location->entry;
    location->folder = std::move(folder);
    location->isDriveFolder = false;
    return STATUS_SUCCESS;
}

void SetMachineRoot(const std::string& hostFolder)
{
    DrivePaths::Instance().SetRoot(hostFolder);
}

std::string MachineRoot()
{
    return DrivePaths::Instance().Root();
}

std::string DriveFolder(char letter)
{
    return DrivePaths::Instance().DriveFolder(letter);
}

NTSTATUS ResolveFileName(std::u16string_view name, std::string* hostPath)
{
    if (!hostPath)
        return STATUS_INVALID_PARAMETER;
    hostPath->clear();
    FileName parsed;
    NTSTATUS status = FileName::Parse(name, &parsed);
    if (!NT_SUCCESS(status))
        return status;
    HostLocation location;
    status = DrivePaths::Instance().Locate(parsed, &location);
    if (!NT_SUCCESS(status))
        return status;
    *hostPath = location.hostPath;
    return location.exists ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

} // namespace standin
