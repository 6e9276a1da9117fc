// Per-thread interrupt request level.
#include "km/irql.h"

#include "standin/system.h"
#include "standin/verifier.h"

#include <string>

namespace {
thread_local KIRQL t_irql = PASSIVE_LEVEL;
}

extern "C" KIRQL NTAPI KeGetCurrentIrql()
{
    return t_irql;
}

extern "C" VOID NTAPI KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql)
{
    const KIRQL old = t_irql;
    if (OldIrql)
        *OldIrql = old;
    if (NewIrql < old) {
        standin::VerifierReport("irql", "KeRaiseIrql to " + std::to_string(NewIrql) + " below current level " +
                                            std::to_string(old));
        return;
    }
    if (NewIrql > HIGH_LEVEL) {
        standin::VerifierReport("irql", "KeRaiseIrql to invalid level " + std::to_string(NewIrql));
        return;
    }
    t_irql = NewIrql;
}

extern "C" VOID NTAPI KeLowerIrql(KIRQL NewIrql)
{
    if (NewIrql > t_irql) {
        standin::VerifierReport("irql", "KeLowerIrql to " + std::to_string(NewIrql) + " above current level " +
                                            std::to_string(t_irql));
        return;
    }
    t_irql = NewIrql;
}

extern "C" KIRQL NTAPI KeRaiseIrqlToDpcLevel()
{
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    return old;
}

namespace standin {
void SetCurrentIrql(KIRQL irql)
{
    t_irql = irql;
}
} // namespace standin
