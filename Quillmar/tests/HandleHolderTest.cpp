// HandleHolder and its event and mutex forms: what the holder owns is released exactly once, a
// borrowed object is never freed whatever the handle value, and the embedded objects work.
#include <gtest/gtest.h>

#include "kernel/handleholder.h"
#include "kernel/kernelevent.h"
#include "kernel/kernelmutex.h"
#include "kernel/poolallocation.h"
#include "km/object.h"
#include "km/pool.h"
#include "km/status.h"
#include "km/sync.h"
#include "km/thread.h"
#include "standin/pool.h"

namespace {

const ULONG kTag = standin::MakePoolTag("Wdm ");

VOID NTAPI ReturnAtOnce(PVOID) {}

// An open handle to a thread that has already ended.
HANDLE EndedThreadHandle()
{
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, 0x1F03FF, nullptr, nullptr, nullptr, &ReturnAtOnce, nullptr),
              STATUS_SUCCESS);
    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_SUCCESS);
    KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr);
    ObfDereferenceObject(object);
    return handle;
}

bool HandleIsOpen(HANDLE handle)
{
    PVOID object = nullptr;
    if (!NT_SUCCESS(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &object, nullptr)))
        return false;
    ObfDereferenceObject(object);
    return true;
}

} // namespace

TEST(HandleHolder, OwnedPoolMemoryIsFreedOnce)
{
    const uint64_t before = standin::PoolUsageByTag(kTag).outstandingBlocks;
    HandleHolder holder;
    holder.AttachPoolMemory(AllocatePool(32));
    EXPECT_TRUE(holder.OwnsPoolMemory());
    EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, before + 1);
    holder.Release();
    EXPECT_EQ(holder.Object(), nullptr);
    EXPECT_FALSE(holder.OwnsPoolMemory());
    EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, before);
    holder.Release(); // nothing left to free: no second free

    // Attaching something else releases the memory held before; so does the destructor.
    {
        HandleHolder other;
        other.AttachPoolMemory(AllocatePool(8));
        int borrowed = 0;
        other.Attach(&borrowed, false);
        EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, before);
        other.AttachPoolMemory(AllocatePool(8));
    }
    EXPECT_EQ(standin::PoolUsageByTag(kTag).outstandingBlocks, before);
}

// On a 64-bit system the all-ones handle is the current-process pseudo-handle: it must not make
// the holder free a borrowed object as pool memory.
TEST(HandleHolder, AllOnesHandleDoesNotMeanPoolMemory)
{
    int borrowed = 42;
    {
        HandleHolder holder;
        holder.AttachHandle(reinterpret_cast<HANDLE>(~uintptr_t{0}), false);
        holder.Attach(&borrowed, false);
        EXPECT_FALSE(holder.OwnsPoolMemory());
        EXPECT_EQ(holder.Handle(), reinterpret_cast<HANDLE>(~uintptr_t{0}));
        holder.Release();
        EXPECT_EQ(holder.Object(), nullptr);
    }
    EXPECT_EQ(borrowed, 42);
}

TEST(HandleHolder, ReferencedObjectIsDereferencedOnRelease)
{
    HANDLE handle = EndedThreadHandle();
    PVOID object = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_SUCCESS);
    HandleHolder holder;
    holder.AttachHandle(handle, true);
    holder.AttachReferenced(object);
    EXPECT_TRUE(holder.ObjectReferenced());
    EXPECT_EQ(holder.Object(), object);
    holder.Release(); // the reference goes; the leak check would report it otherwise
    EXPECT_FALSE(holder.ObjectReferenced());
    EXPECT_TRUE(HandleIsOpen(handle)); // Release leaves the handle
    EXPECT_EQ(holder.Close(), STATUS_SUCCESS);
    EXPECT_FALSE(HandleIsOpen(handle));
    EXPECT_EQ(holder.Handle(), nullptr);
    EXPECT_EQ(holder.Close(), STATUS_SUCCESS); // nothing to close
}

TEST(HandleHolder, OnlyOwnedHandlesAreClosed)
{
    HANDLE handle = EndedThreadHandle();
    {
        HandleHolder notOwner;
        notOwner.AttachHandle(handle, false);
        EXPECT_EQ(notOwner.Close(), STATUS_SUCCESS);
    }
    EXPECT_TRUE(HandleIsOpen(handle));

    // Clearing the handle on Attach closes an owned one rather than losing it.
    HandleHolder owner;
    owner.AttachHandle(handle, true);
    int borrowed = 0;
    owner.Attach(&borrowed, true);
    EXPECT_EQ(owner.Handle(), nullptr);
    EXPECT_FALSE(owner.OwnsHandle());
    EXPECT_FALSE(HandleIsOpen(handle));

    // The destructor closes an owned handle too.
    HANDLE second = EndedThreadHandle();
    {
        HandleHolder holder;
        holder.AttachHandle(second, true);
    }
    EXPECT_FALSE(HandleIsOpen(second));
}

TEST(KernelEvent, EmbeddedEventIsTheHeldObject)
{
    KernelEvent event(SynchronizationEvent, FALSE);
    EXPECT_EQ(event.Object(), event.Event());
    LARGE_INTEGER zero{};
    EXPECT_EQ(KeWaitForSingleObject(event.Event(), Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
    KeSetEvent(event.Event(), 0, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(event.Event(), Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(event.Event(), Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);

    // Re-initialised as a signalled notification event, under the queue's name.
    KernelEventQueue& queueEvent = event;
    queueEvent.Initialize(NotificationEvent, TRUE);
    EXPECT_EQ(KeWaitForSingleObject(event.Event(), Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(event.Event(), Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    event.Release(); // borrowed: nothing is freed
    EXPECT_EQ(event.Object(), nullptr);
    EXPECT_EQ(KeReadStateEvent(event.Event()), 1);
}

TEST(KernelMutex, EmbeddedMutexIsRecursive)
{
    KernelMutex mutex(0);
    EXPECT_EQ(mutex.Object(), mutex.Mutex());
    EXPECT_EQ(mutex.Mutex()->Level, 0u);
    ASSERT_EQ(KeWaitForSingleObject(mutex.Mutex(), Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(KeWaitForSingleObject(mutex.Mutex(), Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeReleaseMutex(mutex.Mutex(), FALSE), -1);
    EXPECT_EQ(KeReleaseMutex(mutex.Mutex(), FALSE), 0);
    KernelMutex levelled(3);
    EXPECT_EQ(levelled.Mutex()->Level, 3u);
}
