// The driver objects the stand-in made, and each driver's list of device objects.
#pragma once
#include "km/iodevice.h"

namespace standin {

// True for a driver object from CreateDriverObject that is not yet deleted, and for the stand-in's
// own bus driver.
bool IsLiveDriverObject(PDRIVER_OBJECT driver);
// The device database lock must be held for both.
void LinkDeviceToDriverLocked(PDRIVER_OBJECT driver, PDEVICE_OBJECT device);
void UnlinkDeviceFromDriverLocked(PDEVICE_OBJECT device);
// Fills a fresh driver object's table with the "invalid device request" routine.
void FillDefaultDispatch(PDRIVER_OBJECT driver);

} // namespace standin
