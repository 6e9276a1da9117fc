// KPLXFastLock and KPLXFastStackLock: the driver's recursive passive-level lock and its scoped
// holder.
#include "kplxfastlock.h"

#include "km/interlocked.h"
#include "km/sync.h"
#include "km/thread.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <atomic>
#include <cstring>

namespace {

// The holder's fields are written under the guard but read without it by contention reports;
// relaxed atomic accesses make such a read see some recent value instead of being undefined.
template <typename T> T Load(const T& field)
{
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

template <typename T, typename U> void Store(T& field, U value)
{
    std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_relaxed);
}

// Pointers travel in 32-bit report fields as their low half, as the messages print them.
ULONG Low32(ULONGLONG value)
{
    return static_cast<ULONG>(value);
}

ULONG Low32(const void* pointer)
{
    return static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(pointer));
}

ULONGLONG SignExtended(const void* pointer)
{
    return static_cast<ULONGLONG>(static_cast<LONGLONG>(reinterpret_cast<LONG_PTR>(pointer)));
}

} // namespace

KPLXFastLock::KPLXFastLock() : KPLXFastLock(kDefaultTryBudget, kDefaultSleepInterval) {}

KPLXFastLock::KPLXFastLock(ULONG tryBudget, LONGLONG sleepInterval)
    : m_sleepInterval(sleepInterval), m_tryBudget(tryBudget ? tryBudget : kDefaultTryBudget)
{
}

KPLXFastLock::~KPLXFastLock()
{
    TRACE_SCOPE(this, "KPLXFastLock::~KPLXFastLock", kTraceLocksEnter);
    if (TryTakeGuard()) {
        const bool held = m_ownerThread != nullptr;
        const auto locker = reinterpret_cast<const void*>(static_cast<ULONG_PTR>(m_locker));
        GiveBackGuard();
        if (held)
            Unlock(locker);
    } else {
        Holder holder;
        ReadHolderUnguarded(&holder);
        if (holder.ownerThread)
            Unlock(reinterpret_cast<const void*>(static_cast<ULONG_PTR>(holder.locker)));
    }
}

bool KPLXFastLock::TryTakeGuard()
{
    return InterlockedCompareExchange(&m_guard, 1, 0) == 0;
}

void KPLXFastLock::GiveBackGuard()
{
    InterlockedCompareExchange(&m_guard, 0, 1);
}

void KPLXFastLock::Sleep()
{
    LARGE_INTEGER interval;
    interval.QuadPart = m_sleepInterval;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

void KPLXFastLock::ReadHolderUnguarded(Holder* holder) const
{
    holder->locker = Load(m_locker);
    holder->ownerThread = Load(m_ownerThread);
    holder->recursionCount = Load(m_recursionCount);
    holder->line = Load(m_line);
    for (ULONG i = 0; i < kFunctionNameBytes; ++i)
        holder->functionName[i] = Load(m_functionName[i]);
    holder->functionName[kFunctionNameBytes - 1] = 0;
}

KPLXFastLock::Holder KPLXFastLock::GetHolder()
{
    Holder holder;
    while (!TryTakeGuard())
        Sleep();
    ReadHolderUnguarded(&holder);
    GiveBackGuard();
    return holder;
}

void KPLXFastLock::Lock(const void* locker, const char* functionName, int line)
{
    TRACE_SCOPE(this, "KPLXFastLock::Lock", kTraceLocksEnter, "pLocker=0x%p, lpszFunctionName=%s, nLine=%d", locker,
                functionName ? functionName : "", line);
    ULONG tries = m_tryBudget;
    const PVOID me = KeGetCurrentThread();
    for (;;) {
        if (TryTakeGuard()) {
            if (m_ownerThread == nullptr)
                break;
            if (m_ownerThread == me) {
                Store(m_recursionCount, m_recursionCount + 1);
                GiveBackGuard();
                return;
            }
            GiveBackGuard();
        }
        --tries;
        if (tries % kLockReportInterval == 0) {
            Holder holder;
            ReadHolderUnguarded(&holder);
            TRACE_LINE(this, "KPLXFastLock::Lock", kTraceLocks,
                       "Locker=0x%08x %s line=%d thread=%04x. Requester=0x%08x %s line=%d thread=%08x",
                       Low32(holder.locker), holder.functionName, holder.line, Low32(holder.ownerThread),
                       Low32(locker), functionName ? functionName : "", line, Low32(me));
        }
        if (tries == 0)
            tries = m_tryBudget; // the wait never gives up
        Sleep();
    }
    // The name is cut to fit its 260 bytes with the terminating zero.
    size_t length = functionName ? strnlen(functionName, kFunctionNameBytes - 1) : 0;
    for (size_t i = 0; i < kFunctionNameBytes; ++i)
        Store(m_functionName[i], i < length ? functionName[i] : '\0');
    Store(m_locker, SignExtended(locker));
    Store(m_line, line);
    Store(m_recursionCount, 1UL);
    Store(m_ownerThread, me);
    GiveBackGuard();
}

void KPLXFastLock::TakeGuardForUnlock()
{
    ULONG tries = m_tryBudget;
    while (!TryTakeGuard()) {
        --tries;
        if (tries % kUnlockReportInterval == 0) {
            Holder holder;
            ReadHolderUnguarded(&holder);
            TRACE_LINE(this, "KPLXFastLock::Unlock", kTraceLocks,
                       "Unlock: Failed to get lock.  Locker=0x%08x %s line=%d thread=%04x.", Low32(holder.locker),
                       holder.functionName, holder.line, Low32(holder.ownerThread));
        }
        if (tries == 0)
            tries = m_tryBudget;
        Sleep();
    }
}

void KPLXFastLock::Unlock(const void* locker)
{
    TRACE_SCOPE(this, "KPLXFastLock::Unlock", kTraceLocksEnter, "pLocker=0x%p", locker);
    TakeGuardForUnlock();
    if (m_ownerThread == KeGetCurrentThread()) {
        Store(m_recursionCount, m_recursionCount - 1);
        if (m_recursionCount == 0) {
            Store(m_locker, 0ULL);
            for (ULONG i = 0; i < kFunctionNameBytes; ++i)
                Store(m_functionName[i], '\0');
            Store(m_line, 0);
            Store(m_ownerThread, static_cast<PVOID>(nullptr));
        }
    } else {
        const ULONGLONG holderLocker = m_locker;
        TRACE_STATUS(this, "KPLXFastLock::Unlock", kTraceErrors, MSG_UNLOCK_REQUESTED_FAILED_LOCK_HELD,
                     "Unlock requested by 0x%08x failed.  Lock is held by 0x%08x.", Low32(locker),
                     Low32(holderLocker));
    }
    GiveBackGuard();
}

KPLXFastStackLock::KPLXFastStackLock(KPLXFastLock* lock, const void* locker, const char* functionName, int line)
    : m_lock(lock), m_locker(locker)
{
    TRACE_SCOPE(this, "KPLXFastStackLock::KPLXFastStackLock", kTraceLocksEnter,
                "pKPLXFastLock=0x%08x, pLocker=0x%08x, lpszFunctionName=%s, nLine=%d", Low32(lock), Low32(locker),
                functionName ? functionName : "", line);
    m_lock->Lock(locker, functionName, line);
}

KPLXFastStackLock::~KPLXFastStackLock()
{
    TRACE_SCOPE(this, "KPLXFastStackLock::~KPLXFastStackLock", kTraceLocksEnter);
    m_lock->Unlock(m_locker);
}
