// VideoPreviewPin: the preview pin (2).
#include "videopreviewpin.h"

#include "km/status.h"

VideoPreviewPin::~VideoPreviewPin() = default;

NTSTATUS VideoPreviewPin::OnConnect()
{
    return STATUS_SUCCESS;
}
