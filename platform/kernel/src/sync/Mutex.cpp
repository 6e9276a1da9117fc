// Recursive kernel mutexes. Acquisition is KeWaitForSingleObject; release hands the mutex to the
// first waiter when the owner's last level goes.
#include "Dispatcher.h"
#include "KernelThread.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/sync.h"
#include "standin/verifier.h"

#include <algorithm>
#include <string>

extern "C" VOID NTAPI KeInitializeMutex(PRKMUTEX Mutex, ULONG Level)
{
    if (!Mutex) {
        standin::VerifierReport("bad-argument", "KeInitializeMutex without a mutex");
        return;
    }
    {
        std::lock_guard<std::mutex> hold(standin::Dispatcher::Instance().Lock());
        const bool inUse = standin::Dispatcher::IsMutex(&Mutex->Header) &&
                           (standin::Dispatcher::HasWaiters(&Mutex->Header) || Mutex->OwnerThread);
        if (!inUse) {
            standin::Dispatcher::InitializeHeader(&Mutex->Header, MutantObject, sizeof(KMUTEX), 1);
            Mutex->Level = Level;
            Mutex->Reserved1 = 0;
            Mutex->Reserved2 = nullptr;
            Mutex->OwnerThread = nullptr;
            Mutex->Abandoned = FALSE;
            Mutex->ApcDisable = 0;
            return;
        }
    }
    standin::VerifierReport("reinitialise",
                            standin::CallText("KeInitializeMutex", Mutex) +
                                " while it is held or waited on; the mutex was left as it was");
}

extern "C" LONG NTAPI KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN)
{
    standin::CheckIrqlAtMost("KeReleaseMutex", DISPATCH_LEVEL);
    auto* self = standin::KernelThread::Current();
    auto& dispatcher = standin::Dispatcher::Instance();
    LONG state = 0;
    bool isMutex = false;
    {
        std::lock_guard<std::mutex> hold(dispatcher.Lock());
        isMutex = Mutex && standin::Dispatcher::IsMutex(&Mutex->Header);
        if (isMutex && Mutex->OwnerThread != self)
            state = Mutex->Header.SignalState;
        if (isMutex && Mutex->OwnerThread == self) {
            const LONG previous = Mutex->Header.SignalState++;
            if (Mutex->Header.SignalState == 1) {
                Mutex->OwnerThread = nullptr;
                auto& held = self->heldMutexes;
                held.erase(std::find(held.begin(), held.end(), Mutex));
                dispatcher.SatisfyWaiters(&Mutex->Header);
            }
            return previous;
        }
    }
    if (!isMutex)
        standin::VerifierReport("bad-object", standin::CallText("KeReleaseMutex", Mutex) +
                                                  ", which is not an initialised mutex");
    else
        standin::VerifierReport("mutex-not-owned", standin::CallText("KeReleaseMutex", Mutex) + " by " +
                                                       self->Describe() +
                                                       ", which does not own it; nothing was released");
    return state;
}
