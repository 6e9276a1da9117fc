// Win32 events: auto and manual reset, time-outs, and handles that are not events.
#include <gtest/gtest.h>

#include "um/windows.h"

TEST(UserEvent, AutoResetReleasesOneWaitAndManualResetStaysSignalled)
{
    HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(automatic, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(automatic));
    EXPECT_EQ(WaitForSingleObject(automatic, INFINITE), DWORD(WAIT_OBJECT_0));

    HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 1), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(manual, 0), DWORD(WAIT_OBJECT_0));
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(CloseHandle(automatic));
    EXPECT_TRUE(CloseHandle(manual));
}

TEST(UserEvent, NamedEventsAndStaleHandlesAreRefused)
{
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, u"Name"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
}
