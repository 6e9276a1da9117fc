// ADevice: the board object's base and the object bag's free routine.
#include "adevice.h"

ADevice::~ADevice() = default;

VOID NTAPI ADevice::Cleanup(PVOID item)
{
    delete static_cast<ADevice*>(item);
}
