// The process-wide bus.
#include "platform/bus/Bus.h"

namespace platform {

Bus& Bus::Instance()
{
    static Bus* bus = new Bus;
    return *bus;
}

} // namespace platform
