// The static construction table, the destructor list and the load status they report.
#include "kernel/staticlifetime.h"

#include "kernel/driverheap.h"
#include "kernel/poolallocation.h"
#include "km/status.h"

#include <array>

namespace {

struct StaticDestructorNode {
    StaticDestructorNode* next;
    StaticOperation operation;
};

constinit StaticDestructorNode* g_destructors = nullptr;
constinit NTSTATUS g_loadStatus = STATUS_SUCCESS;

// Start operations of the driver's static objects, in construction order, after
// RunStaticInitializers. Each registers its stop operation with RegisterStaticDestructor.
constexpr std::array<StaticOperation, 0> kStaticConstructors{};

} // namespace

bool RegisterStaticDestructor(StaticOperation destructor)
{
    if (!destructor)
        return false;
    auto* node = static_cast<StaticDestructorNode*>(AllocatePool(sizeof(StaticDestructorNode)));
    if (!node) {
        destructor();
        g_loadStatus = STATUS_INSUFFICIENT_RESOURCES;
        return false;
    }
    node->next = g_destructors;
    node->operation = destructor;
    g_destructors = node;
    return true;
}

void RunStaticInitializers()
{
    CreateDriverHeap();
}

void RunStaticDestructors()
{
    DestroyDriverHeap();
}

NTSTATUS RunStaticConstruction()
{
    return RunStaticConstructionTable(kStaticConstructors.data(), kStaticConstructors.size());
}

NTSTATUS RunStaticConstructionTable(const StaticOperation* constructors, size_t count)
{
    g_loadStatus = STATUS_SUCCESS;
    RunStaticInitializers();
    for (size_t i = 0; i < count && NT_SUCCESS(g_loadStatus); ++i) {
        if (constructors[i])
            constructors[i]();
    }
    const NTSTATUS status = g_loadStatus;
    if (!NT_SUCCESS(status))
        RunStaticDestruction();
    return status;
}

void RunStaticDestruction()
{
    while (StaticDestructorNode* node = g_destructors) {
        g_destructors = node->next;
        node->operation();
        FreePool(node);
    }
    RunStaticDestructors();
}
