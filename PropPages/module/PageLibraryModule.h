// The page library's module state: the instance handle stored at process attach (every dialog,
// string, bitmap and registration script is looked up in it) and the ATL module made with the
// object map of the fifteen page classes and the type library's identifier.
#pragma once
#include "um/windows.h"

// The library's instance handle; null before process attach and after detach.
HINSTANCE PageLibraryInstance();
