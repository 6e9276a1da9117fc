// RtlNtStatusToDosError: the Win32 error of each status the system uses (the driver's, and every one
// the kernel side's file, registry, thread and wait functions answer the user side), with Windows'
// values.
#include "km/status.h"
#include "um/winerror.h"
#include "um/winternl.h"

#include <algorithm>
#include <iterator>

namespace {

struct StatusError {
    ULONG status;
    ULONG error;
};

// Sorted by status.
constexpr StatusError kTable[] = {
    {0x00000000, ERROR_SUCCESS},                 // STATUS_SUCCESS, STATUS_WAIT_0
    {0x00000102, ERROR_TIMEOUT},                 // STATUS_TIMEOUT
    {0x00000103, ERROR_IO_PENDING},              // STATUS_PENDING
    {0x00000105, ERROR_MORE_DATA},               // STATUS_MORE_ENTRIES
    {0x40000000, ERROR_ALREADY_EXISTS},          // STATUS_OBJECT_NAME_EXISTS
    {0x80000005, ERROR_MORE_DATA},               // STATUS_BUFFER_OVERFLOW
    {0x8000001A, ERROR_NO_MORE_ITEMS},           // STATUS_NO_MORE_ENTRIES
    {0xC0000001, ERROR_GEN_FAILURE},             // STATUS_UNSUCCESSFUL
    {0xC0000002, ERROR_INVALID_FUNCTION},        // STATUS_NOT_IMPLEMENTED
    {0xC0000003, ERROR_INVALID_PARAMETER},       // STATUS_INVALID_INFO_CLASS
    {0xC0000004, ERROR_BAD_LENGTH},              // STATUS_INFO_LENGTH_MISMATCH
    {0xC0000005, ERROR_NOACCESS},                // STATUS_ACCESS_VIOLATION
    {0xC0000008, ERROR_INVALID_HANDLE},          // STATUS_INVALID_HANDLE
    {0xC000000D, ERROR_INVALID_PARAMETER},       // STATUS_INVALID_PARAMETER
    {0xC000000E, ERROR_FILE_NOT_FOUND},          // STATUS_NO_SUCH_DEVICE
    {0xC000000F, ERROR_FILE_NOT_FOUND},          // STATUS_NO_SUCH_FILE
    {0xC0000010, ERROR_INVALID_FUNCTION},        // STATUS_INVALID_DEVICE_REQUEST
    {0xC0000011, ERROR_HANDLE_EOF},              // STATUS_END_OF_FILE
    {0xC0000016, ERROR_MORE_DATA},               // STATUS_MORE_PROCESSING_REQUIRED
    {0xC0000017, ERROR_NOT_ENOUGH_MEMORY},       // STATUS_NO_MEMORY
    {0xC0000022, ERROR_ACCESS_DENIED},           // STATUS_ACCESS_DENIED
    {0xC0000023, ERROR_INSUFFICIENT_BUFFER},     // STATUS_BUFFER_TOO_SMALL
    {0xC0000024, ERROR_INVALID_HANDLE},          // STATUS_OBJECT_TYPE_MISMATCH
    {0xC0000033, ERROR_INVALID_NAME},            // STATUS_OBJECT_NAME_INVALID
    {0xC0000034, ERROR_FILE_NOT_FOUND},          // STATUS_OBJECT_NAME_NOT_FOUND
    {0xC0000035, ERROR_ALREADY_EXISTS},          // STATUS_OBJECT_NAME_COLLISION
    {0xC000003A, ERROR_PATH_NOT_FOUND},          // STATUS_OBJECT_PATH_NOT_FOUND
    {0xC000003B, ERROR_BAD_PATHNAME},            // STATUS_OBJECT_PATH_SYNTAX_BAD
    {0xC000003E, ERROR_CRC},                     // STATUS_DATA_ERROR
    {0xC0000043, ERROR_SHARING_VIOLATION},       // STATUS_SHARING_VIOLATION
    {0xC0000046, ERROR_NOT_OWNER},               // STATUS_MUTANT_NOT_OWNED
    {0xC000004F, ERROR_EAS_NOT_SUPPORTED},       // STATUS_EAS_NOT_SUPPORTED
    {0xC0000056, ERROR_ACCESS_DENIED},           // STATUS_DELETE_PENDING
    {0xC000007F, ERROR_DISK_FULL},               // STATUS_DISK_FULL
    {0xC000008A, ERROR_RESOURCE_TYPE_NOT_FOUND}, // STATUS_RESOURCE_TYPE_NOT_FOUND
    {0xC000009A, ERROR_NO_SYSTEM_RESOURCES},     // STATUS_INSUFFICIENT_RESOURCES
    {0xC00000A3, ERROR_NOT_READY},               // STATUS_DEVICE_NOT_READY
    {0xC00000BA, ERROR_ACCESS_DENIED},           // STATUS_FILE_IS_A_DIRECTORY
    {0xC00000BB, ERROR_NOT_SUPPORTED},           // STATUS_NOT_SUPPORTED
    {0xC00000E5, ERROR_INTERNAL_ERROR},          // STATUS_INTERNAL_ERROR
    {0xC00000F0, ERROR_INVALID_PARAMETER},       // STATUS_INVALID_PARAMETER_2
    {0xC0000101, ERROR_DIR_NOT_EMPTY},           // STATUS_DIRECTORY_NOT_EMPTY
    {0xC0000103, ERROR_DIRECTORY},               // STATUS_NOT_A_DIRECTORY
    {0xC000011F, ERROR_TOO_MANY_OPEN_FILES},     // STATUS_TOO_MANY_OPENED_FILES
    {0xC0000120, ERROR_OPERATION_ABORTED},       // STATUS_CANCELLED
    {0xC0000121, ERROR_ACCESS_DENIED},           // STATUS_CANNOT_DELETE
    {0xC000017C, ERROR_KEY_DELETED},             // STATUS_KEY_DELETED
    {0xC0000181, ERROR_CHILD_MUST_BE_VOLATILE},  // STATUS_CHILD_MUST_BE_VOLATILE
    {0xC0000184, ERROR_BAD_COMMAND},             // STATUS_INVALID_DEVICE_STATE
    {0xC0000185, ERROR_IO_DEVICE},               // STATUS_IO_DEVICE_ERROR
    {0xC0000206, ERROR_INVALID_USER_BUFFER},     // STATUS_INVALID_BUFFER_SIZE
    {0xC0000225, ERROR_NOT_FOUND},               // STATUS_NOT_FOUND
    {0xC0000272, ERROR_NO_MATCH},                // STATUS_NO_MATCH
    {0xC00002B6, ERROR_DEVICE_REMOVED},          // STATUS_DEVICE_REMOVED
};

constexpr bool IsSorted()
{
    for (size_t i = 1; i < std::size(kTable); ++i)
        if (kTable[i - 1].status >= kTable[i].status)
            return false;
    return true;
}
static_assert(IsSorted());

} // namespace

extern "C" ULONG WINAPI RtlNtStatusToDosError(NTSTATUS Status)
{
    const auto status = static_cast<ULONG>(Status);
    // Facility 7 carries a Win32 error in its low word, whatever the severity.
    if ((status & 0x3FFF0000) == 0x00070000 && (status & 0x80000000))
        return status & 0xFFFF;
    const auto* end = std::end(kTable);
    const auto* found = std::lower_bound(std::begin(kTable), end, status,
                                         [](const StatusError& e, ULONG s) { return e.status < s; });
    return found != end && found->status == status ? found->error : ERROR_MR_MID_NOT_FOUND;
}
