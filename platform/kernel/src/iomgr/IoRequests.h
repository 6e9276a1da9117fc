// Requests the I/O manager builds and sends on behalf of callers: device control with the caller's
// buffers passed by the code's transfer method, and the send-and-wait every synchronous caller uses.
#pragma once
#include <functional>
#include "IrpTable.h"
#include "km/irp.h"

namespace standin {

struct DeviceControlParameters {
    ULONG ioControlCode = 0;
    PDEVICE_OBJECT target = nullptr; // the device the request is for (its StackSize counts)
    PVOID inputBuffer = nullptr;
    ULONG inputBufferLength = 0;
    PVOID outputBuffer = nullptr;
    ULONG outputBufferLength = 0;
    bool internal = false;
    KPROCESSOR_MODE requestorMode = KernelMode;
    PFILE_OBJECT fileObject = nullptr;
};

// A device-control IRP of the I/O manager with its next location filled; null when memory runs out.
IrpRecord* BuildDeviceControlIrp(const DeviceControlParameters& parameters);

// Sends an IRP of the I/O manager to `target`, waits until it is finished and returns its final
// status block. A dispatch routine that returns another status than STATUS_PENDING without having
// completed the request is a breach; the wait goes on all the same. `dispatched`, when given, runs
// once the dispatch routine has returned (the request is then queued by the driver or finished),
// before the wait.
IO_STATUS_BLOCK SendAndWait(PDEVICE_OBJECT target, IrpRecord* record, const std::function<void()>& dispatched = {});

} // namespace standin
