// The walk over a variable-length resource list.
#include "kernel/findresource.h"

PCM_PARTIAL_RESOURCE_DESCRIPTOR FindResource(PCM_RESOURCE_LIST list, UCHAR type, ULONG index)
{
    if (!list)
        return nullptr;
    auto* full = list->List;
    for (ULONG f = 0; f < list->Count; ++f) {
        auto* partial = full->PartialResourceList.PartialDescriptors;
        for (ULONG p = 0; p < full->PartialResourceList.Count; ++p) {
            if (partial->Type == type) {
                if (index == 0)
                    return partial;
                --index;
            }
            const size_t extra =
                partial->Type == CmResourceTypeDeviceSpecific ? partial->u.DeviceSpecificData.DataSize : 0;
            partial = reinterpret_cast<PCM_PARTIAL_RESOURCE_DESCRIPTOR>(
                reinterpret_cast<UCHAR*>(partial + 1) + extra);
        }
        // The next full descriptor begins right after the last partial one.
        full = reinterpret_cast<PCM_FULL_RESOURCE_DESCRIPTOR>(partial);
    }
    return nullptr;
}
