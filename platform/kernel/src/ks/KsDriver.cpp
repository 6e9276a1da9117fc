// Kernel streaming for a driver: KsInitializeDriver with the framework's dispatch routines and
// add-device routine, and the descriptor it keeps for KsAddDevice.
#include "KsDevice.h"
#include "Reports.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/verifier.h"

#include <map>
#include <mutex>

namespace {

struct KsDrivers {
    std::mutex lock;
    std::map<PDRIVER_OBJECT, const KSDEVICE_DESCRIPTOR*> descriptors;
    static KsDrivers& Instance()
    {
        static KsDrivers* drivers = new KsDrivers;
        return *drivers;
    }
};

} // namespace

extern "C" NTSTATUS NTAPI KsInitializeDriver(PDRIVER_OBJECT DriverObject, PUNICODE_STRING,
                                             const KSDEVICE_DESCRIPTOR* Descriptor)
{
    using namespace standin;
    CheckIrqlAtMost("KsInitializeDriver", PASSIVE_LEVEL);
    if (!DriverObject || !DriverObject->DriverExtension) {
        VerifierReport("bad-argument",
                       CallText("KsInitializeDriver", DriverObject) + ", which is not a driver object");
        return STATUS_INVALID_PARAMETER;
    }
    {
        auto& drivers = KsDrivers::Instance();
        std::lock_guard<std::mutex> hold(drivers.lock);
        drivers.descriptors[DriverObject] = Descriptor;
    }
    DriverObject->MajorFunction[IRP_MJ_CREATE] = KsDispatchCreate;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = KsDispatchClose;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = KsDispatchDeviceControl;
    DriverObject->MajorFunction[IRP_MJ_PNP] = KsDispatchPnp;
    DriverObject->MajorFunction[IRP_MJ_POWER] = KsDispatchPower;
    DriverObject->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = KsDispatchSystemControl;
    DriverObject->DriverExtension->AddDevice = KsAddDevice;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI KsAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject)
{
    const KSDEVICE_DESCRIPTOR* descriptor = nullptr;
    {
        auto& drivers = KsDrivers::Instance();
        std::lock_guard<std::mutex> hold(drivers.lock);
        auto it = drivers.descriptors.find(DriverObject);
        if (it != drivers.descriptors.end())
            descriptor = it->second;
    }
    return KsCreateDevice(DriverObject, PhysicalDeviceObject, descriptor, 0, nullptr);
}
