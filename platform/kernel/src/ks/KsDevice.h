// The kernel-streaming devices: each KSDEVICE with the functional device object it belongs to, and
// the framework's dispatch routines that KsInitializeDriver installs.
#pragma once
#include "km/ks.h"

namespace standin {

// The KSDEVICE of a functional device object, or null.
PKSDEVICE FindKsDevice(PDEVICE_OBJECT functionalDeviceObject);
// Forgets the KSDEVICE of a device object that is being deleted.
void ForgetKsDevice(PDEVICE_OBJECT functionalDeviceObject);

NTSTATUS NTAPI KsDispatchCreate(PDEVICE_OBJECT deviceObject, PIRP irp);
NTSTATUS NTAPI KsDispatchClose(PDEVICE_OBJECT deviceObject, PIRP irp);
NTSTATUS NTAPI KsDispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp);
NTSTATUS NTAPI KsDispatchPnp(PDEVICE_OBJECT deviceObject, PIRP irp);
NTSTATUS NTAPI KsDispatchPower(PDEVICE_OBJECT deviceObject, PIRP irp);
NTSTATUS NTAPI KsDispatchSystemControl(PDEVICE_OBJECT deviceObject, PIRP irp);

} // namespace standin
