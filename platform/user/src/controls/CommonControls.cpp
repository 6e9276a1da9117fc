// InitCommonControlsEx: the common control classes are registered with the standard ones when the
// window manager starts, so the call only checks its record.
#include "controls/Controls.h"

namespace {

constexpr DWORD kKnownClasses = 0x0000FFFF;

} // namespace

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce)
{
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX) || (picce->dwICC & ~kKnownClasses)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

extern "C" void WINAPI InitCommonControls()
{
}
