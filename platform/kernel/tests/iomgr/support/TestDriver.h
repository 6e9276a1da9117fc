// A small driver for the I/O manager's tests, built into the test programs: it makes named devices,
// records the create, cleanup, close and shutdown requests it gets, serves device-control requests
// of each transfer method, pends requests (with or without a cancel routine) until a test completes
// them, and misbehaves on request, so that the verifier's reports can be checked.
#pragma once
#include "km/kernel.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace iotest {

// Output byte i = input byte i + 1; Information = input length. An output shorter than the input
// gets as much as fits and STATUS_BUFFER_OVERFLOW.
constexpr ULONG kEchoBuffered = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Keeps the bytes the MDL describes (DeviceState::lastDirectInput); Information = their count.
constexpr ULONG kReadInDirect = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_IN_DIRECT, FILE_WRITE_ACCESS);
// Input: a ULONG count and a byte value; writes count bytes of the value through the MDL;
// Information = count. A count beyond the MDL gives STATUS_BUFFER_TOO_SMALL.
constexpr ULONG kFillOutDirect = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_OUT_DIRECT, FILE_READ_ACCESS);
// Copies Type3InputBuffer to UserBuffer (the shorter length); Information = that length.
constexpr ULONG kCopyNeither = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_NEITHER, FILE_ANY_ACCESS);
// Queues the request with a cancel routine and returns STATUS_PENDING.
constexpr ULONG kPend = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Queues the request without a cancel routine.
constexpr ULONG kPendUncancellable = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x805, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input: an NTSTATUS and a ULONG; completes with them as status and Information.
constexpr ULONG kCompleteWith = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Completes the request twice.
constexpr ULONG kCompleteTwice = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x807, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Returns STATUS_SUCCESS at once and completes the request a little later from another thread.
constexpr ULONG kReturnBeforeCompleting = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x808, METHOD_BUFFERED, FILE_ANY_ACCESS);

// A create whose file name is this is refused with STATUS_ACCESS_DENIED.
inline constexpr char16_t kDeniedName[] = u"\\deny";

// What a device has seen; lives in the device extension.
struct DeviceState {
    std::atomic<int> creates{0};
    std::atomic<int> cleanups{0};
    std::atomic<int> closes{0};
    std::atomic<int> shutdowns{0};
    std::atomic<int> cancelled{0};
    std::mutex lock;
    std::vector<std::u16string> createNames;  // FILE_OBJECT::FileName of each create
    std::vector<PFILE_OBJECT> createFiles;    // and its file object
    std::vector<UCHAR> events;                // the major function of each create, cleanup and close
    std::vector<UCHAR> lastDirectInput;
    std::vector<UCHAR> pnpMinors;
    PDEVICE_OBJECT lower = nullptr; // where plug and play requests go on to

    KSPIN_LOCK queueLock;
    LIST_ENTRY queue;
    KEVENT queued; // synchronization event: set each time a request is queued
};

class TestDriver {
public:
    explicit TestDriver(std::u16string_view serviceName = u"IoTest");
    ~TestDriver();
    TestDriver(const TestDriver&) = delete;
    TestDriver& operator=(const TestDriver&) = delete;

    PDRIVER_OBJECT Driver() const { return driver_; }
    // A ready device ("\Device\<name>", or unnamed for an empty name), with a "\??\<link>" link when
    // a link name is given.
    PDEVICE_OBJECT AddDevice(std::u16string_view name, std::u16string_view link = {}, bool exclusive = false);
    // Deletes a device AddDevice made, and its link.
    void RemoveDevice(PDEVICE_OBJECT device);

    static DeviceState& State(PDEVICE_OBJECT device);
    // Waits (up to `milliseconds` of the process clock) until a request has been queued.
    static bool WaitForQueued(PDEVICE_OBJECT device, int milliseconds = 10000);
    // Completes the oldest queued request; false when none can be (empty, or being cancelled).
    static bool CompleteQueued(PDEVICE_OBJECT device, NTSTATUS status, ULONG_PTR information);

private:
    struct Added {
        PDEVICE_OBJECT device;
        std::u16string link;
    };
    PDRIVER_OBJECT driver_;
    std::vector<Added> devices_;
};

// The status block and bytes of a kernel-side device-control request sent with
// IoBuildDeviceIoControlRequest and waited for.
IO_STATUS_BLOCK SendDeviceControl(PDEVICE_OBJECT device, ULONG code, PVOID in, ULONG inLength, PVOID out,
                                  ULONG outLength);

UNICODE_STRING Counted(const std::u16string& text);

} // namespace iotest
