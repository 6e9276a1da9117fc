// KPLXFastLock: the driver's recursive lock for passive-level code. It records the holding thread,
// the holder's locker object, function and line; the holding thread may take it again; a waiter
// sleeps 10 microseconds between tries and reports contention through the trace (level 0x80).
// An unlock by a thread that does not hold it changes nothing and is reported (0xC0071017).
// KPLXFastStackLock holds a KPLXFastLock for one scope.
#pragma once
#include "kernel/driverheap.h"
#include "km/types.h"

class KPLXFastLock : public DriverAllocated {
public:
    static constexpr ULONG kDefaultTryBudget = 100000;
    static constexpr LONGLONG kDefaultSleepInterval = -100; // relative, 100-ns units: 10 microseconds
    static constexpr ULONG kFunctionNameBytes = 260;
    // Failed tries between two contention lines of Lock, and of Unlock's wait for the guard.
    static constexpr ULONG kLockReportInterval = 1000;
    static constexpr ULONG kUnlockReportInterval = 100;

    KPLXFastLock();
    // With another try budget and sleep interval, so that tests reach the budget quickly.
    KPLXFastLock(ULONG tryBudget, LONGLONG sleepInterval);
    // A held lock gives up one level on behalf of its holder's locker.
    virtual ~KPLXFastLock();
    KPLXFastLock(const KPLXFastLock&) = delete;
    KPLXFastLock& operator=(const KPLXFastLock&) = delete;

    // Waits until the lock is free or held by this thread; never gives up.
    void Lock(const void* locker, const char* functionName, int line);
    void Unlock(const void* locker);

    // A snapshot of the holder, for reports and tests (taken under the guard).
    struct Holder {
        ULONGLONG locker;
        PVOID ownerThread;
        ULONG recursionCount;
        int line;
        char functionName[kFunctionNameBytes];
    };
    Holder GetHolder();

private:
    friend class KPLXFastLockTestPeer;

    bool TryTakeGuard();
    void GiveBackGuard();
    void TakeGuardForUnlock();
    void ReadHolderUnguarded(Holder* holder) const;
    void Sleep();

    volatile LONG m_guard = 0;
    ULONGLONG m_locker = 0;
    PVOID m_ownerThread = nullptr;
    ULONG m_recursionCount = 0;
    LONGLONG m_sleepInterval = kDefaultSleepInterval;
    char m_functionName[kFunctionNameBytes] = {};
    int m_line = 0;
    ULONG m_tryBudget = kDefaultTryBudget;
};

class KPLXFastStackLock : public DriverAllocated {
public:
    KPLXFastStackLock(KPLXFastLock* lock, const void* locker, const char* functionName, int line);
    virtual ~KPLXFastStackLock();
    KPLXFastStackLock(const KPLXFastStackLock&) = delete;
    KPLXFastStackLock& operator=(const KPLXFastStackLock&) = delete;

private:
    KPLXFastLock* m_lock;
    const void* m_locker;
};
