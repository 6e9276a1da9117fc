// VideoCCPin: the closed-caption pin (4).
#include "videoccpin.h"

#include "km/status.h"

VideoCCPin::~VideoCCPin() = default;

NTSTATUS VideoCCPin::OnConnect()
{
    return STATUS_SUCCESS;
}
