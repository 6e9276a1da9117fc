// Object bags: what a device, factory or filter owns, freed when the object goes; and _KsEdit, which
// gives an object its own copy of a descriptor or table through its bag.
#include "KsObjects.h"
#include "km/pool.h"
#include "km/status.h"

#include <algorithm>
#include <cstring>

namespace standin {

KsObjectBag::~KsObjectBag()
{
    std::vector<Item> items;
    {
        std::lock_guard<std::mutex> hold(lock_);
        items.swap(items_);
    }
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->free)
            it->free(it->item);
        else
            ExFreePool(it->item);
    }
}

NTSTATUS KsObjectBag::Add(PVOID item, PFNKSFREE free)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (std::any_of(items_.begin(), items_.end(), [&](const Item& i) { return i.item == item; }))
        return STATUS_SUCCESS; // once in the bag, freed once
    items_.push_back({item, free});
    return STATUS_SUCCESS;
}

bool KsObjectBag::Contains(PVOID item)
{
    std::lock_guard<std::mutex> hold(lock_);
    return std::any_of(items_.begin(), items_.end(), [&](const Item& i) { return i.item == item; });
}

bool KsObjectBag::Free(PVOID item)
{
    Item found{};
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto it = std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.item == item; });
        if (it == items_.end())
            return false;
        found = *it;
        items_.erase(it);
    }
    if (found.free)
        found.free(found.item);
    else
        ExFreePool(found.item);
    return true;
}

} // namespace standin

extern "C" NTSTATUS NTAPI KsAddItemToObjectBag(KSOBJECT_BAG ObjectBag, PVOID Item, PFNKSFREE Free)
{
    if (!ObjectBag || !Item)
        return STATUS_INVALID_PARAMETER;
    return static_cast<standin::KsObjectBag*>(ObjectBag)->Add(Item, Free);
}

extern "C" NTSTATUS NTAPI _KsEdit(KSOBJECT_BAG ObjectBag, PVOID* PointerToPointerToItem, ULONG NewSize,
                                  ULONG OldSize, ULONG Tag)
{
    if (!ObjectBag || !PointerToPointerToItem || NewSize == 0)
        return STATUS_INVALID_PARAMETER;
    auto* bag = static_cast<standin::KsObjectBag*>(ObjectBag);
    PVOID old = *PointerToPointerToItem;
    const bool own = old && bag->Contains(old);
    if (own && NewSize <= OldSize)
        return STATUS_SUCCESS;
    PVOID copy = ExAllocatePoolWithTag(PagedPool, NewSize, Tag);
    if (!copy)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(copy, 0, NewSize);
    if (old)
        std::memcpy(copy, old, std::min(OldSize, NewSize));
    bag->Add(copy, nullptr);
    *PointerToPointerToItem = copy;
    if (own)
        bag->Free(old);
    return STATUS_SUCCESS;
}
