// A small kernel-streaming minidriver for the tests of the user-side request path: one device with
// one filter factory (capture and video categories), a property set with a values table, a node
// property, a buffered notification event, private control codes, and one capture pin type. Tests reach its filters only
// from user mode; what its handlers saw is counted here.
#pragma once
#include "km/kernel.h"
#include "shared/ksaudiorecords.h"
#include "shared/ksvideorecords.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kstest {

DEFINE_GUIDSTRUCT_VALUE(kTestPropertySet, 0x5D1D0C21L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
DEFINE_GUIDSTRUCT_VALUE(kNodePropertySet, 0x5D1D0C22L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
DEFINE_GUIDSTRUCT_VALUE(kNotificationSet, 0x5D1D0C26L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
DEFINE_GUIDSTRUCT_VALUE(kFilterReference, 0x13637B79L, 0xA9F8, 0x4CE5, 0x8A, 0xB7, 0x4C, 0x9C, 0x15, 0xCC, 0x48,
                        0x34);
DEFINE_GUIDSTRUCT_VALUE(kNodeType, 0x5D1D0C23L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A, 0x01);

// Items of the test set.
constexpr ULONG kLevel = 0;      // ULONG, get and set, 0..100 in steps of 5, default 50
constexpr ULONG kWideRecord = 1; // get only: 28-byte request, 8 bytes of data (request Id, 0xABCD)
constexpr ULONG kEditFlags = 2;  // set: edits this filter's descriptor and stores the ULONG in its Flags;
                                 // get: that Flags and 1 when the descriptor is the filter's own copy
constexpr ULONG kNodeValue = 0;  // node item: ULONG 0x1000 + node id
constexpr ULONG kNotifyEnableSize = 1124;
constexpr ULONG kNotifyRecordSize = 1108;

// Private codes: raise the notification on the caller's filter with the input as data; answer the
// opening process's address.
constexpr ULONG kRaiseNotification = CTL_CODE(FILE_DEVICE_KS, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kOpeningProcess = CTL_CODE(FILE_DEVICE_KS, 0x901, METHOD_BUFFERED, FILE_ANY_ACCESS);

inline constexpr char16_t kFriendlyName[] = u"Test Video Device 1";

struct Counters {
    std::atomic<int> handlerCalls{0};
    std::atomic<int> creates{0};
    std::atomic<int> closes{0};
    std::atomic<int> bagItemsFreed{0};
    std::atomic<int> surpriseRemovals{0};
};
Counters& Seen();
void ResetSeen();

// The capture pin (id 0, one instance): its ranges are a VideoRange each, UYVY then RGB32.
DEFINE_GUIDSTRUCT_VALUE(kPinPropertySet, 0x5D1D0C24L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
DEFINE_GUIDSTRUCT_VALUE(kCapturePinName, 0x5D1D0C25L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
constexpr ULONG kPinValue = 0; // pin item: the pin's context value (0x100 + id) and 1 when its parent
                               // filter is the request's filter
constexpr ULONG kHeldFrames = 1; // pin item, ULONG: get the clones the pin holds; set one of:
constexpr ULONG kHoldNone = 0;     // stop cloning new frames (the held clones stay)
constexpr ULONG kHoldFrames = 1;   // clone each frame before ejecting it and hold the clone
constexpr ULONG kReleaseHeld = 2;  // stop cloning and delete the held clones: their frames complete
constexpr ULONG kPinCount = 1;
constexpr uint32_t kMaxWidth = 320;
constexpr int32_t kMaxHeight = 240;

struct VideoInfo {
    uint32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    uint64_t avgTimePerFrame;
};
static_assert(sizeof(VideoInfo) == 32);
struct VideoRange {
    KSDATARANGE head;
    VideoInfo info;
};
static_assert(sizeof(VideoRange) == 96);

extern const KSPIN_DESCRIPTOR_EX kCapturePins[kPinCount];
const VideoRange& CaptureRange(int index);

// What the pin's routines saw, and how they are told to fail.
struct PinLog {
    std::mutex lock;
    std::vector<std::string> calls;                 // "format", "format-change", "create", "close"
    std::vector<std::pair<KSSTATE, KSSTATE>> steps; // SetDeviceState (to, from)
    int lastRange = -1;                             // the range SetDataFormat last got
    bool refuseFormat = false;
    bool refuseCreate = false;
    int refuseStateTo = -1; // a step to this state fails
    bool vbiHeaders = false;  // pins created now use the 136-byte VBI header instead of the 112-byte one
    int processCalls = 0;     // the framework's calls of the pin's Process
    // When set, Process does what a driver's may: it takes the filter's control mutex, and first
    // waits (holding the pin's processing lock) until the test opens the gate.
    bool processTakesControl = false;
    bool processGateOpen = true;
    bool inGatedProcess = false; // a Process call is waiting at the closed gate
    std::condition_variable changed; // under `lock`: the gate opened, or a Process reached it
    PKSPIN openPin = nullptr; // the pin open now (one instance at most)
};
// While the pin runs it makes a frame each period (the format's avgTimePerFrame, 100-ns units of the
// machine's clock) of the format's sizeImage bytes, at most the client buffer's: byte i of frame n is
// FramePattern(n, i). PresentationTime is the graph's reference clock when it set a master clock,
// else n periods; KS_FRAME_INFO (or KS_VBI_FRAME_INFO) carries n and the frames dropped so far.
inline UCHAR FramePattern(LONGLONG number, size_t index)
{
    return static_cast<UCHAR>(number * 37 + LONGLONG(index));
}
// What the VBI form of the header carries besides the frame numbers.
constexpr uint32_t kVbiStartLine = 10;
constexpr uint32_t kVbiEndLine = 21;
constexpr uint32_t kVbiSamplesPerLine = 1600;

PinLog& Pin();
void ResetPin();

// The driver object with the minidriver's entry done; ends it. With `withProxyFilters` its device also
// has the proxy tests' capture filter and crossbar (KsMinidriverProxyFilters.h).
PDRIVER_OBJECT LoadMinidriver(bool withProxyFilters = false);
void UnloadMinidriver(PDRIVER_OBJECT driver);
// The event set the filters' buffered notification answers under (kNotificationSet until changed);
// set before LoadMinidriver, back to kNotificationSet at UnloadMinidriver. A driver's test gives
// its own notification set, so that its records reach clients that enable that set.
void UseNotificationSet(const GUID& set);
// The factory's template descriptor, to check that it stays untouched.
const KSFILTER_DESCRIPTOR& TemplateDescriptor();

} // namespace kstest
