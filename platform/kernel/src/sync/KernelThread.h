// The thread object behind every PKTHREAD/PETHREAD: a dispatcher object signalled when the thread
// ends, a kernel object that handles can name, and the record of the mutexes the thread holds.
// System threads run their routine through KernelThread::RunSystemThread; other threads (the
// test's, the DPC thread) get an object on first use that ends with them.
#pragma once
#include "km/object.h"
#include "km/thread.h"
#include "standin/object.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace standin {

struct WaitRecord;

class KernelThread final : public ETHREAD, public KernelObject {
public:
    static constexpr KPRIORITY kDefaultPriority = 8;

    static KernelThread* FromKThread(PKTHREAD thread)
    {
        return static_cast<KernelThread*>(static_cast<ETHREAD*>(thread));
    }
    // The calling thread's object, made on first use for threads the stand-in did not start.
    static KernelThread* Current();
    // The calling thread's object when it is a system thread, else null.
    static KernelThread* CurrentSystemThread();

    // A system thread object, known to the object manager, with one reference for the caller.
    static KernelThread* CreateSystemThread(PKSTART_ROUTINE routine, PVOID context);
    // Runs the routine on the calling (new) thread and ends the thread object; consumes the
    // thread's own reference.
    void RunSystemThread();
    // Turns the caller's reference into the running thread's own and lists the thread as running.
    void MarkStarted();
    // Undoes MarkStarted when the host thread could not be made.
    void AbandonStart();

    PVOID Body() const override { return const_cast<KTHREAD*>(static_cast<const KTHREAD*>(this)); }
    std::string Describe() const override;

    ULONG Id() const { return id_; }
    bool IsSystem() const { return routine_ != nullptr; }
    std::atomic<KPRIORITY> priority{kDefaultPriority};
    std::atomic<NTSTATUS> exitStatus;

    // Guarded by the dispatcher lock.
    std::vector<KMUTEX*> heldMutexes;
    WaitRecord* currentWait = nullptr; // while the thread blocks in a wait
    // The blocks of waits on up to THREAD_WAIT_OBJECTS objects; only the thread itself uses them.
    KWAIT_BLOCK ownWaitBlocks[THREAD_WAIT_OBJECTS] = {};

    // Ends the thread object: mutexes still held are released (a breach) and waiters on the thread
    // are released. Called by the ending thread itself.
    void Finish(NTSTATUS status);

    static std::vector<std::string> RunningSystemThreads();

private:
    KernelThread(PKSTART_ROUTINE routine, PVOID context);
    ~KernelThread() override = default;

    static std::mutex& RunningLock();
    static std::set<KernelThread*>& Running();

    const ULONG id_;
    const PKSTART_ROUTINE routine_;
    const PVOID context_;
};

} // namespace standin
