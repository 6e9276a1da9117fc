// AlgorithmList: one pin's chain of processing steps on its way into a stream's tree, in order,
// the pin's sink last. A node per step, from the driver's allocation; the list owns its nodes, not
// the steps. A list built at dispatch level guards each access with its spin lock; a list that
// only one thread touches (the chain rebuild of a settings change) is made without one.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/intrusivelist.h"
#include "km/spinlock.h"
#include "km/types.h"

class Algorithm;

class AlgorithmList : public DriverAllocated {
public:
    enum class Locking { None, SpinLock };

    explicit AlgorithmList(Locking locking = Locking::SpinLock);
    // Frees the nodes; the steps stay where they are.
    ~AlgorithmList();
    AlgorithmList(const AlgorithmList&) = delete;
    AlgorithmList& operator=(const AlgorithmList&) = delete;

    // False when the step is null or no node can be had.
    bool Append(Algorithm* step);
    // Append for the chain builders, which build under one handler: a step that gets no node is
    // destroyed and STATUS_INSUFFICIENT_RESOURCES raised (ExRaiseStatus). Answers the step.
    template <class Step> Step* AppendOrRaise(Step* step)
    {
        AppendOrRaiseStep(step);
        return step;
    }
    // The first step, taken off the list; null when it is empty.
    Algorithm* RemoveHead();
    ULONG Count();
    bool IsEmpty() { return Count() == 0; }
    // Merges the list into the tree below `root`, emptying it: leading steps that compare equal
    // (IsEqual) with a child path already there are shared and the list's copies destroyed; the
    // rest hang below the last shared step, each below the one before; a sink is never shared and
    // is marked modified with its new ancestors. False when a step would get a 17th child: that
    // step and the rest of the list are destroyed (sinks left alone). A list whose steps are all
    // shared needs no sink. The caller holds the tree's processing lock; the list is not empty.
    bool MergeInto(Algorithm* root);
    // Destroys every step still on the list except sinks (their pins own them) and empties it:
    // for a chain that could not be merged.
    void DestroySteps();

private:
    void AppendOrRaiseStep(Algorithm* step);

    struct Node {
        IntrusiveListLink link;
        Algorithm* step;
    };
    KIRQL Lock();
    void Unlock(KIRQL irql);

    IntrusiveList m_nodes;
    Locking m_locking;
    KSPIN_LOCK m_lock = 0;
};
