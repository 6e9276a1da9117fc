// Notification and synchronization events.
#include "Dispatcher.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/sync.h"
#include "standin/verifier.h"

#include <string>

namespace {

void ReportNotAnEvent(const char* function, const void* event)
{
    standin::VerifierReport("bad-object",
                            standin::CallText(function, event) + ", which is not an initialised event");
}

} // namespace

extern "C" VOID NTAPI KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State)
{
    if (!Event || (Type != NotificationEvent && Type != SynchronizationEvent)) {
        standin::VerifierReport("bad-argument", standin::CallText("KeInitializeEvent", Event) +
                                                    " with event type " +
                                                    std::to_string(static_cast<int>(Type)));
        return;
    }
    {
        std::lock_guard<std::mutex> hold(standin::Dispatcher::Instance().Lock());
        if (!standin::Dispatcher::IsValid(&Event->Header) ||
            !standin::Dispatcher::HasWaiters(&Event->Header)) {
            standin::Dispatcher::InitializeHeader(&Event->Header,
                                                  Type == NotificationEvent ? EventNotificationObject
                                                                            : EventSynchronizationObject,
                                                  sizeof(KEVENT), State ? 1 : 0);
            return;
        }
    }
    standin::VerifierReport("reinitialise", standin::CallText("KeInitializeEvent", Event) +
                                                " while threads wait on it; the event was left as it was");
}

extern "C" LONG NTAPI KeSetEvent(PRKEVENT Event, KPRIORITY, BOOLEAN)
{
    standin::CheckIrqlAtMost("KeSetEvent", DISPATCH_LEVEL);
    auto& dispatcher = standin::Dispatcher::Instance();
    {
        std::lock_guard<std::mutex> hold(dispatcher.Lock());
        if (Event && standin::Dispatcher::IsEvent(&Event->Header)) {
            const LONG previous = Event->Header.SignalState;
            Event->Header.SignalState = 1;
            dispatcher.SatisfyWaiters(&Event->Header);
            return previous;
        }
    }
    ReportNotAnEvent("KeSetEvent", Event);
    return 0;
}

extern "C" LONG NTAPI KeResetEvent(PRKEVENT Event)
{
    standin::CheckIrqlAtMost("KeResetEvent", DISPATCH_LEVEL);
    {
        std::lock_guard<std::mutex> hold(standin::Dispatcher::Instance().Lock());
        if (Event && standin::Dispatcher::IsEvent(&Event->Header)) {
            const LONG previous = Event->Header.SignalState;
            Event->Header.SignalState = 0;
            return previous;
        }
    }
    ReportNotAnEvent("KeResetEvent", Event);
    return 0;
}

extern "C" VOID NTAPI KeClearEvent(PRKEVENT Event)
{
    standin::CheckIrqlAtMost("KeClearEvent", DISPATCH_LEVEL);
    {
        std::lock_guard<std::mutex> hold(standin::Dispatcher::Instance().Lock());
        if (Event && standin::Dispatcher::IsEvent(&Event->Header)) {
            Event->Header.SignalState = 0;
            return;
        }
    }
    ReportNotAnEvent("KeClearEvent", Event);
}

extern "C" LONG NTAPI KeReadStateEvent(PRKEVENT Event)
{
    standin::CheckIrqlAtMost("KeReadStateEvent", DISPATCH_LEVEL);
    {
        std::lock_guard<std::mutex> hold(standin::Dispatcher::Instance().Lock());
        if (Event && standin::Dispatcher::IsEvent(&Event->Header))
            return Event->Header.SignalState;
    }
    ReportNotAnEvent("KeReadStateEvent", Event);
    return 0;
}
