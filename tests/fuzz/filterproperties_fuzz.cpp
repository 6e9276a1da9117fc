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

namespace {

using fuzzrig::Rig;

constexpr size_t kMaximumData = 4096;
constexpr size_t kMaximumRequest = 4096;

struct Item {
    GUID set;
    ULONG id;
};

// The private sets by their identifiers (the pages' names for them).
constexpr GUID kInterfaceVersion = {0xB724AF09, 0x8027, 0x4C87, {0x89, 0xD8, 0x26, 0xDA, 0x63, 0x3D, 0xA1, 0x67}};
constexpr GUID kDiagnostics = {0x4A5EB9FB, 0xDF54, 0x4115, {0xBC, 0x44, 0xE7, 0xED, 0xC3, 0xB5, 0x2D, 0x25}};
constexpr GUID kPerformance = {0xBECF09FF, 0x66FE, 0x47AE, {0x9E, 0xAA, 0x47, 0x94, 0x67, 0x8B, 0x86, 0x0F}};
constexpr GUID kTrace = {0x07F60A7C, 0x78E7, 0x432B, {0xBC, 0x23, 0x9B, 0xF1, 0x93, 0x36, 0x15, 0x3B}};
constexpr GUID kBrevicorCrossbar = {0xD1B620E9, 0x7DDF, 0x4FB5, {0xBC, 0x93, 0x00, 0x55, 0x99, 0x1E, 0x75, 0x3C}};
constexpr GUID kAudioConfig = {0xE5D2B57A, 0x6352, 0x4B4F, {0x88, 0xD5, 0x42, 0x71, 0x07, 0x2F, 0x58, 0x4A}};
constexpr GUID kInputDetect = {0xC82227CC, 0x7BA6, 0x4EF0, {0x95, 0x02, 0xD7, 0xB5, 0x15, 0xE4, 0x3B, 0x2D}};
constexpr GUID kDeviceConfig = {0x558207A6, 0xE472, 0x420B, {0xAF, 0xC6, 0xFF, 0x99, 0x09, 0x07, 0xE6, 0xFE}};
constexpr GUID kDriverInformation = {0x2230DEEB, 0x297D, 0x4D20, {0xBE, 0x06, 0x49, 0x4D, 0x13, 0xB2, 0xC7, 0x84}};
constexpr GUID kAudioInputInfo = {0x1577AC43, 0xA6EA, 0x4745, {0x9C, 0x57, 0x25, 0x67, 0x62, 0x31, 0x3F, 0xBA}};
constexpr GUID kCrop = {0xD52525F4, 0x5FA9, 0x4A79, {0x8D, 0xF7, 0x69, 0x1D, 0xF9, 0xEC, 0x87, 0xFF}};
constexpr GUID kDeinterlace = {0x0564D75C, 0xE596, 0x4811, {0xB6, 0x61, 0xD8, 0xE5, 0xC5, 0x2A, 0x15, 0xEC}};
constexpr GUID kImageQuality = {0x28A6269E, 0x209B, 0x4ADB, {0xB0, 0xBA, 0x06, 0xD4, 0xC4, 0x2F, 0x7A, 0xB6}};
constexpr GUID kLogo = {0x344FFA73, 0x7BC0, 0x4453, {0x87, 0x36, 0x52, 0x9B, 0x94, 0xA4, 0x56, 0x04}};
constexpr GUID kProcAmp = {0x7CA213A8, 0xCEE0, 0x4609, {0xB9, 0x70, 0x3E, 0x0E, 0x66, 0x9A, 0xA6, 0x46}};
constexpr GUID kDecoder = {0xFE57CE7E, 0x67F4, 0x4D00, {0xB6, 0x74, 0x07, 0x38, 0x16, 0xAD, 0xA7, 0x64}};
constexpr GUID kCaptions = {0x0E5D1E1D, 0x1251, 0x41EF, {0x9A, 0x0C, 0x54, 0x8A, 0x5C, 0x70, 0x19, 0xE6}};
constexpr GUID kLossOfSignal = {0x1FC0CD53, 0xE668, 0x46C5, {0xA1, 0xB4, 0x8F, 0xFA, 0xCF, 0x57, 0xAE, 0x41}};

const Item kItems[] = {
    {kInterfaceVersion, 0},
    {kDiagnostics, 0},
    {kPerformance, 0},
    {kTrace, 0},
    {kAudioConfig, 0},
    {kInputDetect, 0},
    {kInputDetect, 1},
    {kDeviceConfig, 0},
    {kDriverInformation, 0},
    {kAudioInputInfo, 0},
    {kAudioInputInfo, 1},
    {kCrop, 0},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_CAPS},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_PININFO},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_CAN_ROUTE},
    {PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE},
    {kBrevicorCrossbar, KSPROPERTY_CROSSBAR_ROUTE},
    {PROPSETID_VIDCAP_DROPPEDFRAMES, 0},
    {KSPROPSETID_General, 0},
    {KSPROPSETID_Pin, KSPROPERTY_PIN_NAME},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_LATENCY},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_PEAKMETER},
    {KSPROPSETID_Audio, KSPROPERTY_AUDIO_CPU_RESOURCES},
    {kDeinterlace, 0},
    {kImageQuality, 0},
    {kLogo, 0},
    {kProcAmp, 0},
    {kDecoder, 0},
    {kCaptions, 0},
    {kLossOfSignal, 0},
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
    if (item.set == kDiagnostics && request.size() >= 64) {
        uint32_t command = 0;
        std::memcpy(&command, request.data() + 60, 4);
        if (command == 0 || command == 1 || command == 7 || command == 8) {
            command = 6;
            std::memcpy(request.data() + 60, &command, 4);
        }
    }
    if (item.set == kTrace && request.size() >= 32)
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
