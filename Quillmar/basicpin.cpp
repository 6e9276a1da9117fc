// BasicPin: the cached accessors, the base operations and the bag's free routine.
#include "basicpin.h"

#include "basicfilter.h"
#include "device.h"
#include "km/ksfilter.h"
#include "km/status.h"
#include "tracelogger.h"
#include "tracescope.h"

BasicPin::~BasicPin()
{
    TRACE_SCOPE(this, "BasicPin::~BasicPin", kTraceLowEnter);
}

NTSTATUS BasicPin::OnCreate(PIRP)
{
    return STATUS_SUCCESS;
}

NTSTATUS BasicPin::OnClose(PIRP)
{
    ForgetKsPin();
    return STATUS_SUCCESS;
}

void BasicPin::OnReset() {}

NTSTATUS BasicPin::OnConnect()
{
    return STATUS_SUCCESS;
}

void BasicPin::OnDisconnect() {}

BasicFilter* BasicPin::GetFilter() const
{
    if (m_filter == nullptr && m_ksPin != nullptr) {
        PKSFILTER filter = KsPinGetParentFilter(m_ksPin);
        m_filter = filter != nullptr ? static_cast<BasicFilter*>(filter->Context) : nullptr;
    }
    return m_filter;
}

Device* BasicPin::GetDevice() const
{
    if (m_device == nullptr && m_ksPin != nullptr)
        m_device = Device::FromKsDevice(KsGetDevice(m_ksPin));
    return m_device;
}

VOID NTAPI BasicPin::PinCleanup(PVOID object)
{
    delete static_cast<BasicPin*>(object);
}
