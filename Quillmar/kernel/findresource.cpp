// The walk over a variable-length resource list.
#include "kernel/findresource.h"

void ForEachResource(PCM_RESOURCE_LIST list, ResourceVisitor visit, PVOID context)
{
    if (!list || !visit)
        return;
    auto* full = list->List;
    for (ULONG f = 0; f < list->Count; ++f) {
        auto* partial = full->PartialResourceList.PartialDescriptors;
        for (ULONG p = 0; p < full->PartialResourceList.Count; ++p) {
            if (!visit(partial, context))
                return;
            const size_t extra =
                partial->Type == CmResourceTypeDeviceSpecific ? partial->u.DeviceSpecificData.DataSize : 0;
            partial = reinterpret_cast<PCM_PARTIAL_RESOURCE_DESCRIPTOR>(
                reinterpret_cast<UCHAR*>(partial + 1) + extra);
        }
        // The next full descriptor begins right after the last partial one.
        full = reinterpret_cast<PCM_FULL_RESOURCE_DESCRIPTOR>(partial);
    }
}

namespace {

struct Search {
    UCHAR type;
    ULONG index;
    PCM_PARTIAL_RESOURCE_DESCRIPTOR found;
};

bool Match(PCM_PARTIAL_RESOURCE_DESCRIPTOR descriptor, PVOID context)
{
    auto* search = static_cast<Search*>(context);
    if (descriptor->Type != search->type)
        return true;
    if (search->index == 0) {
        search->found = descriptor;
        return false;
    }
    --search->index;
    return true;
}

} // namespace

PCM_PARTIAL_RESOURCE_DESCRIPTOR FindResource(PCM_RESOURCE_LIST list, UCHAR type, ULONG index)
{
    Search search{type, index, nullptr};
    ForEachResource(list, &Match, &search);
    return search.found;
}
