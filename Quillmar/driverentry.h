// The driver's load entry and the routines it installs: DriverEntryMain (exported from the driver
// file as DriverEntry), AddDevice and DriverUnload.
#pragma once
#include "km/iodevice.h"
#include "km/types.h"

class Device;
class Driver;

// Static construction, the trace logger, the Driver and its load sequence. A failed load takes
// down again whatever it built, since the system never unloads a driver whose entry failed.
NTSTATUS DriverEntryMain(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);
NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject);
VOID NTAPI DriverUnload(PDRIVER_OBJECT driverObject);

// How AddDevice makes the object of a new board. Tests put in their own Device kinds until the
// board's bring-up is part of the driver; null puts the plain Device back.
using DeviceFactory = Device* (*)(Driver* driver);
void SetDeviceFactory(DeviceFactory factory);
