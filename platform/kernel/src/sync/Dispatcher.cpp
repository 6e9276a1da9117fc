// Dispatcher-object state rules and blocking. A signal hands the object directly to the waiters it
// satisfies (in the order they began to wait), so a synchronization event set while a thread waits
// releases exactly that thread and stays not signalled, and a released mutex passes straight to its
// next waiter.
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
    for (auto* b = static_cast<const WaitBlock*>(header->WaitListFirst); b; b = b->next)
        ++count;
    return count;
}

bool Dispatcher::TrySatisfy(DISPATCHER_HEADER* object, KernelThread* thread)
{
    switch (object->Type) {
    case EventNotificationObject:
    case ThreadObject:
        return object->SignalState > 0;
    case EventSynchronizationObject:
        if (object->SignalState <= 0)
            return false;
        object->SignalState = 0;
        return true;
    case MutantObject: {
        auto* mutex = reinterpret_cast<KMUTEX*>(object);
        if (object->SignalState > 0) {
            object->SignalState = 0;
            mutex->OwnerThread = thread;
            thread->heldMutexes.push_back(mutex);
            return true;
        }
        if (mutex->OwnerThread == thread) {
            --object->SignalState;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

void Dispatcher::SatisfyWaiters(DISPATCHER_HEADER* object)
{
    while (auto* block = static_cast<WaitBlock*>(object->WaitListFirst)) {
        if (!TrySatisfy(object, block->thread))
            break;
        Unlink(object, block);
        block->satisfied = true;
        block->wake.notify_one();
    }
}

NTSTATUS Dispatcher::Block(std::unique_lock<std::mutex>& hold, DISPATCHER_HEADER* object,
                           KernelThread* thread, int64_t deadline)
{
    WaitBlock block;
    block.object = object;
    block.thread = thread;
    Link(object, &block);
    const bool satisfied =
        platform::Clock::WaitUntil(hold, block.wake, deadline, [&block] { return block.satisfied; });
    if (!satisfied)
        Unlink(object, &block);
    return satisfied ? STATUS_SUCCESS : STATUS_TIMEOUT;
}

bool Dispatcher::HasWaiters(const DISPATCHER_HEADER* header)
{
    return Instance().waitedOn_.count(header) != 0;
}

void Dispatcher::Link(DISPATCHER_HEADER* object, WaitBlock* block)
{
    Instance().waitedOn_.insert(object);
    auto* last = static_cast<WaitBlock*>(object->WaitListLast);
    block->prev = last;
    block->next = nullptr;
    if (last)
        last->next = block;
    else
        object->WaitListFirst = block;
    object->WaitListLast = block;
}

void Dispatcher::Unlink(DISPATCHER_HEADER* object, WaitBlock* block)
{
    if (block->prev)
        block->prev->next = block->next;
    else
        object->WaitListFirst = block->next;
    if (block->next)
        block->next->prev = block->prev;
    else
        object->WaitListLast = block->prev;
    block->prev = block->next = nullptr;
    if (!object->WaitListFirst)
        Instance().waitedOn_.erase(object);
}

} // namespace standin
