// The system's own status conversion as user mode reaches it.
#pragma once
#include "um/windef.h"

extern "C" {
// The Win32 error for an NTSTATUS: from the table of the statuses the system uses, with Windows'
// values (STATUS_SUCCESS 0, STATUS_INVALID_PARAMETER ERROR_INVALID_PARAMETER, STATUS_BUFFER_OVERFLOW
// ERROR_MORE_DATA, STATUS_CANCELLED ERROR_OPERATION_ABORTED, ...). A status of facility 7
// (0x8007xxxx, 0xC007xxxx: a Win32 error wrapped as a status, the driver's own codes included) gives
// its low 16 bits, as Windows does; any other status gives ERROR_MR_MID_NOT_FOUND.
ULONG WINAPI RtlNtStatusToDosError(NTSTATUS Status);
}
