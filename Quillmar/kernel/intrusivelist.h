// IntrusiveList: a circular doubly linked list threaded through a link that each element carries
// at a fixed byte offset, so that putting an element on a list allocates nothing. The head is the
// list's own link (first, last); operations take and return element pointers, never links. The
// head points at itself, so a list cannot be copied or moved. It does not lock: the owner
// serialises.
#pragma once
#include "km/types.h"

#include <cstddef>

struct IntrusiveListLink {
    IntrusiveListLink* next = nullptr;
    IntrusiveListLink* previous = nullptr;
};

class IntrusiveList {
public:
    IntrusiveList() { Initialize(0); }
    explicit IntrusiveList(size_t linkOffset) { Initialize(linkOffset); }
    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;

    // An empty list of elements whose link lies linkOffset bytes into them (offsetof).
    void Initialize(size_t linkOffset);

    // An element goes on one list at a time; a null element is ignored.
    void InsertTail(void* element);
    // Take an element off the list; null when it is empty.
    void* RemoveHead();
    void* RemoveTail();
    // Takes the element off this list; one that is on no list (its link cleared by a removal) is
    // left alone.
    void Remove(void* element);

    // Null when the list is empty, or after the last element.
    void* First() const;
    void* Next(const void* element) const;
    bool IsEmpty() const { return m_head.next == &m_head; }
    // Walks the list.
    ULONG Count() const;

private:
    IntrusiveListLink* LinkOf(const void* element) const;
    void* ElementOf(const IntrusiveListLink* link) const;

    IntrusiveListLink m_head; // next: the first element's link, previous: the last's
    size_t m_linkOffset = 0;
};
