// A notification client as an open property page is one: the board's notification event enabled
// buffered on a filter handle from user mode, and the records queued for it read back in order.
#pragma once
#include <gtest/gtest.h>

#include "shared/guiddef.h"
#include "um/ks.h"
#include "um/windows.h"

#include "privatesetguids.h" // after the platform's GUID

#include <cstring>
#include <vector>

namespace notificationclient {

// The block a notification client enables with: its KSEVENTDATA, then room for one record.
struct NotificationBlock {
    KSEVENTDATA data;
    UCHAR record[sizeof(BrevicorNotificationRecord)];
};
static_assert(sizeof(NotificationBlock) == kNotificationEnableDataBytes);

// Enables the notification event, buffered, on `filter`; the block must stay where it is while
// the entry lives. Returns the event it signals, which the caller closes.
inline HANDLE EnableBufferedNotification(HANDLE filter, NotificationBlock* block)
{
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    block->data = {KSEVENTF_EVENT_HANDLE, ULONG(reinterpret_cast<uintptr_t>(event)), {0, 0}};
    KSEVENT enable{};
    enable.Set = KSEVENTSETID_BREVICOR_NOTIFICATION;
    enable.Id = 0;
    enable.Flags = KSEVENT_TYPE_ENABLEBUFFERED;
    ULONG bytes = 0;
    EXPECT_EQ(KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &enable, sizeof enable, block, sizeof *block,
                                         &bytes),
              S_OK);
    return event;
}

// The records queued for the block's entry on `filter`, oldest first; the queue is empty after.
inline std::vector<std::vector<UCHAR>> QueuedNotifications(HANDLE filter, NotificationBlock* block)
{
    std::vector<std::vector<UCHAR>> records;
    KSQUERYBUFFER query{};
    query.Event.Set = KSEVENTSETID_BREVICOR_NOTIFICATION;
    query.Event.Id = 0;
    query.Event.Flags = KSEVENT_TYPE_QUERYBUFFER;
    query.EventData = standin::KsEventDataCookie(block);
    EXPECT_NE(query.EventData, 0u);
    for (;;) {
        ULONG bytes = 0;
        std::memset(block->record, 0xEE, sizeof block->record);
        const HRESULT result = KsSynchronousDeviceControl(filter, IOCTL_KS_ENABLE_EVENT, &query, sizeof query,
                                                          block->record, sizeof block->record, &bytes);
        if (result != S_OK) {
            EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS));
            return records;
        }
        records.emplace_back(block->record, block->record + bytes);
    }
}

} // namespace notificationclient
