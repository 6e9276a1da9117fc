// The error of the calling thread's last common dialog call, which CommDlgExtendedError reports.
#pragma once
#include "um/windef.h"

namespace user {
extern thread_local DWORD t_commonDialogError;
}
