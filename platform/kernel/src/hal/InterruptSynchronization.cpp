// Running code serialised with a service routine: KeSynchronizeExecution and the interrupt spin lock.
#include "InterruptConnections.h"
#include "Reports.h"
#include "km/interrupt.h"
#include "km/irql.h"
#include "km/spinlock.h"
#include "standin/verifier.h"

#include <string>

namespace {

// Raises to the interrupt's SynchronizeIrql and returns the level to go back to. A caller already
// above it is reported and stays where it is.
KIRQL RaiseToSynchronizeLevel(const char* function, PKINTERRUPT interrupt)
{
    KIRQL old = KeGetCurrentIrql();
    if (old > interrupt->SynchronizeIrql)
        standin::VerifierReport("irql", standin::CallText(function, interrupt) + " at IRQL " +
                                            std::to_string(old) + ", above the interrupt's SynchronizeIrql " +
                                            std::to_string(interrupt->SynchronizeIrql));
    else
        KeRaiseIrql(interrupt->SynchronizeIrql, &old);
    return old;
}

// Gives the lock and the level back however the synchronised routine ends.
class InterruptLockHold {
public:
    explicit InterruptLockHold(PKINTERRUPT interrupt)
        : interrupt_(interrupt), old_(RaiseToSynchronizeLevel("KeSynchronizeExecution", interrupt))
    {
        KeAcquireSpinLockAtDpcLevel(interrupt_->ActualLock);
    }
    ~InterruptLockHold()
    {
        KeReleaseSpinLockFromDpcLevel(interrupt_->ActualLock);
        KeLowerIrql(old_);
    }
    InterruptLockHold(const InterruptLockHold&) = delete;
    InterruptLockHold& operator=(const InterruptLockHold&) = delete;

private:
    PKINTERRUPT interrupt_;
    KIRQL old_;
};

} // namespace

extern "C" BOOLEAN NTAPI KeSynchronizeExecution(PKINTERRUPT Interrupt,
                                                PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                                                PVOID SynchronizeContext)
{
    if (!SynchronizeRoutine) {
        standin::VerifierReport("bad-argument", standin::CallText("KeSynchronizeExecution", Interrupt) +
                                                    " without a routine");
        return FALSE;
    }
    if (!standin::InterruptConnections::Instance().CheckConnected("KeSynchronizeExecution", Interrupt))
        return FALSE;
    InterruptLockHold hold(Interrupt);
    return SynchronizeRoutine(SynchronizeContext);
}

extern "C" KIRQL NTAPI KeAcquireInterruptSpinLock(PKINTERRUPT Interrupt)
{
    if (!standin::InterruptConnections::Instance().CheckConnected("KeAcquireInterruptSpinLock", Interrupt))
        return KeGetCurrentIrql();
    const KIRQL old = RaiseToSynchronizeLevel("KeAcquireInterruptSpinLock", Interrupt);
    KeAcquireSpinLockAtDpcLevel(Interrupt->ActualLock);
    return old;
}

extern "C" VOID NTAPI KeReleaseInterruptSpinLock(PKINTERRUPT Interrupt, KIRQL OldIrql)
{
    if (!standin::InterruptConnections::Instance().CheckConnected("KeReleaseInterruptSpinLock", Interrupt))
        return;
    KeReleaseSpinLockFromDpcLevel(Interrupt->ActualLock);
    KeLowerIrql(OldIrql);
}
