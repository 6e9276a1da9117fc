// Critical sections: a record of the stand-in's for each initialised section (owner, recursion,
// waiters), found by the section's address, so that misuse is reported instead of corrupting
// memory, and sections never deleted are reported as leaks.
#include "standin/verifier.h"
#include "um/processthreadsapi.h"
#include "um/synchapi.h"

#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct Section {
    std::mutex lock;
    std::condition_variable freed;
    DWORD owner = 0; // guarded by lock; 0 when free
    LONG count = 0;  // guarded by lock
};

struct Sections {
    std::mutex lock;
    std::map<const CRITICAL_SECTION*, std::shared_ptr<Section>> live;
};

std::string Name(const CRITICAL_SECTION* section)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%p", static_cast<const void*>(section));
    return std::string("critical section ") + text;
}

Sections& All()
{
    static Sections* sections = [] {
        auto* made = new Sections;
        standin::VerifierRegisterLeakCheck("critical-sections", [made] {
            std::lock_guard<std::mutex> hold(made->lock);
            std::vector<std::string> lines;
            for (const auto& [section, record] : made->live)
                lines.push_back(Name(section) + " initialised and never deleted");
            return lines;
        });
        return made;
    }();
    return *sections;
}

std::shared_ptr<Section> Find(const CRITICAL_SECTION* section, const char* caller)
{
    Sections& all = All();
    std::lock_guard<std::mutex> hold(all.lock);
    const auto found = all.live.find(section);
    if (found != all.live.end())
        return found->second;
    standin::VerifierReport("critical-section",
                            std::string(caller) + " on " + Name(section) + ", never initialised or deleted");
    return nullptr;
}

// Takes the section for the caller; the section's lock is held.
void Take(Section& record, CRITICAL_SECTION* section, DWORD self)
{
    record.owner = self;
    ++record.count;
    section->RecursionCount = record.count;
    section->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(self));
}

} // namespace

extern "C" VOID WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    if (!lpCriticalSection) {
        standin::VerifierReport("critical-section", "InitializeCriticalSection without a section");
        return;
    }
    Sections& all = All();
    std::lock_guard<std::mutex> hold(all.lock);
    auto& record = all.live[lpCriticalSection];
    if (record) {
        standin::VerifierReport("critical-section",
                                "InitializeCriticalSection on " + Name(lpCriticalSection) + ", already initialised");
        return;
    }
    record = std::make_shared<Section>();
    *lpCriticalSection = CRITICAL_SECTION{record.get(), -1, 0, nullptr, nullptr, 0};
}

extern "C" VOID WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    const auto record = Find(lpCriticalSection, "EnterCriticalSection");
    if (!record)
        return;
    const DWORD self = GetCurrentThreadId();
    std::unique_lock<std::mutex> hold(record->lock);
    record->freed.wait(hold, [&] { return record->count == 0 || record->owner == self; });
    Take(*record, lpCriticalSection, self);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    const auto record = Find(lpCriticalSection, "TryEnterCriticalSection");
    if (!record)
        return FALSE;
    const DWORD self = GetCurrentThreadId();
    std::lock_guard<std::mutex> hold(record->lock);
    if (record->count != 0 && record->owner != self)
        return FALSE;
    Take(*record, lpCriticalSection, self);
    return TRUE;
}

extern "C" VOID WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    const auto record = Find(lpCriticalSection, "LeaveCriticalSection");
    if (!record)
        return;
    const DWORD self = GetCurrentThreadId();
    std::lock_guard<std::mutex> hold(record->lock);
    if (record->count == 0 || record->owner != self) {
        standin::VerifierReport("critical-section", "LeaveCriticalSection on " + Name(lpCriticalSection) +
                                                        " by thread " + std::to_string(self) +
                                                        ", which does not hold it");
        return;
    }
    lpCriticalSection->RecursionCount = --record->count;
    if (record->count == 0) {
        record->owner = 0;
        lpCriticalSection->OwningThread = nullptr;
        record->freed.notify_one();
    }
}

extern "C" VOID WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    Sections& all = All();
    std::lock_guard<std::mutex> hold(all.lock);
    const auto found = all.live.find(lpCriticalSection);
    if (found == all.live.end()) {
        standin::VerifierReport("critical-section", "DeleteCriticalSection on " + Name(lpCriticalSection) +
                                                        ", never initialised or deleted");
        return;
    }
    {
        std::lock_guard<std::mutex> holdSection(found->second->lock);
        if (found->second->count != 0) {
            // Deleting it would pull the lock from under its holder and its waiters: it stays.
            standin::VerifierReport("critical-section", "DeleteCriticalSection on " + Name(lpCriticalSection) +
                                                            ", held by thread " +
                                                            std::to_string(found->second->owner));
            return;
        }
    }
    all.live.erase(found);
    lpCriticalSection->DebugInfo = nullptr;
}
