// Filters: opening one through its factory's reference string (the file's name), its dispatch
// table's Create and Close, the filter's bag freed when it closes, and KsGetFilterFromIrp.
#include "KsObjects.h"
#include "km/fileobject.h"
#include "km/process.h"
#include "km/status.h"
#include "standin/ks.h"

#include <algorithm>
#include <atomic>

namespace standin {
namespace {

std::atomic<size_t> g_openFilters{0};

bool SameName(std::u16string_view a, std::u16string_view b)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

} // namespace

KsFilterObject* KsFilterOfFile(PFILE_OBJECT file)
{
    if (!file)
        return nullptr;
    std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
    auto* filter = static_cast<KsFilterObject*>(file->FsContext);
    return filter && KsKindOf(filter) == KsObjectKind::Filter && filter->file == file ? filter : nullptr;
}

NTSTATUS KsCreateFilter(PKSDEVICE device, PIRP irp)
{
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    PFILE_OBJECT file = location->FileObject;
    std::u16string_view name;
    if (file && file->FileName.Buffer)
        name = std::u16string_view(file->FileName.Buffer, file->FileName.Length / sizeof(char16_t));
    if (!name.empty() && name.front() == u'\\')
        name.remove_prefix(1);
    auto filter = std::make_unique<KsFilterObject>();
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        KsDeviceObject* record = KsDeviceRecord(device);
        if (record)
            for (auto& factory : record->factories)
                if (!factory->referenceString.empty() && SameName(name, factory->referenceString))
                    filter->factory = factory.get();
    }
    if (!filter->factory || !file)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    const KSFILTER_DESCRIPTOR* descriptor = filter->factory->factory.FilterDescriptor;
    filter->filter.Descriptor = descriptor;
    filter->dispatch = descriptor->Dispatch;
    filter->filter.Bag = &filter->bag;
    filter->file = file;
    filter->process = IoGetCurrentProcess();
    KeInitializeMutex(&filter->control, 0);
    KsFilterObject* made = filter.get();
    // Known before Create runs, so the driver may walk to it and edit it there.
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        KsRegisterObject(made, KsObjectKind::Filter);
        made->factory->filters.push_back(made);
        file->FsContext = made;
    }
    NTSTATUS status = STATUS_SUCCESS;
    if (made->dispatch && made->dispatch->Create)
        status = made->dispatch->Create(&made->filter, irp);
    if (!NT_SUCCESS(status)) {
        {
            std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
            auto& filters = made->factory->filters;
            filters.erase(std::remove(filters.begin(), filters.end(), made), filters.end());
            KsForgetObject(made);
            file->FsContext = nullptr;
        }
        return status; // the bag goes with the record
    }
    filter.release();
    ++g_openFilters;
    return STATUS_SUCCESS;
}

NTSTATUS KsCloseFilter(PIRP irp)
{
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    KsFilterObject* filter = KsFilterOfFile(file);
    if (!filter)
        return STATUS_SUCCESS;
    if (filter->dispatch && filter->dispatch->Close) {
        KsAcquireControl(&filter->filter);
        filter->dispatch->Close(&filter->filter, irp);
        KsReleaseControl(&filter->filter);
    }
    KsFreeFilterEvents(filter);
    {
        std::lock_guard<std::recursive_mutex> hold(KsTreeLock());
        if (filter->factory) {
            auto& filters = filter->factory->filters;
            filters.erase(std::remove(filters.begin(), filters.end(), filter), filters.end());
        }
        KsForgetObject(filter);
        file->FsContext = nullptr;
    }
    KsForgetMutexOrder(&filter->control);
    delete filter; // frees the bag and what it holds
    --g_openFilters;
    return STATUS_SUCCESS;
}

size_t KsOpenFilterCount()
{
    return g_openFilters.load();
}

} // namespace standin

extern "C" PKSFILTER NTAPI KsGetFilterFromIrp(PIRP Irp)
{
    if (!Irp)
        return nullptr;
    // A request on a pin's handle is handled by the pin's parent filter.
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(Irp)->FileObject;
    standin::KsFilterObject* filter = standin::KsFilterOfFile(file);
    if (!filter) {
        if (standin::KsPinObject* pin = standin::KsPinOfFile(file))
            filter = pin->filter;
    }
    return filter ? &filter->filter : nullptr;
}
