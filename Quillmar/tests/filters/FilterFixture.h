// The board's filters as applications and property pages reach them: a machine with the driver
// file and a simulated board plugged, filters opened by their friendly names, and property and
// event requests sent through DeviceIoControl and KsSynchronousDeviceControl.
#pragma once
#include "../NotificationClient.h"
#include "../lifecycle/LifeCycleFixture.h"

#include "shared/guiddef.h"
#include "standin/system.h"
#include "standin/verifier.h"
#include "um/ks.h"
#include "um/windows.h"
#include "um/winternl.h"

#include "privatesetguids.h" // after the platform's GUID

#include <algorithm>
#include <cstring>
#include <vector>

namespace filtertest {

using notificationclient::NotificationBlock;

// A property record: the header, then the payload, `length` bytes in all.
class Record {
public:
    Record(const GUID& set, ULONG id, ULONG flags, size_t length) : bytes_(length, 0)
    {
        KSPROPERTY header{};
        header.Set = set;
        header.Id = id;
        header.Flags = flags;
        std::memcpy(bytes_.data(), &header, sizeof(header));
    }
    UCHAR* data() { return bytes_.data(); }
    ULONG size() const { return static_cast<ULONG>(bytes_.size()); }
    template <class T> T Get(size_t offset) const
    {
        T value{};
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return value;
    }
    template <class T> void Put(size_t offset, T value) { std::memcpy(bytes_.data() + offset, &value, sizeof(T)); }
    void PutText(size_t offset, const std::u16string& text)
    {
        std::memcpy(bytes_.data() + offset, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    }
    std::u16string Text(size_t offset) const
    {
        std::u16string text;
        for (size_t i = offset; i + 1 < bytes_.size(); i += 2) {
            const char16_t c = static_cast<char16_t>(bytes_[i] | bytes_[i + 1] << 8);
            if (c == 0)
                break;
            text.push_back(c);
        }
        return text;
    }
    std::vector<UCHAR>& Bytes() { return bytes_; }

private:
    std::vector<UCHAR> bytes_;
};

// A request's outcome: the Win32 error (0 on success) and the byte count returned.
struct Result {
    DWORD error;
    DWORD bytes;
};

// The Win32 error a driver status reaches user mode as.
inline DWORD Win32Of(NTSTATUS status)
{
    return RtlNtStatusToDosError(status);
}

class FilterTest : public lifecycletest::LifeCycleTest {
protected:
    void TearDown() override
    {
        for (HANDLE handle : handles_)
            CloseHandle(handle);
        for (HANDLE event : events_)
            CloseHandle(event);
        handles_.clear();
        events_.clear();
        LifeCycleTest::TearDown();
        standin::SetWdmVersion(6, 0);
    }

    // Boots with `parameters`, loads the driver and plugs a board of `configuration`.
    board::CaptureBoard& Start(const std::string& parameters = {}, board::BoardConfiguration configuration = {})
    {
        Boot(parameters);
        EXPECT_EQ(Load(), STATUS_SUCCESS);
        board::CaptureBoard& board = MakeBoard(0, configuration);
        EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        return board;
    }

    // The interface path of the filter of `category` named `name`, or empty.
    static std::u16string PathOf(const GUID& category, const std::u16string& name)
    {
        ULONG length = 0;
        if (CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT) !=
            CR_SUCCESS)
            return {};
        std::vector<WCHAR> list(length + 1);
        if (CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                          CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS)
            return {};
        for (const WCHAR* path = list.data(); *path != 0; path += std::char_traits<char16_t>::length(path) + 1) {
            WCHAR friendly[256] = {};
            ULONG size = sizeof(friendly);
            DEVPROPTYPE type = 0;
            if (CM_Get_Device_Interface_PropertyW(path, &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                  reinterpret_cast<PBYTE>(friendly), &size, 0) == CR_SUCCESS &&
                name == friendly)
                return path;
        }
        return {};
    }

    // Opens the filter of `category` named `name` (INVALID_HANDLE_VALUE when there is none).
    HANDLE Open(const GUID& category, const std::u16string& name)
    {
        const std::u16string path = PathOf(category, name);
        if (path.empty())
            return INVALID_HANDLE_VALUE;
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            handles_.push_back(handle);
        return handle;
    }

public:
    // The record sent as both the request and the data buffer, as the pages send it.
    static Result Send(HANDLE handle, Record& record)
    {
        DWORD bytes = 0;
        const BOOL ok = DeviceIoControl(handle, IOCTL_KS_PROPERTY, record.data(), record.size(), record.data(),
                                        record.size(), &bytes, nullptr);
        return {ok ? 0u : GetLastError(), bytes};
    }
    // A request with a data buffer of its own (`data` may be empty).
    static Result Send(HANDLE handle, Record& request, std::vector<UCHAR>& data)
    {
        DWORD bytes = 0;
        const BOOL ok = DeviceIoControl(handle, IOCTL_KS_PROPERTY, request.data(), request.size(),
                                        data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()), &bytes,
                                        nullptr);
        return {ok ? 0u : GetLastError(), bytes};
    }

protected:
    // Enables the notification event, buffered, on `handle`; the block must stay where it is.
    HANDLE EnableNotification(HANDLE handle, NotificationBlock* block)
    {
        HANDLE event = notificationclient::EnableBufferedNotification(handle, block);
        events_.push_back(event);
        return event;
    }

    // The records queued for the block's entry on `handle`, oldest first.
    static std::vector<std::vector<UCHAR>> Records(HANDLE handle, NotificationBlock* block)
    {
        return notificationclient::QueuedNotifications(handle, block);
    }

    // Closes a filter opened by Open before the test ends.
    void Close(HANDLE handle)
    {
        handles_.erase(std::remove(handles_.begin(), handles_.end(), handle), handles_.end());
        CloseHandle(handle);
    }

    static size_t LockOrderBreaches()
    {
        size_t n = 0;
        for (const auto& violation : standin::VerifierTakeViolations())
            n += violation.rule == "ks-lock-order" ? 1 : 0;
        return n;
    }

    std::vector<HANDLE> handles_;
    std::vector<HANDLE> events_;
};

} // namespace filtertest
