// Device: instance id and trace name, the device-control entry and the performance announcement of
// one board.
#include "device.h"

#include "km/kernel.h"
#include "tracescope.h"

Device::Device(Driver* driver)
    : m_driver(driver)
{
    TRACE_SCOPE(this, "Device::Device", kTraceLowEnter);
}

Device::~Device()
{
    TRACE_SCOPE(this, "Device::~Device", kTraceLowEnter);
}

void Device::SetInstanceId(LONG id)
{
    m_instanceId = id;
    if (id > 0)
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device %d", static_cast<int>(id));
    else
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device");
}

NTSTATUS Device::OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject)
{
    TRACE_SCOPE(this, "Device::OnAdd", kTraceLowEnter);
    (void)driverObject;
    (void)physicalDeviceObject;
    return STATUS_NOT_SUPPORTED;
}

NTSTATUS Device::DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    TRACE_SCOPE(this, "Device::DispatchDeviceControl", kTraceEnter);
    PDRIVER_DISPATCH next = m_driver != nullptr ? m_driver->GetSavedDeviceControlDispatch() : nullptr;
    if (next != nullptr)
        return next(deviceObject, irp);
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

void Device::NotifyPerformanceChange(const PerformanceNotification& notification)
{
    TRACE_SCOPE(this, "Device::NotifyPerformanceChange", kTraceLowEnter, "pin kind %u", notification.pinKind);
}
