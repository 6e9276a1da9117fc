// Fuzz harness of the video capture filter's pins as a capture program drives them: any bytes
// become a sequence of requests on a capture pin and a closed-caption pin of the real driver, on a
// simulated board brought up once through the driver file: state changes in any order, stream reads
// whose headers have any sizes, extents, flags and buffer cookies (a registered buffer, a small
// one, a stale one, none or any value) in output buffers of any size, property requests on the
// pins (connection, stream and the video sets, get, set and basic support, with data of any size),
// and event requests on the video filter (enabled and disabled again). Every request must return
// (a read still pending is cancelled), and a completed read never claims more bytes than its
// buffer holds. Each input starts with both pins stopped; the pins stay open across inputs and are
// closed by the rig at exit, streams running or not.
//
// Input: a sequence of operations, each a byte (bits 0-2 the operation, bit 3 the caption pin
// instead of the capture pin) and the bytes it takes after it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "boardrig.h"
#include "shared/ksstreamrecords.h"
#include "shared/ksvideorecords.h"
#include "shared/ksvidcaprecords.h"
#include "um/ks.h"

#include "privatesetguids.h"

namespace {

// The driver's change notification (event 0), which the video filter raises when settings change.
constexpr const GUID& kNotificationSet = KSEVENTSETID_BREVICOR_NOTIFICATION;

constexpr ULONG kCapturePinId = 1;
constexpr ULONG kCaptionPinId = 4;
constexpr uint32_t kPictureBytes = 160 * 120 * 3;
constexpr size_t kMaximumOutput = 600;
constexpr size_t kMaximumPropertyData = 1200;

// The bytes of an input, read as it goes; past its end every read gives zeros.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Done() const { return m_at >= m_size; }
    uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint16_t Word16() { return uint16_t(Byte() | Byte() << 8); }
    uint32_t Word32() { return uint32_t(Word16()) | uint32_t(Word16()) << 16; }
    // Up to `most` bytes as they come (fewer when the input ends).
    std::vector<uint8_t> Take(size_t most)
    {
        const size_t count = std::min(most, m_size - std::min(m_at, m_size));
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + count);
        m_at += count;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

KS_DATAFORMAT_VIDEOINFOHEADER CaptureFormat()
{
    KS_DATAFORMAT_VIDEOINFOHEADER format{};
    format.DataFormat.FormatSize = sizeof(format);
    format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
    format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_RGB24;
    format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
    format.DataFormat.SampleSize = kPictureBytes;
    format.VideoInfoHeader.AvgTimePerFrame = 333667;
    format.VideoInfoHeader.bmiHeader = {40, 160, 120, 1, 24, 0, kPictureBytes, 0, 0, 0, 0};
    return format;
}

KSDATAFORMAT CaptionFormat()
{
    KSDATAFORMAT format{};
    format.FormatSize = sizeof(format);
    format.MajorFormat = KSDATAFORMAT_TYPE_AUXLine21Data;
    format.SubFormat = KSDATAFORMAT_SUBTYPE_Line21_BytePair;
    format.Specifier = KSDATAFORMAT_SPECIFIER_NONE;
    format.SampleSize = 2;
    return format;
}

// The pins and buffers every input uses, made once.
struct Pins {
    HANDLE pins[2] = {nullptr, nullptr};
    std::vector<uint8_t> picture = std::vector<uint8_t>(kPictureBytes);
    std::vector<uint8_t> small = std::vector<uint8_t>(64);
    uint32_t pictureCookie = 0;
    uint32_t smallCookie = 0;
    uint32_t staleCookie = 0;
};

Pins& ThePins(fuzzrig::Rig& rig)
{
    static Pins* pins = [&rig] {
        auto* made = new Pins;
        const auto capture = CaptureFormat();
        const auto caption = CaptionFormat();
        if (standin::KsCreateStandardPin(rig.filters[0], kCapturePinId, &capture, sizeof(capture), &made->pins[0]) != 0 ||
            standin::KsCreateStandardPin(rig.filters[0], kCaptionPinId, &caption, sizeof(caption), &made->pins[1]) != 0)
            std::abort();
        for (HANDLE pin : made->pins)
            rig.Keep(pin);
        made->pictureCookie = standin::KsRegisterStreamBuffer(made->picture.data(), kPictureBytes);
        made->smallCookie = standin::KsRegisterStreamBuffer(made->small.data(), uint32_t(made->small.size()));
        static uint8_t gone[16];
        made->staleCookie = standin::KsRegisterStreamBuffer(gone, sizeof(gone));
        standin::KsUnregisterStreamBuffer(made->staleCookie);
        if (made->pictureCookie == 0 || made->smallCookie == 0)
            std::abort();
        return made;
    }();
    return *pins;
}

BOOL SetState(HANDLE pin, KSSTATE state)
{
    KSPROPERTY property{};
    property.Set = KSPROPSETID_Connection;
    property.Id = KSPROPERTY_CONNECTION_STATE;
    property.Flags = KSPROPERTY_TYPE_SET;
    DWORD returned = 0;
    return DeviceIoControl(pin, IOCTL_KS_PROPERTY, &property, sizeof(property), &state, sizeof(state), &returned,
                           nullptr);
}

// Back to stop one step at a time, as a graph stops its pins.
void Stop(HANDLE pin)
{
    for (KSSTATE state : {KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP})
        SetState(pin, state);
}

// One stream read from a thread of its own. On a pin the input set running, the read has a
// while to be filled; then a read the driver keeps pending (a pin that is not running, or no
// picture yet) is cancelled until it returns.
void Read(HANDLE pin, bool running, Cursor& in, const Pins& pins)
{
    const size_t outputLength = in.Word16() % (kMaximumOutput + 1);
    std::vector<uint8_t> output(std::max<size_t>(outputLength, 1), 0);
    // The first header from the input's fields; a second one after it when the output has room.
    KSSTREAM_HEADER header{};
    const uint8_t sizeChoice = in.Byte();
    header.Size = sizeChoice < 128 ? 112 : sizeChoice < 192 ? 48 : sizeChoice < 224 ? in.Word16() : in.Word32();
    header.FrameExtent = in.Byte() < 200 ? kPictureBytes : in.Word32();
    header.DataUsed = in.Byte() < 200 ? 0 : in.Word32();
    header.OptionsFlags = in.Byte() < 200 ? 0 : in.Word32();
    header.TypeSpecificFlags = in.Byte() < 230 ? 0 : in.Word32();
    switch (in.Byte() % 6) {
    case 0:
    case 1: header.Data = pins.pictureCookie; break;
    case 2: header.Data = pins.smallCookie; break;
    case 3: header.Data = pins.staleCookie; break;
    case 4: header.Data = 0; break;
    default: header.Data = in.Word32(); break;
    }
    std::memcpy(output.data(), &header, std::min(sizeof(header), outputLength));
    if (outputLength >= 2 * 112 && in.Byte() % 2 == 0)
        std::memcpy(output.data() + 112, &header, sizeof(header));
    std::atomic<bool> done{false};
    BOOL ok = FALSE;
    DWORD returned = 0;
    std::thread reader([&] {
        ok = DeviceIoControl(pin, IOCTL_KS_READ_STREAM, nullptr, 0, outputLength ? output.data() : nullptr,
                             DWORD(outputLength), &returned, nullptr);
        done = true;
    });
    for (int waited = 0; running && !done.load() && waited < 200; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (!done.load()) {
        CancelIoEx(pin, nullptr);
        std::this_thread::yield();
    }
    reader.join();
    if (ok && returned > outputLength)
        std::abort();
    if (ok && outputLength >= sizeof(KSSTREAM_HEADER)) {
        KSSTREAM_HEADER back{};
        std::memcpy(&back, output.data(), sizeof(back));
        const uint32_t held = back.Data == pins.pictureCookie ? kPictureBytes
                              : back.Data == pins.smallCookie ? uint32_t(pins.small.size())
                                                              : 0;
        if (back.DataUsed > held)
            std::abort();
    }
}

const GUID* PropertySet(uint8_t choice)
{
    static const GUID* sets[] = {&KSPROPSETID_Connection, &KSPROPSETID_Stream, &PROPSETID_VIDCAP_DROPPEDFRAMES,
                                 &PROPSETID_VIDCAP_VIDEOPROCAMP, &KSPROPSETID_Pin, &PROPSETID_VIDCAP_VIDEODECODER};
    return sets[choice % (sizeof(sets) / sizeof(sets[0]))];
}

void Property(HANDLE pin, Cursor& in)
{
    std::vector<uint8_t> request(sizeof(KSPROPERTY) + 8, 0);
    KSPROPERTY property{};
    property.Set = *PropertySet(in.Byte());
    property.Id = in.Byte() % 24;
    const uint8_t flags = in.Byte();
    property.Flags = flags < 100   ? KSPROPERTY_TYPE_GET
                     : flags < 200 ? KSPROPERTY_TYPE_SET
                     : flags < 240 ? KSPROPERTY_TYPE_BASICSUPPORT
                                   : in.Word32();
    // A state change goes through its own operation, so that it stays one step at a time.
    if (property.Set == KSPROPSETID_Connection && property.Id == KSPROPERTY_CONNECTION_STATE &&
        (property.Flags & KSPROPERTY_TYPE_SET) != 0)
        property.Flags = KSPROPERTY_TYPE_GET;
    std::memcpy(request.data(), &property, sizeof(property));
    const std::vector<uint8_t> extra = in.Take(in.Byte() % 9);
    request.resize(sizeof(KSPROPERTY) + extra.size());
    std::copy(extra.begin(), extra.end(), request.begin() + sizeof(KSPROPERTY));
    const size_t dataLength = in.Word16() % (kMaximumPropertyData + 1);
    std::vector<uint8_t> value = in.Take(dataLength);
    value.resize(std::max<size_t>(dataLength, 1), 0);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(pin, IOCTL_KS_PROPERTY, request.data(), DWORD(request.size()),
                                    dataLength ? value.data() : nullptr, DWORD(dataLength), &returned, nullptr);
    if (ok && returned > dataLength)
        std::abort();
}

// An event on the video filter, enabled with the run's event handle and disabled again.
void Event(HANDLE filter, Cursor& in)
{
    static const GUID* sets[] = {&kNotificationSet, &KSPROPSETID_Connection};
    KSEVENT event{};
    event.Set = *sets[in.Byte() % 2];
    event.Id = in.Byte() % 4;
    const uint8_t flags = in.Byte();
    event.Flags = flags < 120   ? KSEVENT_TYPE_ENABLE
                  : flags < 180 ? KSEVENT_TYPE_ENABLEBUFFERED
                  : flags < 220 ? KSEVENT_TYPE_BASICSUPPORT
                  : flags < 240 ? KSEVENT_TYPE_ONESHOT
                                : in.Word32();
    const size_t dataLength = in.Word16() % 1300;
    std::vector<uint8_t> data = in.Take(dataLength);
    data.resize(std::max<size_t>(dataLength, sizeof(KSEVENTDATA)), 0);
    HANDLE notify = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (notify == nullptr)
        std::abort();
    if (in.Byte() % 4 != 0) {
        KSEVENTDATA eventData{};
        eventData.NotificationType = KSEVENTF_EVENT_HANDLE;
        eventData.EventHandle = uint32_t(reinterpret_cast<uintptr_t>(notify));
        std::memcpy(data.data(), &eventData, sizeof(eventData));
    }
    DWORD returned = 0;
    const BOOL enabled = DeviceIoControl(filter, IOCTL_KS_ENABLE_EVENT, &event, sizeof(event),
                                         dataLength ? data.data() : nullptr, DWORD(dataLength), &returned, nullptr);
    if (enabled && returned > dataLength)
        std::abort();
    // Disabling what was not enabled is refused; what was enabled ends here, before its data goes.
    DeviceIoControl(filter, IOCTL_KS_DISABLE_EVENT, nullptr, 0, dataLength ? data.data() : nullptr,
                    DWORD(dataLength), &returned, nullptr);
    CloseHandle(notify);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzrig::Rig& rig = fuzzrig::TheRig("pinstreams");
    Pins& pins = ThePins(rig);
    for (HANDLE pin : pins.pins)
        Stop(pin);
    bool running[2] = {false, false};
    Cursor in(data, std::min<size_t>(size, 4096));
    for (int operations = 0; !in.Done() && operations < 64; ++operations) {
        const uint8_t op = in.Byte();
        const int which = (op >> 3) & 1;
        HANDLE pin = pins.pins[which];
        switch (op & 7) {
        case 0:
        case 1: {
            const KSSTATE state = KSSTATE(in.Byte() % 4);
            if (SetState(pin, state))
                running[which] = state == KSSTATE_RUN;
            break;
        }
        case 2:
        case 3: Read(pin, running[which], in, pins); break;
        case 4:
        case 5: Property(pin, in); break;
        case 6: Event(rig.filters[0], in); break;
        default: {
            // A write to a capture pin, which takes none.
            std::vector<uint8_t> header(48, 0);
            DWORD returned = 0;
            DeviceIoControl(pin, CTL_CODE(FILE_DEVICE_KS, 0x004, METHOD_NEITHER, FILE_WRITE_ACCESS), nullptr, 0,
                            header.data(), DWORD(header.size()), &returned, nullptr);
            break;
        }
        }
    }
    return 0;
}
