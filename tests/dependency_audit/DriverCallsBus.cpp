// Must not link: a driver file that declares a platform function by hand still cannot reach it,
// since the driver file links the kernel side only and every symbol must resolve at link time.
#include "km/kernel.h"

namespace platform {
class Bus {
public:
    static Bus& Instance();
};
} // namespace platform

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT, PUNICODE_STRING)
{
    return &platform::Bus::Instance() != nullptr ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}
