// The devices registered for a shutdown request.
#pragma once
#include "km/iodevice.h"

namespace standin {
// Forgets the registration of a device that is being deleted; nothing when it has none.
void UnregisterShutdownNotificationOf(PDEVICE_OBJECT device);
} // namespace standin
