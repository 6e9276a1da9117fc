// BasicFilter: the data of every filter object, the default virtual operations, the filter-kind
// tests and the audio connector types.
#include "basicfilter.h"

#include "km/status.h"
#include "tracescope.h"

BasicFilter::~BasicFilter()
{
    TRACE_SCOPE(this, "BasicFilter::~BasicFilter", kTraceLowEnter);
}

ULONG BasicFilter::GetInputIOIndex(ULONG)
{
    return 0;
}

NTSTATUS BasicFilter::OnCreate(PIRP)
{
    return STATUS_SUCCESS;
}

NTSTATUS BasicFilter::OnClose(PIRP)
{
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS BasicFilter::Reserved()
{
    return STATUS_UNSUCCESSFUL;
}

VideoInputItems* BasicFilter::GetVideoInputItems()
{
    return nullptr;
}

ULONG BasicFilter::TranslateAudioInputType(ULONG inputType)
{
    switch (inputType) {
    case 10:
        return kConnectorLine;
    case 11:
        return kConnectorAesDigital;
    case 12:
    case 13:
    case 14:
        return kConnectorSpdifDigital;
    default:
        return kConnectorGeneric;
    }
}

bool BasicFilter::IsVideoCaptureFilterReference(const GUID* reference)
{
    return reference != nullptr && *reference == kVideoCaptureFilterReference;
}

bool BasicFilter::IsCrossbarFilterReference(const GUID* reference)
{
    return reference != nullptr && *reference == kCrossbarFilterReference;
}

GUID BasicFilter::GetAudioCaptureFilterReference(ULONG n)
{
    if (n >= kAudioFilterReferenceCount)
        return GUID{};
    GUID reference = kAudioCaptureFilterReference;
    reference.Data1 += n;
    return reference;
}

LONG BasicFilter::GetAudioCaptureFilterIndex(const GUID* reference)
{
    if (reference == nullptr)
        return -1;
    for (ULONG n = 0; n < kAudioFilterReferenceCount; ++n)
        if (*reference == GetAudioCaptureFilterReference(n))
            return static_cast<LONG>(n);
    return -1;
}

bool BasicFilter::IsAudioCaptureFilterReference(const GUID* reference)
{
    return GetAudioCaptureFilterIndex(reference) >= 0;
}
