// FileObject: what a file handle names. It holds the host descriptor, the access granted, the
// create options, the file pointer of a synchronous handle and the name the file was opened by.
// Closing its last handle ends its open (share access, delete-on-close); the descriptor closes when
// the last reference goes, so I/O already under way on another thread finishes first.
#pragma once
#include "OpenFileTable.h"
#include "km/object.h"
#include "standin/object.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace standin {

class FileObject final : public KernelObject {
public:
    static POBJECT_TYPE ObjectType();

    struct Setup {
        int fd;
        std::shared_ptr<SharedFile> file;
        uint64_t openId;
        std::u16string name; // as opened, without the "\DosDevices\" or "\??\" prefix
        ACCESS_MASK access;  // after generic mapping
        ULONG createOptions;
        bool isFolder;
    };
    explicit FileObject(Setup setup);

    int Fd() const { return fd_; }
    SharedFile& Shared() const { return *file_; }
    const std::u16string& Name() const { return name_; }
    ACCESS_MASK Access() const { return access_; }
    bool IsFolder() const { return isFolder_; }
    // A handle opened with FILE_SYNCHRONOUS_IO_(NON)ALERT keeps a file pointer, and the I/O manager
    // lets one call at a time work on it.
    bool IsSynchronous() const { return synchronous_; }

    // Serialises the calls on a synchronous handle, as the I/O manager's file object lock does.
    std::mutex& CallLock() { return callLock_; }
    // The file pointer of a synchronous handle; changed only under the call lock.
    std::atomic<LONGLONG> position{0};

    void OnLastHandleClosed() override;
    std::string Describe() const override;

    // The file object behind a handle, referenced; STATUS_INVALID_HANDLE or
    // STATUS_OBJECT_TYPE_MISMATCH when it is not one.
    static NTSTATUS FromHandle(HANDLE handle, FileObject** file);

private:
    ~FileObject() override;

    const int fd_;
    const std::shared_ptr<SharedFile> file_;
    const uint64_t openId_;
    const std::u16string name_;
    const ACCESS_MASK access_;
    const bool isFolder_;
    const bool synchronous_;
    std::mutex callLock_;
};

// Holds the reference FileObject::FromHandle took.
class FileReference {
public:
    explicit FileReference(FileObject* file) : file_(file) {}
    ~FileReference()
    {
        if (file_)
            DereferenceObject(file_);
    }
    FileReference(const FileReference&) = delete;
    FileReference& operator=(const FileReference&) = delete;
    FileObject* operator->() const { return file_; }
    FileObject& operator*() const { return *file_; }

private:
    FileObject* file_;
};

} // namespace standin
