// DrivePaths: the machine root and the walk from a parsed file name to the host folder and entry it
// names. Folders on the way and the entry are found case-insensitively; links are never followed.
#pragma once
#include "FileName.h"
#include "UniqueFd.h"
#include "standin/drives.h"

#include <mutex>
#include <string>

namespace standin {

// Where a file name lives on the host.
struct HostLocation {
    UniqueFd folder;            // the open host folder that holds the entry
    std::string entry;          // the entry's host name: its existing spelling, or the caller's
    std::string hostPath;       // the whole host path of the entry
    bool exists = false;        // the entry is there (a regular file or a folder)
    bool isFolder = false;      // the existing entry is a folder
    bool isDriveFolder = false; // the name is the drive's root folder
};

class DrivePaths {
public:
    static DrivePaths& Instance();

    void SetRoot(const std::string& hostFolder);
    std::string Root();
    std::string DriveFolder(char letter);

    // STATUS_SUCCESS with the location (existing or not); STATUS_OBJECT_PATH_NOT_FOUND for a
    // missing folder on the way, an unknown drive or no machine root (a breach);
    // STATUS_ACCESS_DENIED for a link or a special file on the way or at the end.
    NTSTATUS Locate(const FileName& name, HostLocation* location);

private:
    DrivePaths() = default;
    std::mutex lock_;
    std::string root_;
};

} // namespace standin
