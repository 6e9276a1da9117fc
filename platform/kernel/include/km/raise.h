// ExRaiseStatus: the kernel's structured exception, carried here as a C++ exception that the
// caller's handler catches by type. The type lives in the kernel library, so a raise in a driver
// and a catch in the stand-in or a test agree on one type.
#pragma once
#include "km/types.h"

#include <exception>

namespace standin {

class RaisedStatus : public std::exception {
public:
    explicit RaisedStatus(NTSTATUS raised);
    ~RaisedStatus() override;
    // "ExRaiseStatus 0x<status in eight hex digits>"
    const char* what() const noexcept override;

    NTSTATUS status;

private:
    char text_[32];
};

} // namespace standin

extern "C" {
// Throws standin::RaisedStatus carrying Status. Raising above DISPATCH_LEVEL is a breach; the
// exception is thrown all the same.
[[noreturn]] VOID NTAPI ExRaiseStatus(NTSTATUS Status);
}
