// FileFaults: the failures tests inject into the file functions (opens that fail, writes that fail
// after a number of bytes, writes that stall until released) and the record of each one that
// happened. Rules match file names by pattern (see standin/filefaults.h).
#pragma once
#include "standin/drives.h"
#include "standin/filefaults.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

class FileFaults {
public:
    static FileFaults& Instance();

    void AddOpenFailure(std::u16string_view pattern, NTSTATUS status, unsigned count);
    void AddWriteFailure(std::u16string_view pattern, NTSTATUS status, ULONG64 afterBytes);
    void AddStall(std::u16string_view pattern);
    void ReleaseStalls();
    size_t StalledCount();
    bool WaitForStalled(size_t count, std::chrono::milliseconds limit);
    void Clear();
    std::vector<InjectedFileFailure> TakeRecords();

    // The status an injected failure gives this open of `name`, or STATUS_SUCCESS; a rule that
    // fails it is used up by one.
    NTSTATUS OpenFailure(const std::u16string& name);
    // Blocks while a stall rule matches `name`.
    void WaitWhileStalled(const std::u16string& name);
    // How many of `length` bytes a write to `name` may move; when fewer, *status is the failure.
    // The allowed bytes count against the matching rules at once.
    ULONG AllowedWrite(const std::u16string& name, ULONG length, NTSTATUS* status);

private:
    FileFaults() = default;
    void Record(FileFailureKind kind, const std::u16string& name, NTSTATUS status);

    struct OpenRule {
        std::u16string pattern;
        NTSTATUS status;
        unsigned left; // kEveryOpen: no limit
    };
    struct WriteRule {
        std::u16string pattern;
        NTSTATUS status;
        ULONG64 bytesLeft;
    };
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<OpenRule> openRules_;
    std::vector<WriteRule> writeRules_;
    std::vector<std::u16string> stalls_;
    size_t stalled_ = 0;
    uint64_t releases_ = 0; // a write stalled before a release goes on even if a new rule matches
    std::vector<InjectedFileFailure> records_;
};

} // namespace standin
