// The apartment of each thread: none, a single-threaded apartment of its own, or the process's
// one multithreaded apartment (entered explicitly, or implicitly by every thread without an
// apartment while some thread has entered it).
#pragma once
#include "um/windef.h"

namespace user {

enum class Apartment { None, SingleThreaded, MultiThreaded };

struct CallerApartment {
    Apartment kind = Apartment::None;
    bool mainSta = false; // the process's first single-threaded apartment
};

CallerApartment CurrentApartment();

// The last CoUninitialize of the process frees every server COM loaded.
void FreeAllServers();

} // namespace user
