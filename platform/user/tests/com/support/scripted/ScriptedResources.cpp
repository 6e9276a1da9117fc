// A test module whose resource table the resource compiler writes from ScriptedResources.rc.
#include "um/windows.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
