// Device: instance id and names, the device-control entry, the performance announcement and the
// protocol manager of one board.
#include "device.h"

#include "km/kernel.h"
#include "tracescope.h"

Device::Device(Driver* driver)
    : m_driver(driver)
{
    TRACE_SCOPE(this, "Device::Device", kTraceLowEnter);
    m_protocolManager = new TidewellProtocolManager(this);
}

Device::~Device()
{
    TRACE_SCOPE(this, "Device::~Device", kTraceLowEnter);
    delete m_protocolManager;
    m_protocolManager = nullptr;
}

void Device::SetInstanceId(LONG id)
{
    m_instanceId = id;
    if (id > 0) {
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device %d", static_cast<int>(id));
        _snprintf(m_deviceName, sizeof(m_deviceName) - 1, "Talvexon HD %d", static_cast<int>(id));
    } else {
        _snprintf(m_traceName, sizeof(m_traceName) - 1, "Device");
        m_deviceName[0] = 0;
    }
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
