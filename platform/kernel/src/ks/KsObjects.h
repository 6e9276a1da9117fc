// The framework's own records behind the kernel-streaming objects: each device's filter factories,
// each factory's filters, each filter's pins, the object bag, the event entries enabled on a filter, and the one table
// that tells which kind of object an address is, so the walks and the mutex calls can take any
// object a driver hands them.
#pragma once
#include "km/ksfilter.h"
#include "km/kspin.h"
#include "km/process.h"
#include "km/sync.h"
#include "standin/ks.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

// Items and the routines that free them, freed in reverse order of adding.
class KsObjectBag {
public:
    ~KsObjectBag();
    NTSTATUS Add(PVOID item, PFNKSFREE free);
    bool Contains(PVOID item);
    // Frees the item (with its routine) when the bag has it; true if so.
    bool Free(PVOID item);

private:
    struct Item {
        PVOID item;
        PFNKSFREE free;
    };
    std::mutex lock_;
    std::vector<Item> items_;
};

// An event enabled on a filter, known by the caller's KSEVENTDATA.
struct KsEventEntry {
    GUID set{};
    ULONG id = 0;
    ULONG flags = 0;
    const void* eventData = nullptr;
    ULONG cookie = 0;
    PRKEVENT event = nullptr; // referenced
    std::deque<std::vector<UCHAR>> records;
};

struct KsPinObject;

struct KsFilterObject {
    KSFILTER filter{};                 // first: a PKSFILTER is this record's address
    struct KsFactoryObject* factory = nullptr;
    const KSFILTER_DISPATCH* dispatch = nullptr; // kept: Close runs even after the factory went
    PFILE_OBJECT file = nullptr;
    PEPROCESS process = nullptr;
    KMUTEX control{};
    KsObjectBag bag;
    std::mutex eventLock;
    std::vector<std::unique_ptr<KsEventEntry>> events;
    std::vector<KsPinObject*> pins; // creation order, under the tree lock
};

struct KsPinObject {
    KSPIN pin{};                            // first: a PKSPIN is this record's address
    KsFilterObject* filter = nullptr;       // the filter file object stays referenced while the pin lives
    const KSPIN_DISPATCH* dispatch = nullptr; // the descriptor's at creation
    PFILE_OBJECT file = nullptr;
    KsObjectBag bag;
    PVOID masterClock = nullptr;            // the clock the graph set (a referenced clock object)
    // The stream side's record of this pin (its queue of client frames and stream pointers), made
    // by KsPinStreamCreate and ended by KsPinStreamDelete; the pin side never looks inside.
    void* stream = nullptr;
};

struct KsFactoryObject {
    KSFILTERFACTORY factory{};
    PKSDEVICE device = nullptr;
    KsObjectBag bag;
    std::u16string referenceString;
    std::vector<UNICODE_STRING> links; // one per category, registered with the I/O manager
    std::vector<KsFilterObject*> filters; // under the device's table lock
};

struct KsDeviceObject {
    KMUTEX mutex{};
    KsObjectBag bag;
    std::vector<std::unique_ptr<KsFactoryObject>> factories;
};

enum class KsObjectKind { None, Device, FilterFactory, Filter, Pin };

// The kind of object at `object` (a PKSDEVICE, PKSFILTERFACTORY, PKSFILTER or PKSPIN).
KsObjectKind KsKindOf(PVOID object);
// The framework's record of a device (made by KsCreateDevice, ended by its removal).
KsDeviceObject* KsDeviceRecord(PKSDEVICE device);
// Builds the device's record and its filter factories (interfaces registered, not yet enabled).
NTSTATUS KsAttachDeviceRecord(PKSDEVICE device);
// Ends the record: open filters are left to their close; factories and the device bag go.
void KsDetachDeviceRecord(PKSDEVICE device);
// Forgets the order the verifier saw a device or control mutex taken in, when its object goes (so
// that a new object at the same address starts without one).
void KsForgetMutexOrder(PRKMUTEX mutex);
// Enables or disables every interface of the device's factories.
void KsSetDeviceInterfacesState(PKSDEVICE device, bool enable);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case: reference strings and registry key names.
std::u16string KsGuidText(const GUID& guid);
// The lock of the object tables and the walks.
std::recursive_mutex& KsTreeLock();
void KsRegisterObject(PVOID object, KsObjectKind kind);
void KsForgetObject(PVOID object);

// The framework's handling of a filter's requests.
NTSTATUS KsCreateFilter(PKSDEVICE device, PIRP irp);
NTSTATUS KsCloseFilter(PIRP irp);
KsFilterObject* KsFilterOfFile(PFILE_OBJECT file);
NTSTATUS KsHandleProperty(KsFilterObject* filter, PIRP irp);
NTSTATUS KsHandleEnableEvent(KsFilterObject* filter, PIRP irp);
NTSTATUS KsHandleDisableEvent(KsFilterObject* filter, PIRP irp);
// Drops every event enabled on the filter.
void KsFreeFilterEvents(KsFilterObject* filter);

// Pins. A create whose file has a related file object (a filter) and whose name is the pin-create
// form is a pin's.
bool KsIsPinCreate(PIRP irp);
NTSTATUS KsCreatePinObject(PIRP irp);
NTSTATUS KsClosePin(PIRP irp);
KsPinObject* KsPinOfFile(PFILE_OBJECT file);
inline KsPinObject* KsPinRecord(PKSPIN pin)
{
    return reinterpret_cast<KsPinObject*>(pin);
}
// Property requests on a pin handle: the pin's automation table, then the connection and stream sets.
NTSTATUS KsHandlePinProperty(KsPinObject* pin, PIRP irp);
// The framework's answer to a property the object's table lacks: kernel copies of the request
// (requestLength bytes) and the data buffer (dataLength bytes, copied in); *information the bytes of
// data to return (or the size needed, with STATUS_BUFFER_OVERFLOW). STATUS_NOT_FOUND when it has none.
using KsFrameworkAnswer = std::function<NTSTATUS(const KSPROPERTY& head, UCHAR* request, ULONG requestLength,
                                                 UCHAR* data, ULONG dataLength, ULONG_PTR* information)>;
// The pin set on a filter handle, answered from the filter's pin descriptors.
NTSTATUS KsAnswerPinSet(KsFilterObject* filter, PIRP irp, UCHAR* request, ULONG requestLength, UCHAR* data,
                        ULONG dataLength, ULONG_PTR* information);
// KSPROPERTY_PIN_DATAINTERSECTION for pin type `pin` of the filter: each of the caller's ranges (the
// KSMULTIPLE_ITEM after the KSP_PIN) against each of the pin's ranges whose GUIDs match, through the
// pin's intersect handler (or the framework's own); the first answer other than STATUS_NO_MATCH
// stands.
NTSTATUS KsIntersectPin(KsFilterObject* filter, PIRP irp, const KSPIN_DESCRIPTOR_EX& pin, UCHAR* request,
                        ULONG requestLength, UCHAR* data, ULONG dataLength, ULONG_PTR* information);
// The connection and stream sets on a pin handle.
NTSTATUS KsAnswerPinConnection(KsPinObject* pin, PIRP irp, UCHAR* request, ULONG requestLength, UCHAR* data,
                               ULONG dataLength, ULONG_PTR* information);
// The size protocol of a fixed-size answer: no buffer → STATUS_BUFFER_OVERFLOW with the size, a short
// one → STATUS_BUFFER_TOO_SMALL, else the bytes copied.
NTSTATUS KsAnswerBytes(const void* bytes, size_t size, UCHAR* data, ULONG dataLength, ULONG_PTR* information);
// Steps the pin one state at a time to `to` under its filter's control mutex, calling SetDeviceState
// for each step; the first failing step ends the walk, leaving the pin in the last state reached.
NTSTATUS KsWalkPinState(KsPinObject* pin, KSSTATE to);
// At close, with the control mutex held: steps the pin down to Stop; a refused step is noted and the
// walk goes on, since nothing stops a close.
void KsStepPinDownForClose(KsPinObject* pin);
// The filter's descriptor of pin type `id` (the edited one when the filter has its own); NULL beyond.
const KSPIN_DESCRIPTOR_EX* KsFilterPinDescriptor(KsFilterObject* filter, ULONG id);
// Pins of type `id` the filter has open now.
ULONG KsFilterPinCount(KsFilterObject* filter, ULONG id);
// The framework's pool copies of connection formats.
PKSDATAFORMAT KsCopyFormat(const void* bytes, size_t length);
void KsFreeFormat(PKSDATAFORMAT format);
// Gives the pin the clock whose handle value is `handle` (0: no clock), replacing any it had.
// STATUS_INVALID_HANDLE or STATUS_OBJECT_TYPE_MISMATCH for a handle that is not a clock's.
NTSTATUS KsPinSetMasterClock(KsPinObject* pin, uint32_t handle, KPROCESSOR_MODE mode);
// Drops the pin's master clock, if any.
void KsPinReleaseMasterClock(KsPinObject* pin);

// The stream side's hooks, called by the pin side. Until the stream side defines them, weak
// defaults stand: stream requests are refused and the other hooks do nothing.
//   KsPinStreamCreate: the pin object is built and its format accepted, before the driver's Create;
//     a failure refuses the open (the pin is then undone and KsPinStreamDelete called).
//   KsPinStreamRequest: every device-control request on a pin handle other than property and event
//     requests (IOCTL_KS_READ_STREAM, IOCTL_KS_WRITE_STREAM, IOCTL_KS_RESET_STATE ...). It returns
//     STATUS_PENDING after IoMarkIrpPending when it keeps the request (and completes it later
//     itself); for any other status the caller completes the request with that status and the
//     Information the hook set.
//   KsPinStreamStateChanged: after each successful state step (DeviceState already `to`), under the
//     control mutex; at a step to Stop the stream side gives back the frames it holds. It answers
//     whether the pin, in its new state, has frames waiting for its Process dispatch.
//   KsPinStreamProcess: the pin's Process dispatch for those frames, called once a state change has
//     let go of the control mutex: a driver's Process may take that mutex itself, and a thread in
//     Process holds the pin's processing lock, so calling it under the control mutex deadlocks.
//   KsPinStreamDelete: at close after the pin reached Stop and the driver's Close ran, with no
//     request of the pin outstanding; frees what KsPinStreamCreate made.
NTSTATUS KsPinStreamCreate(PKSPIN pin);
NTSTATUS KsPinStreamRequest(PKSPIN pin, PIRP irp);
bool KsPinStreamStateChanged(PKSPIN pin, KSSTATE to, KSSTATE from);
void KsPinStreamProcess(PKSPIN pin);
void KsPinStreamDelete(PKSPIN pin);

} // namespace standin
