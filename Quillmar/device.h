// Device: the one object per board. Today it carries what the driver-wide object needs of it: its
// instance id and slot, its name in traces, the device-control entry the hooked dispatch hands
// requests to, the performance change it announces to its capture filters, and the board's protocol
// manager, which it owns. The board's life cycle (add, start, stop, removal), its command-record
// pool and DMA buffers join this class as the board control is built.
#pragma once
#include "driver.h"
#include "kernel/driverheap.h"
#include "tidewellprotocolmanager.h"
#include "km/iodevice.h"
#include "km/types.h"

class Device : public DriverAllocated {
public:
    static constexpr ULONG kTraceNameCharacters = 32;
    static constexpr ULONG kDeviceNameCharacters = 256;

    explicit Device(Driver* driver);
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The add-device step after construction: takes an instance id and builds the kernel-streaming
    // device. Until the board's bring-up is part of the driver it answers STATUS_NOT_SUPPORTED, and
    // AddDevice refuses the board.
    virtual NTSTATUS OnAdd(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject);

    // Every device-control request of the board's device object, through the driver's hook. Until
    // the private requests exist, everything goes on to the framework's own handler.
    virtual NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT deviceObject, PIRP irp);

    // The performance settings changed: announced to the device's audio and video capture filters.
    virtual void NotifyPerformanceChange(const PerformanceNotification& notification);

    Driver* GetDriver() const { return m_driver; }
    // 1 to 100 once numbered, 0 before.
    LONG GetInstanceId() const { return m_instanceId; }
    // Slot in the driver's table (instance id - 1), or -1 before numbering.
    LONG GetSlot() const { return m_instanceId > 0 ? m_instanceId - 1 : -1; }
    void SetInstanceId(LONG id);
    // "Device <id>" for trace lines.
    const char* GetTraceName() const { return m_traceName; }
    // "Talvexon HD <id>": the board's name in messages (empty before numbering).
    const char* GetDeviceName() const { return m_deviceName; }
    // The board's DSP host port; null only when it could not be allocated.
    TidewellProtocolManager* GetProtocolManager() const { return m_protocolManager; }
    // The functional device object the board's requests come to (null before it is built); the
    // shutdown notification is registered on it.
    PDEVICE_OBJECT GetFunctionalDeviceObject() const { return m_functionalDeviceObject; }
    void SetFunctionalDeviceObject(PDEVICE_OBJECT deviceObject) { m_functionalDeviceObject = deviceObject; }

private:
    Driver* m_driver;
    LONG m_instanceId = 0;
    PDEVICE_OBJECT m_functionalDeviceObject = nullptr;
    char m_traceName[kTraceNameCharacters] = "Device";
    char m_deviceName[kDeviceNameCharacters] = "";
    TidewellProtocolManager* m_protocolManager = nullptr;
};
