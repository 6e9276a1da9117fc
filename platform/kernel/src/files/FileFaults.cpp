// Injected file failures: matching rules against file names, using them up, stalling writes until
// they are released, and recording each failure that happened.
#include "FileFaults.h"

#include "FileName.h"
#include "HostNames.h"
#include "km/status.h"
#include "standin/filefaults.h"

#include <algorithm>

namespace standin {
namespace {

std::u16string PatternOf(std::u16string_view pattern)
{
    return std::u16string(FileName::WithoutPrefix(pattern));
}

} // namespace

FileFaults& FileFaults::Instance()
{
    static FileFaults* faults = new FileFaults; // never destroyed: writes may be stalled at exit
    return *faults;
}

void FileFaults::AddOpenFailure(std::u16string_view pattern, NTSTATUS status, unsigned count)
{
    std::lock_guard<std::mutex> hold(lock_);
    openRules_.push_back(OpenRule{PatternOf(pattern), status, count});
}

void FileFaults::AddWriteFailure(std::u16string_view pattern, NTSTATUS status, ULONG64 afterBytes)
{
    std::lock_guard<std::mutex> hold(lock_);
    writeRules_.push_back(WriteRule{PatternOf(pattern), status, afterBytes});
}

void FileFaults::AddStall(std::u16string_view pattern)
{
    std::lock_guard<std::mutex> hold(lock_);
    stalls_.push_back(PatternOf(pattern));
}

void FileFaults::ReleaseStalls()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        stalls_.clear();
        ++releases_;
    }
    changed_.notify_all();
}

size_t FileFaults::StalledCount()
{
    std::lock_guard<std::mutex> hold(lock_);
    return stalled_;
}

bool FileFaults::WaitForStalled(size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, limit, [&] { return stalled_ >= count; });
}

void FileFaults::Clear()
{
    {
        std::lock_guard<std::mutex> hold(lock_);
        openRules_.clear();
        writeRules_.clear();
        stalls_.clear();
        records_.clear();
        ++releases_;
    }
    changed_.notify_all();
}

std::vector<InjectedFileFailure> FileFaults::TakeRecords()
{
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<InjectedFileFailure> taken;
    taken.swap(records_);
    return taken;
}

void FileFaults::Record(FileFailureKind kind, const std::u16string& name, NTSTATUS status)
{
    records_.push_back(InjectedFileFailure{kind, name, status});
}

NTSTATUS FileFaults::OpenFailure(const std::u16string& name)
{
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = openRules_.begin(); it != openRules_.end(); ++it) {
        if (!hostnames::MatchesPattern(it->pattern, name))
            continue;
        const NTSTATUS status = it->status;
        if (it->left != kEveryOpen && --it->left == 0)
            openRules_.erase(it);
        Record(FileFailureKind::Open, name, status);
        return status;
    }
    return STATUS_SUCCESS;
}

void FileFaults::WaitWhileStalled(const std::u16string& name)
{
    std::unique_lock<std::mutex> hold(lock_);
    auto stalledNow = [&] {
        return std::any_of(stalls_.begin(), stalls_.end(),
                           [&](const std::u16string& pattern) { return hostnames::MatchesPattern(pattern, name); });
    };
    if (!stalledNow())
        return;
    Record(FileFailureKind::Stall, name, STATUS_SUCCESS);
    const uint64_t releasesSeen = releases_;
    ++stalled_;
    changed_.notify_all();
    changed_.wait(hold, [&] { return releases_ != releasesSeen || !stalledNow(); });
    --stalled_;
}

ULONG FileFaults::AllowedWrite(const std::u16string& name, ULONG length, NTSTATUS* status)
{
    std::lock_guard<std::mutex> hold(lock_);
    ULONG allowed = length;
    const WriteRule* failing = nullptr;
    for (const auto& rule : writeRules_) {
        if (!hostnames::MatchesPattern(rule.pattern, name))
            continue;
        if (rule.bytesLeft < allowed) {
            allowed = static_cast<ULONG>(rule.bytesLeft);
            failing = &rule;
        }
    }
    for (auto& rule : writeRules_) {
        if (hostnames::MatchesPattern(rule.pattern, name))
            rule.bytesLeft -= allowed;
    }
    if (failing) {
        *status = failing->status;
        Record(FileFailureKind::Write, name, failing->status);
    }
    return allowed;
}

void InjectOpenFailure(std::u16string_view pattern, NTSTATUS status, unsigned count)
{
    FileFaults::Instance().AddOpenFailure(pattern, status, count);
}

void InjectWriteFailure(std::u16string_view pattern, NTSTATUS status, ULONG64 afterBytes)
{
    FileFaults::Instance().AddWriteFailure(pattern, status, afterBytes);
}

void StallWrites(std::u16string_view pattern)
{
    FileFaults::Instance().AddStall(pattern);
}

void ReleaseStalledWrites()
{
    FileFaults::Instance().ReleaseStalls();
}

size_t StalledWriteCount()
{
    return FileFaults::Instance().StalledCount();
}

bool WaitForStalledWrites(size_t count, std::chrono::milliseconds limit)
{
    return FileFaults::Instance().WaitForStalled(count, limit);
}

void ClearFileFailures()
{
    FileFaults::Instance().Clear();
}

std::vector<InjectedFileFailure> TakeInjectedFileFailures()
{
    return FileFaults::Instance().TakeRecords();
}

} // namespace standin
