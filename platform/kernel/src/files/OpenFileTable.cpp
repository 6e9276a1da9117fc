// Share access between the stand-in's open files and the deletion of files opened with
// FILE_DELETE_ON_CLOSE. The share rule is Windows': only opens that read, write or delete take part;
// a new open fails when it asks for an access some existing open does not share, or when it does
// not share an access some existing open holds.
#include "OpenFileTable.h"

#include "km/file.h"
#include "km/status.h"

#include <unistd.h>

#include <algorithm>

namespace standin {
namespace {

struct Sharing {
    bool reads, writes, deletes;
    bool TakesPart() const { return reads || writes || deletes; }
};

Sharing SharingOf(ACCESS_MASK access)
{
    return Sharing{(access & (FILE_READ_DATA | FILE_EXECUTE)) != 0, (access & (FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0,
                   (access & DELETE) != 0};
}

bool Conflicts(const SharedFile::Open& existing, const Sharing& wanted, ULONG share)
{
    if (!(existing.reads || existing.writes || existing.deletes))
        return false;
    return (wanted.reads && !(existing.share & FILE_SHARE_READ)) ||
           (wanted.writes && !(existing.share & FILE_SHARE_WRITE)) ||
           (wanted.deletes && !(existing.share & FILE_SHARE_DELETE)) ||
           (existing.reads && !(share & FILE_SHARE_READ)) || (existing.writes && !(share & FILE_SHARE_WRITE)) ||
           (existing.deletes && !(share & FILE_SHARE_DELETE));
}

} // namespace

OpenFileTable& OpenFileTable::Instance()
{
    static OpenFileTable* table = new OpenFileTable; // never destroyed: handles may close at exit
    return *table;
}

NTSTATUS OpenFileTable::Admit(const struct stat& info, const std::string& hostPath, ACCESS_MASK access,
                              ACCESS_MASK impliedAccess, ULONG share, bool deleteOnClose,
                              std::shared_ptr<SharedFile>* file, uint64_t* openId)
{
    const auto key = std::make_pair(info.st_dev, info.st_ino);
    auto it = files_.find(key);
    std::shared_ptr<SharedFile> shared;
    if (it != files_.end()) {
        shared = it->second;
        if (shared->deletePending)
            return STATUS_DELETE_PENDING;
        const Sharing checked = SharingOf(access | impliedAccess);
        if (checked.TakesPart()) {
            for (const auto& open : shared->opens) {
                if (Conflicts(open, checked, share))
                    return STATUS_SHARING_VIOLATION;
            }
        }
    } else {
        shared = std::make_shared<SharedFile>();
        shared->device = info.st_dev;
        shared->inode = info.st_ino;
        shared->isFolder = S_ISDIR(info.st_mode);
        shared->hostPath = hostPath;
        files_.emplace(key, shared);
    }
    const Sharing recorded = SharingOf(access);
    const uint64_t id = nextOpenId_++;
    shared->opens.push_back(SharedFile::Open{id, recorded.reads, recorded.writes, recorded.deletes, share, deleteOnClose});
    *file = std::move(shared);
    *openId = id;
    return STATUS_SUCCESS;
}

void OpenFileTable::Close(const std::shared_ptr<SharedFile>& file, uint64_t openId)
{
    std::lock_guard<std::mutex> hold(namespaceLock_);
    Forget(file, openId, true);
}

void OpenFileTable::Withdraw(const std::shared_ptr<SharedFile>& file, uint64_t openId)
{
    Forget(file, openId, false);
}

void OpenFileTable::Forget(const std::shared_ptr<SharedFile>& file, uint64_t openId, bool honourDeleteOnClose)
{
    auto& opens = file->opens;
    auto it = std::find_if(opens.begin(), opens.end(), [openId](const SharedFile::Open& o) { return o.id == openId; });
    if (it == opens.end())
        return;
    if (honourDeleteOnClose && it->deleteOnClose)
        file->deletePending = true;
    opens.erase(it);
    if (!opens.empty())
        return;
    files_.erase(std::make_pair(file->device, file->inode));
    if (!file->deletePending)
        return;
    // Remove the entry only while it is still the file that was marked: a file put in its place
    // meanwhile by someone else is not ours to delete.
    struct stat now {};
    if (::lstat(file->hostPath.c_str(), &now) == 0 && now.st_dev == file->device && now.st_ino == file->inode) {
        if (file->isFolder)
            ::rmdir(file->hostPath.c_str()); // a folder that is not empty stays
        else
            ::unlink(file->hostPath.c_str());
    }
}

} // namespace standin
