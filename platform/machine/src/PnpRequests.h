// Plug and play requests as the plug and play manager sends them: to the top of a device's stack,
// from a system thread at PASSIVE_LEVEL, starting with the status STATUS_NOT_SUPPORTED, and waited
// for however long the drivers keep them pending.
#pragma once
#include "km/irp.h"

#include <functional>

namespace platform {

// Sends IRP_MJ_PNP with `minor` to the top of the stack `physicalDeviceObject` heads; `fill` sets the
// request's parameters. Returns the final status.
NTSTATUS SendPnpRequest(PDEVICE_OBJECT physicalDeviceObject, UCHAR minor,
                        const std::function<void(IO_STACK_LOCATION&)>& fill = {});

// "IRP_MN_START_DEVICE" and the like, for reports.
const char* PnpMinorName(UCHAR minor);

} // namespace platform
