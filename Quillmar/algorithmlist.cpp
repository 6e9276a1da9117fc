// AlgorithmList: the nodes of a chain of processing steps and the lock around them.
#include "algorithmlist.h"

#include "algorithm.h"
#include "km/raise.h"
#include "km/status.h"

#include <cstddef>
#include <new>

AlgorithmList::AlgorithmList(Locking locking) : m_nodes(offsetof(Node, link)), m_locking(locking)
{
    KeInitializeSpinLock(&m_lock);
}

AlgorithmList::~AlgorithmList()
{
    while (RemoveHead() != nullptr) {
    }
}

KIRQL AlgorithmList::Lock()
{
    KIRQL irql = PASSIVE_LEVEL;
    if (m_locking == Locking::SpinLock)
        KeAcquireSpinLock(&m_lock, &irql);
    return irql;
}

void AlgorithmList::Unlock(KIRQL irql)
{
    if (m_locking == Locking::SpinLock)
        KeReleaseSpinLock(&m_lock, irql);
}

bool AlgorithmList::Append(Algorithm* step)
{
    if (step == nullptr)
        return false;
    void* memory = DriverAllocateNoRaise(sizeof(Node));
    if (memory == nullptr)
        return false;
    auto* node = ::new (memory) Node{};
    node->step = step;
    const KIRQL irql = Lock();
    m_nodes.InsertTail(node);
    Unlock(irql);
    return true;
}

Algorithm* AlgorithmList::RemoveHead()
{
    const KIRQL irql = Lock();
    auto* node = static_cast<Node*>(m_nodes.RemoveHead());
    Unlock(irql);
    if (node == nullptr)
        return nullptr;
    Algorithm* step = node->step;
    DriverFree(node);
    return step;
}

ULONG AlgorithmList::Count()
{
    const KIRQL irql = Lock();
    const ULONG count = m_nodes.Count();
    Unlock(irql);
    return count;
}

void AlgorithmList::DestroySteps()
{
    while (Algorithm* step = RemoveHead())
        if (step->GetAlgorithmId() != kAlgorithmIdProcessingSink)
            delete step;
}

bool AlgorithmList::MergeInto(Algorithm* root)
{
    Algorithm* current = root;
    Algorithm* step = RemoveHead();
    if (step == nullptr)
        return true;
    LONG slot = 0;
    Algorithm* candidate = current->FindFirstAlgorithmWithId(&slot, step->GetAlgorithmId());
    while (candidate != nullptr) {
        if (step->GetAlgorithmId() != kAlgorithmIdProcessingSink && candidate->IsEqual(step)) {
            // Shared: the list's copy of the step is not needed.
            current = candidate;
            delete step;
            step = RemoveHead();
            if (step == nullptr || step->GetAlgorithmId() == kAlgorithmIdProcessingSink)
                break; // the sink goes below the last shared step
            slot = -1;
        }
        candidate = current->FindNextAlgorithmWithId(&slot, step->GetAlgorithmId());
    }
    // Attach the rest below the attach point, each step below the one before.
    Algorithm* parent = current;
    while (step != nullptr) {
        if (!step->Connect(parent)) {
            if (step->GetAlgorithmId() != kAlgorithmIdProcessingSink)
                delete step;
            DestroySteps();
            return false;
        }
        if (step->GetAlgorithmId() == kAlgorithmIdProcessingSink)
            step->MarkChainModified();
        parent = step;
        step = RemoveHead();
    }
    return true;
}

void AlgorithmList::AppendOrRaiseStep(Algorithm* step)
{
    if (!Append(step)) {
        delete step;
        ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
    }
}
