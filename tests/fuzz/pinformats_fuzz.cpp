// Fuzz harness of the records a capture program negotiates pins with: any bytes become a data
// intersection (the caller's list of ranges against a pin of the video or audio capture filter,
// into an output buffer of a chosen size), a pin created with a format, or a format change on an
// open capture pin, on a simulated board brought up once through the driver file. Every request
// must complete; an intersection returns no more than its buffer (a size query no more than the
// largest format, 1192 bytes); a pin that was made closes again.
//
// Input: byte 0 picks the request (intersection, pin creation, format change), byte 1 the filter
// and pin, bytes 2 and 3 the output buffer's size (little-endian, at most 2048); the rest is the
// range list (after its count, which byte 4 gives) or the format.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "boardrig.h"
#include "shared/ksaudiorecords.h"
#include "shared/kspinrecords.h"
#include "shared/ksvideorecords.h"
#include "um/ks.h"

namespace {

constexpr size_t kMaximumOutput = 2048;
constexpr size_t kMaximumFormat = 4096;

// A capture pin of 320 x 240 RGB32, open for the format changes.
HANDLE CapturePin(HANDLE video)
{
    static HANDLE pin = [video] {
        struct {
            KSPIN_CONNECT connect;
            KS_DATAFORMAT_VIDEOINFOHEADER format;
        } request{};
        request.connect.Interface.Set = KSINTERFACESETID_Standard;
        request.connect.Medium.Set = KSMEDIUMSETID_Standard;
        request.connect.PinId = 1;
        request.connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
        KS_DATAFORMAT_VIDEOINFOHEADER& format = request.format;
        format.DataFormat.FormatSize = sizeof(format);
        format.DataFormat.MajorFormat = KSDATAFORMAT_TYPE_VIDEO;
        format.DataFormat.SubFormat = KSDATAFORMAT_SUBTYPE_RGB32;
        format.DataFormat.Specifier = KSDATAFORMAT_SPECIFIER_VIDEOINFO;
        format.VideoInfoHeader.AvgTimePerFrame = 333667;
        format.VideoInfoHeader.bmiHeader = {40, 320, 240, 1, 32, 0, 307200, 0, 0, 0, 0};
        HANDLE made = nullptr;
        if (KsCreatePin(video, &request.connect, GENERIC_READ, &made) != 0)
            std::abort();
        return made;
    }();
    return pin;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    fuzzrig::Rig& rig = fuzzrig::TheRig("pinformats");
    const bool audio = (data[1] & 0x80) != 0;
    HANDLE filter = rig.filters[audio ? 1 : 0];
    const ULONG pinId = audio ? 0 : data[1] % 5;
    const size_t outputLength = (data[2] | size_t{data[3]} << 8) % (kMaximumOutput + 1);
    const uint8_t* rest = data + 5;
    const size_t restLength = std::min(size - 5, kMaximumFormat);

    switch (data[0] % 3) {
    case 0: {
        // KSP_PIN, then the caller's list: its size, its count, its ranges.
        std::vector<uint8_t> request(sizeof(KSP_PIN) + sizeof(KSMULTIPLE_ITEM) + restLength, 0);
        KSP_PIN pin{};
        pin.Property.Set = KSPROPSETID_Pin;
        pin.Property.Id = KSPROPERTY_PIN_DATAINTERSECTION;
        pin.Property.Flags = KSPROPERTY_TYPE_GET;
        pin.PinId = pinId;
        std::memcpy(request.data(), &pin, sizeof(pin));
        const KSMULTIPLE_ITEM list{static_cast<uint32_t>(sizeof(KSMULTIPLE_ITEM) + restLength), data[4] % 4u};
        std::memcpy(request.data() + sizeof(pin), &list, sizeof(list));
        if (restLength != 0)
            std::memcpy(request.data() + sizeof(pin) + sizeof(list), rest, restLength);
        std::vector<uint8_t> output(outputLength, 0xEE);
        DWORD returned = 0xFFFFFFFF;
        const BOOL ok = DeviceIoControl(filter, IOCTL_KS_PROPERTY, request.data(), DWORD(request.size()),
                                        output.empty() ? nullptr : output.data(), DWORD(output.size()),
                                        &returned, nullptr);
        if (ok && returned > outputLength)
            std::abort();
        if (!ok && GetLastError() == ERROR_MORE_DATA && returned > 1192)
            std::abort();
        if (!ok && GetLastError() != ERROR_MORE_DATA && returned != 0)
            std::abort();
        break;
    }
    case 1: {
        // KsCreatePin reads as many bytes as the format's size says: the caller's promise, kept here
        // by never claiming more than the input holds (a smaller size stays as it came).
        std::vector<uint8_t> request(sizeof(KSPIN_CONNECT) + std::max(restLength, sizeof(KSDATAFORMAT)), 0);
        KSPIN_CONNECT connect{};
        connect.Interface.Set = KSINTERFACESETID_Standard;
        connect.Medium.Set = KSMEDIUMSETID_Standard;
        // The open capture pin keeps pin 1 taken: its creations are refused as a second instance.
        connect.PinId = pinId;
        connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
        std::memcpy(request.data(), &connect, sizeof(connect));
        if (restLength != 0)
            std::memcpy(request.data() + sizeof(connect), rest, restLength);
        uint32_t formatSize = 0;
        std::memcpy(&formatSize, request.data() + sizeof(connect), sizeof(formatSize));
        const uint32_t held = static_cast<uint32_t>(request.size() - sizeof(connect));
        if (formatSize > held)
            std::memcpy(request.data() + sizeof(connect), &held, sizeof(held));
        // Nor an attribute list after the format that the input does not carry.
        request[sizeof(connect) + offsetof(KSDATAFORMAT, Flags)] &= ~uint8_t(KSDATAFORMAT_ATTRIBUTES);
        HANDLE pin = nullptr;
        if (KsCreatePin(filter, reinterpret_cast<PKSPIN_CONNECT>(request.data()), GENERIC_READ, &pin) == 0)
            CloseHandle(pin);
        break;
    }
    default: {
        HANDLE pin = CapturePin(rig.filters[0]);
        KSPROPERTY property{};
        property.Set = KSPROPSETID_Connection;
        property.Id = KSPROPERTY_CONNECTION_DATAFORMAT;
        property.Flags = KSPROPERTY_TYPE_SET;
        std::vector<uint8_t> format(rest, rest + restLength);
        DWORD returned = 0;
        DeviceIoControl(pin, IOCTL_KS_PROPERTY, &property, sizeof(property),
                        format.empty() ? nullptr : format.data(), DWORD(format.size()), &returned, nullptr);
        break;
    }
    }
    return 0;
}
