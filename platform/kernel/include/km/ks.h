// Kernel streaming, the part a driver needs to load and to be found: KsInitializeDriver with the
// framework's default dispatch, the kernel-streaming device that KsCreateDevice builds on a physical
// device object and the plug and play handling that calls the device's dispatch table, and
// KsGetDeviceForDeviceObject. Filters, pins, object bags and the device mutex extend this header.
#pragma once
#include "km/iodevice.h"
#include "km/irp.h"
#include "km/pnp.h"
#include "km/power.h"
#include "km/resources.h"
#include "km/types.h"
#include "shared/guiddef.h"
#include "shared/kscategories.h"

struct KSDEVICE;
using PKSDEVICE = KSDEVICE*;
struct KSFILTER_DESCRIPTOR;
using KSOBJECT_BAG = PVOID;

// The device's plug and play and power callbacks; any may be NULL.
using PFNKSDEVICECREATE = NTSTATUS(NTAPI*)(PKSDEVICE Device);
using PFNKSDEVICEPNPSTART = NTSTATUS(NTAPI*)(PKSDEVICE Device, PIRP Irp, PCM_RESOURCE_LIST TranslatedResourceList,
                                             PCM_RESOURCE_LIST UntranslatedResourceList);
using PFNKSDEVICE = NTSTATUS(NTAPI*)(PKSDEVICE Device);
using PFNKSDEVICEIRP = NTSTATUS(NTAPI*)(PKSDEVICE Device, PIRP Irp);
using PFNKSDEVICEIRPVOID = VOID(NTAPI*)(PKSDEVICE Device, PIRP Irp);
using PFNKSDEVICEQUERYCAPABILITIES = NTSTATUS(NTAPI*)(PKSDEVICE Device, PIRP Irp,
                                                      PDEVICE_CAPABILITIES Capabilities);
using PFNKSDEVICEQUERYPOWER = NTSTATUS(NTAPI*)(PKSDEVICE Device, PIRP Irp, DEVICE_POWER_STATE DeviceTo,
                                               DEVICE_POWER_STATE DeviceFrom, SYSTEM_POWER_STATE SystemTo,
                                               SYSTEM_POWER_STATE SystemFrom, POWER_ACTION Action);
using PFNKSDEVICESETPOWER = VOID(NTAPI*)(PKSDEVICE Device, PIRP Irp, DEVICE_POWER_STATE To,
                                         DEVICE_POWER_STATE From);

struct KSDEVICE_DISPATCH {
    PFNKSDEVICECREATE Add; // after the device is built, before KsCreateDevice returns
    PFNKSDEVICEPNPSTART Start;
    PFNKSDEVICE PostStart;
    PFNKSDEVICEIRP QueryStop;
    PFNKSDEVICEIRPVOID CancelStop;
    PFNKSDEVICEIRPVOID Stop;
    PFNKSDEVICEIRP QueryRemove;
    PFNKSDEVICEIRPVOID CancelRemove;
    PFNKSDEVICEIRPVOID Remove;
    PFNKSDEVICEQUERYCAPABILITIES QueryCapabilities;
    PFNKSDEVICEIRPVOID SurpriseRemoval;
    PFNKSDEVICEQUERYPOWER QueryPower;
    PFNKSDEVICESETPOWER SetPower;
    PFNKSDEVICEIRP QueryInterface;
};
using PKSDEVICE_DISPATCH = KSDEVICE_DISPATCH*;

#define KSDEVICE_DESCRIPTOR_VERSION 0x100

struct KSDEVICE_DESCRIPTOR {
    const KSDEVICE_DISPATCH* Dispatch;
    ULONG FilterDescriptorsCount;
    const KSFILTER_DESCRIPTOR* const* FilterDescriptors;
    ULONG Version;
    ULONG Flags;
};
using PKSDEVICE_DESCRIPTOR = KSDEVICE_DESCRIPTOR*;

struct KSDEVICE {
    const KSDEVICE_DESCRIPTOR* Descriptor;
    KSOBJECT_BAG Bag;
    PVOID Context; // the driver's
    PDEVICE_OBJECT FunctionalDeviceObject;
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject; // the device the functional device object is attached to
    BOOLEAN Started;
    SYSTEM_POWER_STATE SystemPowerState;
    DEVICE_POWER_STATE DevicePowerState;
};

extern "C" {
// Prepares a driver for kernel streaming: installs the framework's dispatch routines for
// IRP_MJ_CREATE, IRP_MJ_CLOSE, IRP_MJ_DEVICE_CONTROL, IRP_MJ_PNP, IRP_MJ_POWER and
// IRP_MJ_SYSTEM_CONTROL and KsAddDevice as the add-device routine, and keeps Descriptor (which may be
// NULL) for KsAddDevice. A driver may replace any of these afterwards. STATUS_INVALID_PARAMETER for a
// NULL DriverObject. PASSIVE_LEVEL only.
NTSTATUS NTAPI KsInitializeDriver(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPathName,
                                  const KSDEVICE_DESCRIPTOR* Descriptor);
// The add-device routine KsInitializeDriver installs: KsCreateDevice with the kept descriptor.
NTSTATUS NTAPI KsAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);
// Builds a kernel-streaming device on PhysicalDeviceObject: an unnamed functional device object of
// type FILE_DEVICE_KS with ExtensionSize zeroed bytes of extension, attached to the top of the
// physical device object's stack, and its KSDEVICE (Context NULL); calls Descriptor->Dispatch->Add
// when there is one, and on its success clears DO_DEVICE_INITIALIZING and returns the device in
// *Device (when Device is not NULL). A failing Add, or a failure to create or attach the device
// object, undoes everything and is returned. The framework's IRP_MJ_PNP routine then serves the
// device: start (after the lower devices, with the translated and the raw resource lists), the
// queries, stop, surprise removal and removal (after which the device object is detached and
// deleted), calling the dispatch table's entries. PASSIVE_LEVEL only.
NTSTATUS NTAPI KsCreateDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject,
                              const KSDEVICE_DESCRIPTOR* Descriptor, ULONG ExtensionSize, PKSDEVICE* Device);
// The kernel-streaming device whose functional device object is FunctionalDeviceObject; NULL for any
// other device object.
PKSDEVICE NTAPI KsGetDeviceForDeviceObject(PDEVICE_OBJECT FunctionalDeviceObject);
}
