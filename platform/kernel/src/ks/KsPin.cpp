// Pins: opening one on a filter (the create request's name is the pin-create string followed by the
// connect record and the data format), the checks of that request, the format handed to the pin's
// SetDataFormat before its Create, closing a pin (stepped down to Stop first), and the walks between
// a filter and its pins.
#include "KsDataRanges.h"
#include "KsObjects.h"
#include "km/fileobject.h"
#include "km/pool.h"
#include "km/status.h"
#include "standin/ks.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string_view>

namespace standin {
namespace {

constexpr ULONG kFormatTag = 0x6650734B; // "KsPf"

std::atomic<size_t> g_openPins{0};

// The request's bytes after "[\]{pin-create string}\": the connect record and the format.
bool PinCreateBytes(PFILE_OBJECT file, std::u16string_view* bytes)
{
    if (!file || !file->FileName.Buffer)
        return false;
    std::u16string_view name(file->FileName.Buffer, file->FileName.Length / sizeof(char16_t));
    if (!name.empty() && name.front() == u'\\')
        name.remove_prefix(1);
    const std::u16string_view pin(KSSTRING_Pin);
    if (name.size() <= pin.size() || name[pin.size()] != u'\\')
        return false;
    for (size_t i = 0; i < pin.size(); ++i) {
        char16_t c = name[i];
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        if (c != pin[i])
            return false;
    }
    *bytes = name.substr(pin.size() + 1);
    return true;
}

const KSPIN_DESCRIPTOR_EX* PinDescriptorAt(const KSFILTER_DESCRIPTOR* filter, ULONG id)
{
    if (!filter || id >= filter->PinDescriptorsCount || !filter->PinDescriptors)
        return nullptr;
    const ULONG stride = filter->PinDescriptorSize ? filter->PinDescriptorSize : sizeof(KSPIN_DESCRIPTOR_EX);
    return reinterpret_cast<const KSPIN_DESCRIPTOR_EX*>(reinterpret_cast<const UCHAR*>(filter->PinDescriptors) +
                                                        size_t(id) * stride);
}

// The connection's interface and medium must be ones the pin lists, or the standard ones when it
// lists none.
bool InterfaceAccepted(const KSPIN_DESCRIPTOR& pin, const KSPIN_INTERFACE& wanted)
{
    if (pin.InterfacesCount == 0 || !pin.Interfaces)
        return wanted.Set == KSINTERFACESETID_Standard && wanted.Id == KSINTERFACE_STANDARD_STREAMING;
    for (ULONG i = 0; i < pin.InterfacesCount; ++i)
        if (pin.Interfaces[i].Set == wanted.Set && pin.Interfaces[i].Id == wanted.Id)
            return true;
    return false;
}

bool MediumAccepted(const KSPIN_DESCRIPTOR& pin, const KSPIN_MEDIUM& wanted)
{
    if (pin.MediumsCount == 0 || !pin.Mediums)
        return wanted.Set == KSMEDIUMSETID_Standard && wanted.Id == KSMEDIUM_STANDARD_DEVIO;
    for (ULONG i = 0; i < pin.MediumsCount; ++i)
        if (pin.Mediums[i].Set == wanted.Set && pin.Mediums[i].Id == wanted.Id)
            return true;
    return false;
}

size_t PinsOf(KsFilterObject* filter, ULONG id)
{
    return size_t(std::count_if(filter->pins.begin(), filter->pins.end(),
                                [&](KsPinObject* p) { return p->pin.Id == id; }));
}

void Unlink(KsPinObject* pin)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto& pins = pin->filter->pins;
    pins.erase(std::remove(pins.begin(), pins.end(), pin), pins.end());
    KsForgetObject(pin);
    if (pin->file)
        pin->file->FsContext = nullptr;
}

void FreePin(KsPinObject* pin)
{
    KsPinReleaseMasterClock(pin);
    PVOID format = pin->pin.ConnectionFormat;
    delete pin; // frees the bag and what it holds first: the driver's items may refer to the format
    if (format)
        ExFreePoolWithTag(format, kFormatTag);
}

} // namespace

PKSDATAFORMAT KsCopyFormat(const void* bytes, size_t length)
{
    auto* copy = static_cast<PKSDATAFORMAT>(ExAllocatePoolWithTag(NonPagedPool, length, kFormatTag));
    if (copy)
        std::memcpy(copy, bytes, length);
    return copy;
}

void KsFreeFormat(PKSDATAFORMAT format)
{
    if (format)
        ExFreePoolWithTag(format, kFormatTag);
}

const KSPIN_DESCRIPTOR_EX* KsFilterPinDescriptor(KsFilterObject* filter, ULONG id)
{
    return PinDescriptorAt(filter->filter.Descriptor, id);
}

ULONG KsFilterPinCount(KsFilterObject* filter, ULONG id)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    return static_cast<ULONG>(PinsOf(filter, id));
}

KsPinObject* KsPinOfFile(PFILE_OBJECT file)
{
    if (!file)
        return nullptr;
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto* pin = static_cast<KsPinObject*>(file->FsContext);
    return pin && KsKindOf(pin) == KsObjectKind::Pin && pin->file == file ? pin : nullptr;
}

bool KsIsPinCreate(PIRP irp)
{
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    return file && file->RelatedFileObject;
}

NTSTATUS KsCreatePinObject(PIRP irp)
{
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    KsFilterObject* filter = KsFilterOfFile(file->RelatedFileObject);
    std::u16string_view bytes;
    if (!filter || !PinCreateBytes(file, &bytes))
        return STATUS_OBJECT_NAME_NOT_FOUND;

    // The records, copied out of the name to aligned memory before anything reads them.
    const size_t length = bytes.size() * sizeof(char16_t);
    if (length < sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT))
        return STATUS_INVALID_PARAMETER;
    KSPIN_CONNECT connect;
    std::memcpy(&connect, bytes.data(), sizeof connect);
    const size_t formatBytes = length - sizeof connect;
    KSDATAFORMAT head;
    std::memcpy(&head, reinterpret_cast<const UCHAR*>(bytes.data()) + sizeof connect, sizeof head);
    if (head.FormatSize < sizeof(KSDATAFORMAT) || head.FormatSize > formatBytes)
        return STATUS_INVALID_PARAMETER;
    PKSDATAFORMAT format = KsCopyFormat(reinterpret_cast<const UCHAR*>(bytes.data()) + sizeof connect, formatBytes);
    if (!format)
        return STATUS_INSUFFICIENT_RESOURCES;
    bool badAttributes = false;
    const KSMULTIPLE_ITEM* attributes = KsFormatAttributes(format, formatBytes, &badAttributes);
    if (badAttributes) {
        KsFreeFormat(format);
        return STATUS_INVALID_PARAMETER;
    }

    auto made = std::make_unique<KsPinObject>();
    KsPinObject* pin = made.get();
    pin->filter = filter;
    pin->file = file;
    KsAcquireControl(&filter->filter);
    const KSPIN_DESCRIPTOR_EX* descriptor = KsFilterPinDescriptor(filter, connect.PinId);
    NTSTATUS status = STATUS_SUCCESS;
    std::vector<KsRangeEntry> matches;
    if (!descriptor) {
        status = STATUS_INVALID_PARAMETER;
    } else if (!InterfaceAccepted(descriptor->PinDescriptor, connect.Interface) ||
               !MediumAccepted(descriptor->PinDescriptor, connect.Medium)) {
        status = STATUS_NO_MATCH;
    } else {
        for (const KsRangeEntry& entry : KsPinRanges(descriptor->PinDescriptor))
            if (KsFormatInRange(*format, attributes, entry))
                matches.push_back(entry);
        if (matches.empty())
            status = STATUS_NO_MATCH;
    }
    if (!NT_SUCCESS(status)) {
        KsReleaseControl(&filter->filter);
        KsFreeFormat(format);
        return status;
    }

    KSPIN& k = pin->pin;
    k.Descriptor = descriptor;
    k.Bag = &pin->bag;
    k.Id = connect.PinId;
    k.Communication = descriptor->PinDescriptor.Communication;
    k.ConnectionIsExternal = FALSE;
    k.ConnectionInterface = connect.Interface;
    k.ConnectionMedium = connect.Medium;
    k.ConnectionPriority = connect.Priority;
    k.ConnectionFormat = format;
    k.AttributeList = const_cast<PKSMULTIPLE_ITEM>(attributes);
    k.DataFlow = descriptor->PinDescriptor.DataFlow;
    k.DeviceState = k.ClientState = KSSTATE_STOP;
    k.ResetState = KSRESET_END;
    pin->dispatch = descriptor->Dispatch;
    // The count and the insertion under one hold, so that two opens racing for the last instance
    // cannot both win; known before the driver's routines run, so they may walk to it.
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        if (descriptor->InstancesPossible != KSINSTANCE_INDETERMINATE &&
            PinsOf(filter, connect.PinId) >= descriptor->InstancesPossible) {
            status = STATUS_TOO_MANY_OPENED_FILES;
        } else {
            KsRegisterObject(pin, KsObjectKind::Pin);
            filter->pins.push_back(pin);
            file->FsContext = pin;
        }
    }
    if (!NT_SUCCESS(status)) {
        KsReleaseControl(&filter->filter);
        made.reset();
        KsFreeFormat(format);
        return status;
    }

    // The first matching range whose SetDataFormat accepts the format; the last refusal otherwise.
    if (pin->dispatch && pin->dispatch->SetDataFormat) {
        for (const KsRangeEntry& entry : matches) {
            status = pin->dispatch->SetDataFormat(&pin->pin, nullptr, nullptr, entry.range, entry.attributes);
            if (NT_SUCCESS(status))
                break;
        }
    }
    bool streamMade = false;
    if (NT_SUCCESS(status)) {
        status = KsPinStreamCreate(&pin->pin);
        streamMade = true;
    }
    if (NT_SUCCESS(status) && pin->dispatch && pin->dispatch->Create)
        status = pin->dispatch->Create(&pin->pin, irp);
    KsReleaseControl(&filter->filter);
    if (!NT_SUCCESS(status)) {
        if (streamMade)
            KsPinStreamDelete(&pin->pin);
        Unlink(pin);
        FreePin(made.release());
        return status;
    }
    made.release();
    ++g_openPins;
    return STATUS_SUCCESS;
}

NTSTATUS KsClosePin(PIRP irp)
{
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    KsPinObject* pin = KsPinOfFile(file);
    if (!pin)
        return STATUS_SUCCESS;
    KsAcquireControl(&pin->pin);
    KsStepPinDownForClose(pin);
    if (pin->dispatch && pin->dispatch->Close)
        pin->dispatch->Close(&pin->pin, irp);
    KsReleaseControl(&pin->pin);
    KsPinStreamDelete(&pin->pin);
    Unlink(pin);
    FreePin(pin);
    --g_openPins;
    return STATUS_SUCCESS;
}

size_t KsOpenPinCount()
{
    return g_openPins.load();
}

} // namespace standin

using namespace standin;

extern "C" PKSFILTER NTAPI KsPinGetParentFilter(PKSPIN Pin)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(Pin) != KsObjectKind::Pin)
        return nullptr;
    return &KsPinRecord(Pin)->filter->filter;
}

extern "C" PKSPIN NTAPI KsFilterGetFirstChildPin(PKSFILTER Filter, ULONG PinId)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(Filter) != KsObjectKind::Filter)
        return nullptr;
    for (KsPinObject* pin : reinterpret_cast<KsFilterObject*>(Filter)->pins)
        if (pin->pin.Id == PinId)
            return &pin->pin;
    return nullptr;
}

extern "C" ULONG NTAPI KsFilterGetChildPinCount(PKSFILTER Filter, ULONG PinId)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(Filter) != KsObjectKind::Filter)
        return 0;
    return KsFilterPinCount(reinterpret_cast<KsFilterObject*>(Filter), PinId);
}

extern "C" PKSPIN NTAPI KsPinGetNextSiblingPin(PKSPIN Pin)
{
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    if (KsKindOf(Pin) != KsObjectKind::Pin)
        return nullptr;
    auto& pins = KsPinRecord(Pin)->filter->pins;
    auto it = std::find(pins.begin(), pins.end(), KsPinRecord(Pin));
    for (++it; it < pins.end(); ++it)
        if ((*it)->pin.Id == Pin->Id)
            return &(*it)->pin;
    return nullptr;
}

extern "C" PKSPIN NTAPI KsGetPinFromIrp(PIRP Irp)
{
    if (!Irp)
        return nullptr;
    KsPinObject* pin = KsPinOfFile(IoGetCurrentIrpStackLocation(Irp)->FileObject);
    return pin ? &pin->pin : nullptr;
}
