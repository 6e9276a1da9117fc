// OpenFileTable: the host files that handles of the stand-in hold open, one record per file
// (device and inode), with every open's access and share modes. It decides sharing violations as
// Windows' I/O manager does, keeps the delete-pending state, and deletes a file marked for deletion
// when its last open closes. One lock, the namespace lock, serialises name lookups, creations,
// share checks and deletions.
#pragma once
#include "km/types.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// One host file open through the stand-in, shared by all its opens.
struct SharedFile {
    dev_t device = 0;
    ino_t inode = 0;
    bool isFolder = false;
    std::string hostPath; // the path it was first opened by: where a pending delete removes it
    std::atomic<bool> deletePending{false};
    // Held while a write finds the end of the file and writes there, so that appends through
    // different handles never overwrite each other.
    std::mutex endLock;

    struct Open {
        uint64_t id;
        bool reads, writes, deletes; // the access that takes part in sharing
        ULONG share;
        bool deleteOnClose;
    };
    std::vector<Open> opens; // guarded by the namespace lock
};

class OpenFileTable {
public:
    static OpenFileTable& Instance();

    std::mutex& NamespaceLock() { return namespaceLock_; }

    // With the namespace lock held: admits an open of the host file described by `info` with
    // `access` (after generic mapping) and `share`, or refuses it with STATUS_DELETE_PENDING or
    // STATUS_SHARING_VIOLATION. `impliedAccess` joins the check but not the record (the write that
    // overwriting a file implies).
    NTSTATUS Admit(const struct stat& info, const std::string& hostPath, ACCESS_MASK access, ACCESS_MASK impliedAccess,
                   ULONG share, bool deleteOnClose, std::shared_ptr<SharedFile>* file, uint64_t* openId);
    // Takes the namespace lock: ends an open. When it was opened for delete-on-close the file
    // becomes delete-pending; the last open of a delete-pending file removes it from its folder.
    void Close(const std::shared_ptr<SharedFile>& file, uint64_t openId);
    // With the namespace lock held: undoes an Admit whose open did not come about.
    void Withdraw(const std::shared_ptr<SharedFile>& file, uint64_t openId);

private:
    OpenFileTable() = default;
    void Forget(const std::shared_ptr<SharedFile>& file, uint64_t openId, bool honourDeleteOnClose);

    std::mutex namespaceLock_;
    std::map<std::pair<dev_t, ino_t>, std::shared_ptr<SharedFile>> files_;
    uint64_t nextOpenId_ = 1;
};

} // namespace standin
