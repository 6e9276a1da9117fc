// Spin locks with the holder's identity in the lock word: (thread number << 1) | 1 while held, 0
// when free. Thread numbers are handed out once per thread and never reused, so a word that
// decodes to no thread number yet given out was never initialised, and a holder that has ended can
// be told from one that is merely slow.
#include "km/spinlock.h"

#include "standin/system.h"
#include "standin/verifier.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace standin {
namespace {

constexpr KSPIN_LOCK kFree = 0;
// A Linux thread holding a spin lock can be preempted, which a processor at DISPATCH_LEVEL cannot;
// giving up the time slice now and then lets a preempted holder finish instead of spinning out
// the waiter's whole slice.
constexpr uint64_t kSpinsBeforeYield = 1024;
// How often a waiter asks whether the holder still exists.
constexpr uint64_t kSpinsBetweenHolderChecks = uint64_t(1) << 16;

std::atomic<uint64_t> g_lastThreadNumber{0};

struct LiveThreads {
    std::mutex lock;
    std::unordered_set<uint64_t> numbers;
};

LiveThreads& Live()
{
    static LiveThreads* live = new LiveThreads; // never destroyed: threads end after static teardown
    return *live;
}

std::string Hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string LockName(const void* lock)
{
    return "the spin lock at " + Hex(reinterpret_cast<uintptr_t>(lock));
}

struct ThreadRecord {
    uint64_t number;
    std::vector<const KSPIN_LOCK*> held;

    ThreadRecord() : number(++g_lastThreadNumber)
    {
        auto& live = Live();
        std::lock_guard<std::mutex> hold(live.lock);
        live.numbers.insert(number);
    }

    ~ThreadRecord()
    {
        // The lock words may already be gone with their owner's memory: only their addresses are
        // reported. A waiter notices the ended holder and takes the lock over.
        for (const KSPIN_LOCK* lock : held)
            VerifierReport("spinlock", "thread #" + std::to_string(number) + " ended holding " + LockName(lock));
        auto& live = Live();
        std::lock_guard<std::mutex> hold(live.lock);
        live.numbers.erase(number);
    }
};

ThreadRecord& Me()
{
    thread_local ThreadRecord record;
    return record;
}

KSPIN_LOCK WordOf(uint64_t number)
{
    return static_cast<KSPIN_LOCK>(number << 1 | 1);
}

uint64_t HolderOf(KSPIN_LOCK word)
{
    return word >> 1;
}

bool IsHolderWord(KSPIN_LOCK word)
{
    return (word & 1) != 0 && HolderOf(word) != 0 && HolderOf(word) <= g_lastThreadNumber.load();
}

bool IsLive(uint64_t number)
{
    auto& live = Live();
    std::lock_guard<std::mutex> hold(live.lock);
    return live.numbers.count(number) != 0;
}

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

bool TryTake(PKSPIN_LOCK lock, KSPIN_LOCK* expected, KSPIN_LOCK mine)
{
    return __atomic_compare_exchange_n(lock, expected, mine, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void ReportUninitialised(const char* function, const void* lock, KSPIN_LOCK word)
{
    VerifierReport("spinlock", std::string(function) + " of " + LockName(lock) + " whose word " + Hex(word) +
                                   " was never initialised; taking it");
}

// Takes the lock for the calling thread; a lock the thread already holds is reported and left as
// it is, since waiting for it would never end.
void Acquire(const char* function, PKSPIN_LOCK lock)
{
    ThreadRecord& me = Me();
    const KSPIN_LOCK mine = WordOf(me.number);
    KSPIN_LOCK word = __atomic_load_n(lock, __ATOMIC_RELAXED);
    if (word == mine) {
        VerifierReport("spinlock", std::string(function) + " of " + LockName(lock) +
                                       " that this thread already holds (would deadlock); not taken again");
        return;
    }
    for (uint64_t spins = 1;; ++spins) {
        if (word == kFree) {
            if (TryTake(lock, &word, mine))
                break;
            continue;
        }
        if (!IsHolderWord(word)) {
            ReportUninitialised(function, lock, word);
            if (TryTake(lock, &word, mine))
                break;
            continue;
        }
        if (spins % kSpinsBetweenHolderChecks == 0 && !IsLive(HolderOf(word))) {
            VerifierReport("spinlock", std::string(function) + ": thread #" + std::to_string(HolderOf(word)) +
                                           " ended holding " + LockName(lock) + "; taking it over");
            if (TryTake(lock, &word, mine))
                break;
            continue;
        }
        Pause();
        if (spins % kSpinsBeforeYield == 0)
            sched_yield();
        word = __atomic_load_n(lock, __ATOMIC_RELAXED);
    }
    me.held.push_back(lock);
}

bool TryAcquire(const char* function, PKSPIN_LOCK lock)
{
    ThreadRecord& me = Me();
    KSPIN_LOCK word = __atomic_load_n(lock, __ATOMIC_RELAXED);
    if (word != kFree && !IsHolderWord(word))
        ReportUninitialised(function, lock, word);
    else if (word != kFree)
        return false;
    if (!TryTake(lock, &word, WordOf(me.number)))
        return false;
    me.held.push_back(lock);
    return true;
}

// Gives the lock back when the calling thread holds it; anything else is reported and the lock
// word is left alone, so that a wrong release cannot open another thread's lock.
void Release(const char* function, PKSPIN_LOCK lock)
{
    ThreadRecord& me = Me();
    const KSPIN_LOCK word = __atomic_load_n(lock, __ATOMIC_RELAXED);
    if (word == WordOf(me.number)) {
        auto found = std::find(me.held.rbegin(), me.held.rend(), lock);
        if (found != me.held.rend())
            me.held.erase(std::next(found).base());
        __atomic_store_n(lock, kFree, __ATOMIC_RELEASE);
        return;
    }
    std::string why;
    if (word == kFree)
        why = "that nobody holds";
    else if (IsHolderWord(word))
        why = "held by thread #" + std::to_string(HolderOf(word)) + ", not by the caller (thread #" +
              std::to_string(me.number) + ")";
    else
        why = "whose word " + Hex(word) + " was never initialised";
    VerifierReport("spinlock", std::string(function) + " of " + LockName(lock) + " " + why);
}

bool CheckLock(const char* function, PKSPIN_LOCK lock)
{
    if (lock)
        return true;
    VerifierReport("spinlock", std::string(function) + " with a null lock pointer");
    return false;
}

void CheckAtLeastDispatch(const char* function)
{
    const KIRQL irql = KeGetCurrentIrql();
    if (irql < DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " at IRQL " + std::to_string(irql) + " below DISPATCH_LEVEL");
}

KIRQL RaiseAndAcquire(const char* function, PKSPIN_LOCK lock)
{
    KIRQL old = KeGetCurrentIrql();
    if (old > DISPATCH_LEVEL)
        VerifierReport("irql", std::string(function) + " at IRQL " + std::to_string(old) + " above DISPATCH_LEVEL");
    else
        KeRaiseIrql(DISPATCH_LEVEL, &old);
    if (CheckLock(function, lock))
        Acquire(function, lock);
    return old;
}

// Only the thread that runs the check is seen (the test's or the unloading thread); other threads
// report what they still hold when they end.
std::vector<std::string> HeldByCheckingThread()
{
    std::vector<std::string> lines;
    ThreadRecord& me = Me();
    for (const KSPIN_LOCK* lock : me.held)
        lines.push_back("thread #" + std::to_string(me.number) + " still holds " + LockName(lock));
    return lines;
}

struct LeakCheckRegistration {
    LeakCheckRegistration()
    {
        VerifierRegisterLeakCheck("spinlock", HeldByCheckingThread);
    }
} g_leakCheckRegistration;

} // namespace

size_t SpinLocksHeldByCurrentThread()
{
    return Me().held.size();
}

} // namespace standin

using namespace standin;

extern "C" VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK SpinLock)
{
    if (CheckLock("KeInitializeSpinLock", SpinLock))
        __atomic_store_n(SpinLock, kFree, __ATOMIC_RELAXED);
}

extern "C" VOID NTAPI KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql)
{
    const KIRQL old = RaiseAndAcquire("KeAcquireSpinLock", SpinLock);
    if (OldIrql)
        *OldIrql = old;
    else
        VerifierReport("spinlock", "KeAcquireSpinLock without a place for the old IRQL");
}

extern "C" KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock)
{
    return RaiseAndAcquire("KeAcquireSpinLockRaiseToDpc", SpinLock);
}

extern "C" VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql)
{
    CheckAtLeastDispatch("KeReleaseSpinLock");
    if (CheckLock("KeReleaseSpinLock", SpinLock))
        Release("KeReleaseSpinLock", SpinLock);
    const KIRQL irql = KeGetCurrentIrql();
    if (NewIrql > irql)
        VerifierReport("irql", "KeReleaseSpinLock to IRQL " + std::to_string(NewIrql) + " above the current level " +
                                   std::to_string(irql));
    else
        KeLowerIrql(NewIrql);
}

extern "C" VOID NTAPI KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock)
{
    CheckAtLeastDispatch("KeAcquireSpinLockAtDpcLevel");
    if (CheckLock("KeAcquireSpinLockAtDpcLevel", SpinLock))
        Acquire("KeAcquireSpinLockAtDpcLevel", SpinLock);
}

extern "C" VOID NTAPI KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock)
{
    CheckAtLeastDispatch("KeReleaseSpinLockFromDpcLevel");
    if (CheckLock("KeReleaseSpinLockFromDpcLevel", SpinLock))
        Release("KeReleaseSpinLockFromDpcLevel", SpinLock);
}

extern "C" BOOLEAN NTAPI KeTryToAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock)
{
    CheckAtLeastDispatch("KeTryToAcquireSpinLockAtDpcLevel");
    if (!CheckLock("KeTryToAcquireSpinLockAtDpcLevel", SpinLock))
        return FALSE;
    return TryAcquire("KeTryToAcquireSpinLockAtDpcLevel", SpinLock) ? TRUE : FALSE;
}
