// How a driver's status reads in user mode: RtlNtStatusToDosError's table, the statuses that carry a
// Win32 error of their own, the rest, and the HRESULT forms.
#include <gtest/gtest.h>

#include "um/winerror.h"
#include "um/winternl.h"

TEST(StatusMapping, TheSystemsStatusesMapToWindowsErrors)
{
    const struct {
        ULONG status;
        ULONG error;
    } expected[] = {
        {0x00000000, 0},    // STATUS_SUCCESS
        {0xC000000D, 87},   // STATUS_INVALID_PARAMETER
        {0xC0000023, 122},  // STATUS_BUFFER_TOO_SMALL
        {0x80000005, 234},  // STATUS_BUFFER_OVERFLOW
        {0xC000009A, 1450}, // STATUS_INSUFFICIENT_RESOURCES
        {0xC0000017, 8},    // STATUS_NO_MEMORY
        {0xC0000010, 1},    // STATUS_INVALID_DEVICE_REQUEST
        {0xC00000BB, 50},   // STATUS_NOT_SUPPORTED
        {0xC0000120, 995},  // STATUS_CANCELLED
        {0xC0000034, 2},    // STATUS_OBJECT_NAME_NOT_FOUND
        {0xC0000022, 5},    // STATUS_ACCESS_DENIED
        {0xC00000A3, 21},   // STATUS_DEVICE_NOT_READY
        {0x00000102, 1460}, // STATUS_TIMEOUT
        {0xC0000001, 31},   // STATUS_UNSUCCESSFUL
        {0xC0000008, 6},    // STATUS_INVALID_HANDLE
        {0x8000001A, 259},  // STATUS_NO_MORE_ENTRIES
        {0x00000103, 997},  // STATUS_PENDING
        {0xC0000003, 87},   // STATUS_INVALID_INFO_CLASS
        {0xC0000043, 32},   // STATUS_SHARING_VIOLATION
        {0xC000004F, 282},  // STATUS_EAS_NOT_SUPPORTED
        {0xC000007F, 112},  // STATUS_DISK_FULL
        {0xC00000BA, 5},    // STATUS_FILE_IS_A_DIRECTORY
        {0xC0000101, 145},  // STATUS_DIRECTORY_NOT_EMPTY
        {0xC0000103, 267},  // STATUS_NOT_A_DIRECTORY
        {0xC000011F, 4},    // STATUS_TOO_MANY_OPENED_FILES
        {0xC00002B6, 1617}, // STATUS_DEVICE_REMOVED (the table's last entry)
    };
    for (const auto& e : expected)
        EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(e.status)), e.error) << std::hex << e.status;
}

TEST(StatusMapping, FacilitySevenCarriesItsWin32ErrorAndAnythingElseIsUnknown)
{
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0xC007100B)), 0x100Bu); // the driver's own
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0x80070005)), 5u);
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0x40070000)), ULONG(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0xE0071000)), ULONG(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0xC0001234)), ULONG(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0xC0000006)), ULONG(ERROR_MR_MID_NOT_FOUND));
    EXPECT_EQ(RtlNtStatusToDosError(static_cast<NTSTATUS>(0xFFFFFFFF)), ULONG(ERROR_MR_MID_NOT_FOUND));
}

TEST(StatusMapping, HresultForms)
{
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MORE_DATA), static_cast<HRESULT>(0x800700EA));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MR_MID_NOT_FOUND), static_cast<HRESULT>(0x8007013D));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x8007000EUL), E_OUTOFMEMORY); // already an HRESULT
    EXPECT_EQ(HRESULT_FROM_NT(0xC0000001), static_cast<HRESULT>(0xD0000001));
    EXPECT_TRUE(FAILED(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}
