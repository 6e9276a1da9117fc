// KernelEvent: a HandleHolder whose object is a kernel event stored right behind it.
#pragma once
#include "kernel/handleholder.h"
#include "km/sync.h"

class KernelEvent : public HandleHolder {
public:
    KernelEvent(EVENT_TYPE type, BOOLEAN initialState) { Initialize(type, initialState); }

    // KeInitializeEvent on the embedded event, which becomes the held object again.
    void Initialize(EVENT_TYPE type, BOOLEAN initialState);
    PKEVENT Event() { return &m_event; }

private:
    KEVENT m_event{};
};

// KernelEventQueue::Initialize re-arms the same embedded event: the two names are one class.
using KernelEventQueue = KernelEvent;
