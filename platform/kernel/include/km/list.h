// Doubly linked lists with the head and entries embedded in the caller's records (LIST_ENTRY), as
// drivers link queued requests through IRP::Tail.Overlay.ListEntry. An empty list's head points at
// itself.
#pragma once
#include "km/types.h"

struct LIST_ENTRY {
    LIST_ENTRY* Flink;
    LIST_ENTRY* Blink;
};
using PLIST_ENTRY = LIST_ENTRY*;

// The record that holds the list entry `field` at `address`.
#define CONTAINING_RECORD(address, type, field)                                                             \
    ((type*)((char*)(address) - offsetof(type, field)))

inline void InitializeListHead(PLIST_ENTRY head)
{
    head->Flink = head->Blink = head;
}

inline BOOLEAN IsListEmpty(const LIST_ENTRY* head)
{
    return head->Flink == head;
}

// Returns TRUE when the list is empty afterwards.
inline BOOLEAN RemoveEntryList(PLIST_ENTRY entry)
{
    PLIST_ENTRY next = entry->Flink;
    PLIST_ENTRY previous = entry->Blink;
    previous->Flink = next;
    next->Blink = previous;
    return next == previous;
}

// Both return the head itself when the list is empty.
inline PLIST_ENTRY RemoveHeadList(PLIST_ENTRY head)
{
    PLIST_ENTRY entry = head->Flink;
    RemoveEntryList(entry);
    return entry;
}

inline PLIST_ENTRY RemoveTailList(PLIST_ENTRY head)
{
    PLIST_ENTRY entry = head->Blink;
    RemoveEntryList(entry);
    return entry;
}

inline void InsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry)
{
    PLIST_ENTRY last = head->Blink;
    entry->Flink = head;
    entry->Blink = last;
    last->Flink = entry;
    head->Blink = entry;
}

inline void InsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry)
{
    PLIST_ENTRY first = head->Flink;
    entry->Flink = first;
    entry->Blink = head;
    first->Blink = entry;
    head->Flink = entry;
}
