// Dispatcher-object state rules and blocking. A signal hands the object directly to the waiters it
// satisfies (in the order they began to wait), so a synchronization event set while a thread waits
// releases exactly that thread and stays not signalled, and a released mutex passes straight to its
// next waiter. A waiter that waits for all of several objects is passed over until all of them
// allow it, then takes them in one step.
#include "Dispatcher.h"

#include "KernelThread.h"
#include "km/status.h"
#include "platform/Clock.h"

namespace standin {

namespace {
constexpr UCHAR kSignature = 0xD7;

UCHAR SizeInLongs(size_t bytes)
{
    return static_cast<UCHAR>(bytes / sizeof(LONG));
}
} // namespace

Dispatcher& Dispatcher::Instance()
{
    static Dispatcher* dispatcher = new Dispatcher; // never destroyed: threads may signal at exit
    return *dispatcher;
}

void Dispatcher::InitializeHeader(DISPATCHER_HEADER* header, UCHAR type, size_t objectSize, LONG signalState)
{
    header->Type = type;
    header->Signature = kSignature;
    header->Size = SizeInLongs(objectSize);
    header->Reserved = 0;
    header->SignalState = signalState;
    header->WaitListFirst = nullptr;
    header->WaitListLast = nullptr;
}

bool Dispatcher::IsValid(const DISPATCHER_HEADER* header)
{
    if (!header || header->Signature != kSignature)
        return false;
    switch (header->Type) {
    case EventNotificationObject:
    case EventSynchronizationObject:
        return header->Size == SizeInLongs(sizeof(KEVENT));
    case MutantObject:
        return header->Size == SizeInLongs(sizeof(KMUTEX));
    case ThreadObject:
        return header->Size == SizeInLongs(sizeof(KTHREAD));
    default:
        return false;
    }
}

bool Dispatcher::IsEvent(const DISPATCHER_HEADER* header)
{
    return IsValid(header) &&
           (header->Type == EventNotificationObject || header->Type == EventSynchronizationObject);
}

bool Dispatcher::IsMutex(const DISPATCHER_HEADER* header)
{
    return IsValid(header) && header->Type == MutantObject;
}

size_t Dispatcher::WaiterCount(const DISPATCHER_HEADER* header)
{
    size_t count = 0;
    for (auto* b = static_cast<const KWAIT_BLOCK*>(header->WaitListFirst); b; b = b->WaitListNext)
        ++count;
    return count;
}

bool Dispatcher::CanSatisfy(const DISPATCHER_HEADER* object, const KernelThread* thread)
{
    switch (object->Type) {
    case EventNotificationObject:
    case EventSynchronizationObject:
    case ThreadObject:
        return object->SignalState > 0;
    case MutantObject:
        return object->SignalState > 0 || reinterpret_cast<const KMUTEX*>(object)->OwnerThread == thread;
    default:
        return false;
    }
}

bool Dispatcher::TrySatisfy(DISPATCHER_HEADER* object, KernelThread* thread)
{
    if (!CanSatisfy(object, thread))
        return false;
    switch (object->Type) {
    case EventSynchronizationObject:
        object->SignalState = 0;
        break;
    case MutantObject: {
        auto* mutex = reinterpret_cast<KMUTEX*>(object);
        if (object->SignalState > 0) {
            object->SignalState = 0;
            mutex->OwnerThread = thread;
            thread->heldMutexes.push_back(mutex);
        } else {
            --object->SignalState;
        }
        break;
    }
    default:
        break;
    }
    return true;
}

bool Dispatcher::TrySatisfyWait(WaitRecord& wait, KernelThread* thread, KWAIT_BLOCK* through)
{
    if (!wait.all) {
        if (!TrySatisfy(static_cast<DISPATCHER_HEADER*>(through->Object), thread))
            return false;
        wait.satisfiedKey = through->WaitKey;
        return true;
    }
    for (ULONG i = 0; i < wait.count; ++i)
        if (!CanSatisfy(static_cast<DISPATCHER_HEADER*>(wait.blocks[i].Object), thread))
            return false;
    for (ULONG i = 0; i < wait.count; ++i)
        TrySatisfy(static_cast<DISPATCHER_HEADER*>(wait.blocks[i].Object), thread);
    wait.satisfiedKey = 0;
    return true;
}

void Dispatcher::SatisfyWaiters(DISPATCHER_HEADER* object)
{
    // Each release unlinks a whole wait (possibly several blocks of this list), so the walk starts
    // again from the head after each; a pass that releases nobody ends it.
    for (bool released = true; released;) {
        released = false;
        for (auto* block = static_cast<KWAIT_BLOCK*>(object->WaitListFirst); block; block = block->WaitListNext) {
            auto* thread = KernelThread::FromKThread(block->Thread);
            WaitRecord* wait = thread->currentWait;
            if (!wait || !TrySatisfyWait(*wait, thread, block))
                continue;
            UnlinkAll(*wait);
            thread->currentWait = nullptr;
            wait->wake.notify_one();
            released = true;
            break;
        }
    }
}

NTSTATUS Dispatcher::Wait(std::unique_lock<std::mutex>& hold, DISPATCHER_HEADER* const* objects, ULONG count,
                          bool all, KernelThread* thread, KWAIT_BLOCK* blocks, bool mayBlock, int64_t expiry)
{
    WaitRecord wait;
    wait.blocks = blocks;
    wait.count = count;
    wait.all = all;
    for (ULONG i = 0; i < count; ++i) {
        blocks[i] = KWAIT_BLOCK{};
        blocks[i].Thread = thread;
        blocks[i].Object = objects[i];
        blocks[i].WaitKey = static_cast<USHORT>(i);
        blocks[i].WaitType = static_cast<UCHAR>(all ? WaitAll : WaitAny);
    }
    if (all) {
        if (TrySatisfyWait(wait, thread, &blocks[0]))
            return STATUS_SUCCESS;
    } else {
        for (ULONG i = 0; i < count; ++i)
            if (TrySatisfyWait(wait, thread, &blocks[i]))
                return STATUS_WAIT_0 + static_cast<NTSTATUS>(i);
    }
    if (!mayBlock)
        return STATUS_TIMEOUT;

    for (ULONG i = 0; i < count; ++i)
        Link(objects[i], &blocks[i]);
    thread->currentWait = &wait;
    const bool satisfied =
        platform::Clock::WaitUntil(hold, wait.wake, expiry, [&wait] { return wait.satisfiedKey >= 0; });
    if (!satisfied) {
        UnlinkAll(wait);
        thread->currentWait = nullptr;
        return STATUS_TIMEOUT;
    }
    return all ? STATUS_SUCCESS : STATUS_WAIT_0 + wait.satisfiedKey;
}

bool Dispatcher::HasWaiters(const DISPATCHER_HEADER* header)
{
    return Instance().waitedOn_.count(header) != 0;
}

void Dispatcher::Link(DISPATCHER_HEADER* object, KWAIT_BLOCK* block)
{
    Instance().waitedOn_.insert(object);
    auto* last = static_cast<KWAIT_BLOCK*>(object->WaitListLast);
    block->WaitListPrev = last;
    block->WaitListNext = nullptr;
    if (last)
        last->WaitListNext = block;
    else
        object->WaitListFirst = block;
    object->WaitListLast = block;
}

void Dispatcher::Unlink(DISPATCHER_HEADER* object, KWAIT_BLOCK* block)
{
    if (block->WaitListPrev)
        block->WaitListPrev->WaitListNext = block->WaitListNext;
    else
        object->WaitListFirst = block->WaitListNext;
    if (block->WaitListNext)
        block->WaitListNext->WaitListPrev = block->WaitListPrev;
    else
        object->WaitListLast = block->WaitListPrev;
    block->WaitListPrev = block->WaitListNext = nullptr;
    if (!object->WaitListFirst)
        Instance().waitedOn_.erase(object);
}

void Dispatcher::UnlinkAll(WaitRecord& wait)
{
    for (ULONG i = 0; i < wait.count; ++i)
        Unlink(static_cast<DISPATCHER_HEADER*>(wait.blocks[i].Object), &wait.blocks[i]);
}

} // namespace standin
