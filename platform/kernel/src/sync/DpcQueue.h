// The one DPC queue of the process and the thread that drains it at DISPATCH_LEVEL. Queued KDPCs
// are linked through their own DpcListEntry, so queueing allocates nothing.
#pragma once
#include "km/dpc.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

class DpcQueue {
public:
    static DpcQueue& Instance();

    void Initialize(KDPC* dpc, PKDEFERRED_ROUTINE routine, PVOID context);
    bool Insert(KDPC* dpc, PVOID argument1, PVOID argument2);
    bool Remove(KDPC* dpc);
    void Flush();
    std::vector<std::string> Queued();

private:
    DpcQueue();
    void Run();
    static bool IsInitialised(const KDPC* dpc);

    std::mutex lock_;
    std::condition_variable work_;     // something was queued
    std::condition_variable progress_; // a DPC ran or was removed
    KDPC* head_ = nullptr;
    KDPC* tail_ = nullptr;
    uint64_t lastTicket_ = 0;
    uint64_t runningTicket_ = 0; // the ticket of the DPC whose routine runs now, 0 for none
    bool threadStarted_ = false;
    std::thread::id threadId_;
};

} // namespace standin
