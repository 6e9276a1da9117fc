// The stream side's hooks as they stand until streaming defines them: weak, so that the stream
// side's own definitions replace them at link time. Stream requests are refused; the rest do nothing.
#include "KsObjects.h"
#include "km/status.h"
#include "standin/ks.h"

namespace standin {

__attribute__((weak)) NTSTATUS KsPinStreamCreate(PKSPIN)
{
    return STATUS_SUCCESS;
}

__attribute__((weak)) NTSTATUS KsPinStreamRequest(PKSPIN, PIRP)
{
    return STATUS_INVALID_DEVICE_REQUEST;
}

__attribute__((weak)) bool KsPinStreamStateChanged(PKSPIN, KSSTATE, KSSTATE)
{
    return false;
}

__attribute__((weak)) void KsPinStreamProcess(PKSPIN) {}

__attribute__((weak)) void KsPinStreamDelete(PKSPIN) {}

} // namespace standin
