// VideoVBIPin: the VBI pin (3).
#include "videovbipin.h"

#include "km/status.h"

VideoVBIPin::~VideoVBIPin() = default;

NTSTATUS VideoVBIPin::OnConnect()
{
    return STATUS_SUCCESS;
}
