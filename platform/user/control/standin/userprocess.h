// The user side's own controls for tests and tools: the process state that Win32 keeps for the
// whole process. Stand-in facilities, not Windows functions.
#pragma once

namespace standin {

// The current directory back to "C:\", as when the process started.
void ResetCurrentDirectory();

} // namespace standin
