// Running the machine's calls into a driver the way the system makes them: on a system thread at
// PASSIVE_LEVEL (Windows runs DriverEntry, AddDevice and its plug and play requests on system worker
// threads), while the caller waits for the result.
#pragma once
#include <functional>

namespace platform {

// Runs `work` on a new system thread and returns when it has finished. An exception thrown by
// `work` is passed on to the caller. When no system thread can be made, `work` runs on the calling
// thread, which is at PASSIVE_LEVEL too.
void RunOnSystemThread(const std::function<void()>& work);

} // namespace platform
