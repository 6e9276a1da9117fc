// Fuzz harness of the property records callers send to the board's filters, the video settings
// records among them: any bytes become one property request to the video capture, audio capture
// or crossbar filter of a simulated board brought up once by the machine through the driver file.
// The request names one of the sets and items the filters list (or any set), with get, set or
// basic support, to the filter or to one of its topology nodes; the record after the header and
// the data length are the caller's. Every request must complete; a failure returns no bytes, a
// success no more than the data holds, and a size query no more than the record the item answers.
// Requests that would take the board away from later inputs are steered clear of it: no DSP
// reset, tester start or PCI test buffer, and no trace log file.
//
// Input: byte 0 picks the filter, byte 1 the set and item, byte 2 the request type, bytes 3 and 4
// the data length (little-endian, at most 4096), byte 5 a node id; the rest is the record after its
// 24-byte header (the request is at least the header).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "boardrig.h"
#include "shared/ksaudiorecords.h"
#include "shared/kscategories.h"
#include "shared/kspinrecords.h"
#include "shared/ksvidcaprecords.h"
#include "um/cfgmgr32.h"
#include "um/ks.h"
#include "um/windows.h"

#include "privatesetguids.h"

namespace {

using fuzzrig::Rig;

constexpr size_t kMaximumData = 4096;
constexpr size_t kMaximumRequest = 4096;

struct Item {
    GUID set;
    ULONG id;
};

// The private sets are the driver's interface (privatesetguids.h).
const Item kItems[] = {
    {PROPSETID_BREVICOR_INTERFACE_VERSION, 0},
    {PROPSETID_BREVICOR_DIAGNOSTICS, 0},
    {PROPSETID_BREVICOR_PERFORMANCE, 0},
    {PROPSETID_BREVICOR_TRACE, 0},
    {PROPSETID_BREVICOR_AUDIO_CONFIG, 0},
    {PROPSETID_BREVICOR_INPUTDETECT, 0},
    {PROPSETID_BREVICOR_INPUTDETECT, 1},
    {PROPSETID_BREVICOR_DEVICE_CONFIG, 0},
    {PROPSETID_BREVICOR_DRIVER_INFORMATION, 0},
    {PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0},
    {PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 1},
    {PROPSETID_BREVICOR_CROP, 0},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_CAPS},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_PININFO},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_CAN_ROUTE},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE},
    {PROPSETID_BREVICOR_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE},
    {PROPSETID_VIDCAP_DROPPEDFRAMES, 0},
    {KSPROPSETID_General, 0},
    {KSPROPSETID_Pin, KSPROPERTY_PIN_NAME},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_LATENCY},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_PEAKMETER},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_CPU_RESOURCES},
    {PROPSETID_BREVICOR_DEINTERLACE, 0},
    {PROPSETID_BREVICOR_IMAGEQUALITY, 0},
    {PROPSETID_BREVICOR_LOGO, 0},
    {PROPSETID_BREVICOR_VIDEOPROCAMP, 0},
    {PROPSETID_BREVICOR_VIDEODECODER, 0},
    {PROPSETID_BREVICOR_CC, 0},
    {PROPSETID_BREVICOR_LOS, 0},
    {PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS},
    {PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_CONTRAST},
    {PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_HUE},
    {PROPSETID_VIDCAP_VIDEOPROCAMP, KSPROPERTY_VIDEOPROCAMP_SATURATION},
    {PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_CAPS},
    {PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_STANDARD},
    {PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_STATUS},
};

constexpr ULONG kTypes[] = {
    KSPROPERTY_TYPE_GET,
    KSPROPERTY_TYPE_SET,
    KSPROPERTY_TYPE_BASICSUPPORT,
    KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY,
    KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY,
    KSPROPERTY_TYPE_BASICSUPPORT | KSPROPERTY_TYPE_TOPOLOGY,
};

Rig& TheRig()
{
    return fuzzrig::TheRig("filterproperties");
}

// Keeps the board usable for the next input: diagnostics sets that reset the DSP, start a tester
// or hold a PCI test buffer become a no-op command, and a trace set never logs to a file.
void Steer(const Item& item, ULONG type, std::vector<uint8_t>& request)
{
    if ((type & ~KSPROPERTY_TYPE_TOPOLOGY) != KSPROPERTY_TYPE_SET)
        return;
    if (item.set == PROPSETID_BREVICOR_DIAGNOSTICS && request.size() >= 64) {
        uint32_t command = 0;
        std::memcpy(&command, request.data() + 60, 4);
        if (command == 0 || command == 1 || command == 7 || command == 8) {
            command = 6;
            std::memcpy(request.data() + 60, &command, 4);
        }
    }
    if (item.set == PROPSETID_BREVICOR_TRACE && request.size() >= 32)
        request[31] &= 0x7F; // bit 31 of the options at 28
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    Rig& rig = TheRig();
    HANDLE filter = rig.filters[data[0] % 3];
    const size_t pick = data[1] % (std::size(kItems) + 1);
    Item item = pick < std::size(kItems) ? kItems[pick] : Item{GUID{data[1], 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}}, 0};
    const ULONG type = kTypes[data[2] % std::size(kTypes)];
    const size_t dataLength = (data[3] | size_t{data[4]} << 8) % (kMaximumData + 1);
    const size_t payload = std::min(size - 6, kMaximumRequest - sizeof(KSPROPERTY));
    std::vector<uint8_t> request(sizeof(KSPROPERTY) + payload, 0);
    if (payload != 0)
        std::memcpy(request.data() + sizeof(KSPROPERTY), data + 6, payload);
    KSPROPERTY header{};
    header.Set = item.set;
    header.Id = item.id;
    header.Flags = type;
    std::memcpy(request.data(), &header, sizeof(header));
    if ((type & KSPROPERTY_TYPE_TOPOLOGY) && request.size() >= 28) {
        const uint32_t node = data[5] % 8;
        std::memcpy(request.data() + 24, &node, 4);
    }
    Steer(item, type, request);
    std::vector<uint8_t> output(dataLength, 0xEE);
    DWORD returned = 0xFFFFFFFF;
    const BOOL ok = DeviceIoControl(filter, IOCTL_KS_PROPERTY, request.data(), static_cast<DWORD>(request.size()),
                                    output.empty() ? nullptr : output.data(), static_cast<DWORD>(output.size()),
                                    &returned, nullptr);
    if (ok && returned > dataLength)
        std::abort();
    if (!ok && GetLastError() != ERROR_MORE_DATA && returned != 0)
        std::abort();
    if (!ok && GetLastError() == ERROR_MORE_DATA && returned > kMaximumData)
        std::abort();
    return 0;
}
