// VideoCapturePin: the capture pin (1).
#include "videocapturepin.h"

#include "km/status.h"

VideoCapturePin::~VideoCapturePin() = default;

NTSTATUS VideoCapturePin::OnConnect()
{
    return STATUS_SUCCESS;
}
