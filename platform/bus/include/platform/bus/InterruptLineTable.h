// The interrupt lines of the bus by vector number. A device model registers its line under a vector;
// the kernel's interrupt connection finds it by the vector of the translated interrupt resource. A
// line is held by shared ownership, so a connection that still holds it stays valid after the model
// has unregistered it. Thread-safe.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/bus/BusStatus.h"
#include "platform/bus/InterruptLine.h"

namespace platform {

class InterruptLineTable {
public:
    // InvalidArgument for a null line; Overlap when the vector already has a line.
    BusStatus Register(uint32_t vector, std::shared_ptr<InterruptLine> line);
    // NotRegistered when the vector has no line.
    BusStatus Unregister(uint32_t vector);
    // The line of `vector`, or null.
    std::shared_ptr<InterruptLine> Find(uint32_t vector) const;

private:
    mutable std::mutex m_lock;
    std::map<uint32_t, std::shared_ptr<InterruptLine>> m_lines;
};

} // namespace platform
