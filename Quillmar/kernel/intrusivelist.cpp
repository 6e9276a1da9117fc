// The list's link arithmetic and its operations.
#include "kernel/intrusivelist.h"

void IntrusiveList::Initialize(size_t linkOffset)
{
    m_linkOffset = linkOffset;
    m_head.next = &m_head;
    m_head.previous = &m_head;
}

IntrusiveListLink* IntrusiveList::LinkOf(const void* element) const
{
    return reinterpret_cast<IntrusiveListLink*>(const_cast<char*>(static_cast<const char*>(element)) +
                                                m_linkOffset);
}

void* IntrusiveList::ElementOf(const IntrusiveListLink* link) const
{
    if (link == &m_head)
        return nullptr;
    return const_cast<char*>(reinterpret_cast<const char*>(link)) - m_linkOffset;
}

void IntrusiveList::InsertTail(void* element)
{
    if (!element)
        return;
    IntrusiveListLink* link = LinkOf(element);
    link->next = &m_head;
    link->previous = m_head.previous;
    m_head.previous->next = link;
    m_head.previous = link;
}

void IntrusiveList::Remove(void* element)
{
    if (!element)
        return;
    IntrusiveListLink* link = LinkOf(element);
    if (!link->next || !link->previous)
        return;
    link->previous->next = link->next;
    link->next->previous = link->previous;
    link->next = nullptr;
    link->previous = nullptr;
}

void* IntrusiveList::RemoveHead()
{
    void* element = First();
    Remove(element);
    return element;
}

void* IntrusiveList::RemoveTail()
{
    void* element = ElementOf(m_head.previous);
    Remove(element);
    return element;
}

void* IntrusiveList::First() const
{
    return ElementOf(m_head.next);
}

void* IntrusiveList::Next(const void* element) const
{
    if (!element)
        return nullptr;
    const IntrusiveListLink* link = LinkOf(element);
    return link->next ? ElementOf(link->next) : nullptr;
}

ULONG IntrusiveList::Count() const
{
    ULONG count = 0;
    for (const IntrusiveListLink* link = m_head.next; link != &m_head; link = link->next)
        ++count;
    return count;
}
