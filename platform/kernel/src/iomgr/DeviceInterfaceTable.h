// The registered device interfaces, as the I/O manager keeps them beside their registry keys.
#pragma once
#include "km/iodevice.h"

namespace standin {
// Disables every enabled interface of a physical device object that is going away and forgets the
// object; the registrations stay, so that the device's next arrival finds them again.
void DisableInterfacesOfDevice(PDEVICE_OBJECT device);
} // namespace standin
