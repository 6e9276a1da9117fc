// The test minidriver's second and third filter factories, for the proxy's tests: a capture filter
// ("Test Video Device 2": an analog video input bridge pin with a medium, a video capture pin of
// UYVY then RGB32 at 320 x 240, a 16-bit 48 kHz stereo audio capture pin) and a crossbar without
// kernel-streaming pins ("Test Crossbar Device 2", registered with KsRegisterFilterWithNoKSPins, its
// output on the bridge pin's medium). The device gets them when the minidriver is loaded with them.
#pragma once
#include "KsMinidriver.h"

namespace kstest {

inline constexpr char16_t kProxyCaptureName[] = u"Test Video Device 2";
inline constexpr char16_t kCrossbarName[] = u"Test Crossbar Device 2";

DEFINE_GUIDSTRUCT_VALUE(kProxyCaptureReference, 0x13637B7AL, 0xA9F8, 0x4CE5, 0x8A, 0xB7, 0x4C, 0x9C, 0x15, 0xCC,
                        0x48, 0x34);
DEFINE_GUIDSTRUCT_VALUE(kCrossbarReference, 0x13637B7BL, 0xA9F8, 0x4CE5, 0x8A, 0xB7, 0x4C, 0x9C, 0x15, 0xCC, 0x48,
                        0x34);
// The medium set of the wire between the crossbar's output and the capture filter's analog input.
DEFINE_GUIDSTRUCT_VALUE(kTestMediumSet, 0x5D1D0C30L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
constexpr ULONG kAnalogMediumId = 5;
// Name GUIDs of the capture filter's streaming pins (their names are registered by the tests).
DEFINE_GUIDSTRUCT_VALUE(kVideoPinName, 0x5D1D0C31L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);
DEFINE_GUIDSTRUCT_VALUE(kAudioPinName, 0x5D1D0C32L, 0x2E44, 0x4B3A, 0x9C, 0x11, 0x70, 0x22, 0x4F, 0x10, 0x3A,
                        0x01);

// Pin ids of the capture filter.
constexpr ULONG kBridgePin = 0;
constexpr ULONG kVideoPin = 1;
constexpr ULONG kAudioPin = 2;
constexpr ULONG kAudioBytesPer10ms = 48000 * 4 / 100;

extern const KSFILTER_DESCRIPTOR kProxyCaptureFilter;
extern const KSFILTER_DESCRIPTOR kCrossbarFilter;

// What the streaming pins of the capture filter saw, and how they are told to fail.
struct ProxyPinLog {
    std::mutex lock;
    std::vector<std::pair<ULONG, KSSTATE>> steps; // (pin id, state stepped to)
    std::vector<ULONG> creates;
    int refuseStateTo = -1; // a step to this state fails, of the pin refusePin (or of any pin: -1)
    int refusePin = -1;
    bool refuseCreate = false;
};
ProxyPinLog& ProxyPins();
void ResetProxyPins();

// Writes the crossbar's pins onto its interfaces (the crossbar's FilterData): input 0 on the standard
// medium without a category, output 1 on kTestMediumSet with `outputMediumId` and the analog video
// input's category.
NTSTATUS RegisterCrossbarPins(PDEVICE_OBJECT pdo, ULONG outputMediumId);

} // namespace kstest
