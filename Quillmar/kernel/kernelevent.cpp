// The embedded kernel event.
#include "kernel/kernelevent.h"

void KernelEvent::Initialize(EVENT_TYPE type, BOOLEAN initialState)
{
    KeInitializeEvent(&m_event, type, initialState);
    Attach(&m_event, false);
}
