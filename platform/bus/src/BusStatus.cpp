// Texts of the bus's results, for the reports of the layers above.
#include "platform/bus/BusStatus.h"

namespace platform {

const char* BusStatusText(BusStatus status)
{
    switch (status) {
    case BusStatus::Ok:
        return "success";
    case BusStatus::InvalidArgument:
        return "invalid argument";
    case BusStatus::Overlap:
        return "overlaps a range already registered";
    case BusStatus::NotRegistered:
        return "nothing is registered there";
    case BusStatus::NotMapped:
        return "the address lies in no I/O-space mapping";
    case BusStatus::PastEnd:
        return "the access runs past the end of its mapping";
    case BusStatus::RangeRemoved:
        return "the device range behind the mapping has been unregistered";
    case BusStatus::WrongSize:
        return "the size does not match the registration or mapping";
    case BusStatus::NoAddressSpace:
        return "no free address space of that size is left";
    case BusStatus::OutsideMemory:
        return "the transfer strays outside every registered host block";
    case BusStatus::CrossesBlocks:
        return "the transfer runs from one host block into another";
    }
    return "unknown bus status";
}

} // namespace platform
