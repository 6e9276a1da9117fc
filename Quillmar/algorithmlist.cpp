// AlgorithmList: the nodes of a chain of processing steps and the lock around them.
#include "algorithmlist.h"

#include "algorithm.h"

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
