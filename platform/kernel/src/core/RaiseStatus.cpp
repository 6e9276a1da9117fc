// ExRaiseStatus and its exception type. The destructor is the type's key function: defining it here
// gives the one type_info that every program and driver linking this library shares.
#include "km/raise.h"

#include "km/irql.h"
#include "standin/verifier.h"

#include <cstdio>
#include <string>

namespace standin {

RaisedStatus::RaisedStatus(NTSTATUS raised) : status(raised)
{
    std::snprintf(text_, sizeof text_, "ExRaiseStatus 0x%08X", static_cast<ULONG>(raised));
}

RaisedStatus::~RaisedStatus() = default;

const char* RaisedStatus::what() const noexcept
{
    return text_;
}

} // namespace standin

extern "C" VOID NTAPI ExRaiseStatus(NTSTATUS Status)
{
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL) {
        char status[16];
        std::snprintf(status, sizeof status, "0x%08X", static_cast<ULONG>(Status));
        standin::VerifierReport("irql", std::string("ExRaiseStatus(") + status + ") at IRQL " + std::to_string(irql) +
                                            " above DISPATCH_LEVEL");
    }
    throw standin::RaisedStatus(Status);
}
