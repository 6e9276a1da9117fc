// Event objects behind handles: a KEVENT that lives as long as its handles and references.
#include "km/eventobject.h"
#include "km/status.h"
#include "standin/object.h"

namespace standin {
namespace {

OBJECT_TYPE g_eventType{"Event"};
POBJECT_TYPE g_eventTypePointer = &g_eventType;

class EventObject : public KernelObject {
public:
    EventObject(EVENT_TYPE type, BOOLEAN state) : KernelObject(&g_eventType)
    {
        KeInitializeEvent(&event_, type, state);
    }
    PVOID Body() const override { return const_cast<KEVENT*>(&event_); }
    std::string Describe() const override { return "event object"; }

private:
    KEVENT event_{};
};

} // namespace

NTSTATUS CreateEventObject(EVENT_TYPE type, BOOLEAN initialState, bool kernelHandle, PHANDLE handle)
{
    if (!handle)
        return STATUS_INVALID_PARAMETER;
    auto* event = new EventObject(type, initialState);
    InsertObject(event);
    const NTSTATUS status = CreateHandle(event, EVENT_ALL_ACCESS, kernelHandle ? OBJ_KERNEL_HANDLE : 0, handle);
    DereferenceObject(event); // the handle holds it now, or nothing does
    return status;
}

} // namespace standin

POBJECT_TYPE* ExEventObjectType = &standin::g_eventTypePointer;
