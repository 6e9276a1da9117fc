// Driver: the one driver-wide object. It reads and completes the service's "Parameters" key at
// load, holds those settings for every board, numbers the devices (instance ids 1 to 100 in 100
// slots), keeps the performance settings per pin kind and the support (trace) settings, hooks the
// device-control requests of the driver's devices and records an orderly shutdown.
#pragma once
#include "kernel/driverheap.h"
#include "kplxfastlock.h"
#include "km/iodevice.h"
#include "km/time.h"
#include "km/types.h"
#include "privatesets.h"

#include <cstddef>

class Device;
class RegistryKey;

// Pin kinds of the performance settings.
inline constexpr ULONG kPinKindCapture = 1;
inline constexpr ULONG kPinKindPreview = 2;
inline constexpr ULONG kPinKindBoth = 255; // a set applies to capture then preview, a get reads capture

// The performance record (PerformanceSettings), its notification (PerformanceNotification) and
// the support (trace) record (BrevicorSupportSettings) are part of the private set contract.

// Whether `value` lies beyond the maximum video width or height `limit` of a performance record. A
// limit of 0 sets none: it would leave no picture and no valid signal at all.
inline bool IsBeyondPerformanceLimit(ULONG value, ULONG limit)
{
    return limit != 0 && value > limit;
}

class Driver : public DriverAllocated {
public:
    static constexpr ULONG kDeviceSlots = 100;
    static constexpr ULONG kLogFileNameCharacters = 260;
    // Version in the opened line of the trace log.
    static constexpr ULONG kVersion[4] = {2, 1, 0, 62};
    static constexpr ULONG kDefaultFrameRate = 2997;
    static constexpr ULONG kMinimumFrameRate = 100;
    static constexpr ULONG kMaximumFrameRate = 6000;
    static constexpr ULONG kMinimumAlignmentDetectionLine = 3;
    static constexpr ULONG kMaximumAlignmentDetectionLine = 11;
    static constexpr ULONG kMaximumScalingAlgorithm = 3;
    static constexpr ULONG kMaximumVideoSizeType = 4;
    static constexpr ULONG kCustomVideoSizeType = 4;
    static constexpr ULONG kMaximumVbiLineRemoval = 540;
    static constexpr ULONG kTimerResolution = 10000; // 1 ms in 100-ns units

    Driver(PDRIVER_OBJECT driverObject, PCUNICODE_STRING registryPath);
    // Frees the devices still in a slot, writes the closed line and "DriverShutdownSuccessfull" = 1.
    virtual ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // The load sequence: parameters, trace set-up, kernel streaming, entry points.
    virtual NTSTATUS DriverEntry();

    // The driver's instance while it is loaded; null otherwise.
    static Driver* Instance();
    static void SetInstance(Driver* driver);

    // Shutdown request: "DriverShutdownSuccessfull" = 1, then the request completes with success.
    static NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT deviceObject, PIRP irp);
    // The hooked device-control dispatch: to the target's Device, or 0xC0000001.
    static NTSTATUS NTAPI DispatchDeviceControlHook(PDEVICE_OBJECT deviceObject, PIRP irp);

    void HookDeviceIOControl();
    void UnhookDeviceIOControl();
    // The device's id (1 to 100), or -1 when every slot is taken.
    LONG GetDeviceInstanceId(Device* device);
    // Records a device under an id its registry already held; false when the id is outside 1 to
    // 100 or its slot is taken.
    bool RecordAssignedDeviceInstanceId(Device* device, LONG id);
    NTSTATUS RemoveDeviceInstanceId(Device* device);
    // The device in the slot of `id`, or null.
    Device* GetDevice(LONG id);

    void GetPerformanceSettingsFromRegistry(RegistryKey* key, ULONG pinKind);
    NTSTATUS GetPerformanceSettings(PerformanceSettings* record);
    NTSTATUS SetPerformanceSettings(PerformanceSettings* record);
    NTSTATUS GetBrevicorSupportSettings(BrevicorSupportSettings* record);
    NTSTATUS SetBrevicorSupportSettings(const BrevicorSupportSettings* record, bool persist);

    bool GetHardwareInstalled() const { return m_hardwareInstalled; }
    bool GetBypassLoadingFPGA() const { return m_bypassLoadingFPGA; }
    bool GetResetDSPOnStartup() const { return m_resetDSPOnStartup; }
    bool GetIgnoreReferenceClock() const { return m_ignoreReferenceClock != 0; }
    // The image names, or null when empty.
    PCWSTR GetFPGAImageName() const { return NonEmpty(m_fpgaImageName); }
    PCWSTR GetFirmwareImageName() const { return NonEmpty(m_firmwareImageName); }
    PCWSTR GetDSPMemoryTesterImageName() const { return NonEmpty(m_dspMemoryTesterImageName); }
    PCWSTR GetDSPPciTesterImageName() const { return NonEmpty(m_dspPciTesterImageName); }
    // The data size in bytes of an image-name value that is there but could not be read (too long
    // to be read at all), 0 when it was read or is missing; the name then stays as it was.
    ULONG GetUnreadFPGAImageNameBytes() const { return m_unreadFpgaImageNameBytes; }
    ULONG GetUnreadFirmwareImageNameBytes() const { return m_unreadFirmwareImageNameBytes; }
    ULONG GetUnreadDSPMemoryTesterImageNameBytes() const { return m_unreadDspMemoryTesterImageNameBytes; }
    ULONG GetUnreadDSPPciTesterImageNameBytes() const { return m_unreadDspPciTesterImageNameBytes; }
    PCWSTR GetDriversPath() const { return m_driversPath; }
    PCWSTR GetVideoAviFileName() const { return m_videoAviFileName; }
    PCWSTR GetAudioAviFileName() const { return m_audioAviFileName; }
    ULONG GetDspRegEmifaGblctl() const { return m_emifGblctl; }
    ULONG GetDspRegEmifaCectl0() const { return m_emifCectl[0]; }
    ULONG GetDspRegEmifaCectl1() const { return m_emifCectl[1]; }
    ULONG GetDspRegEmifaCectl2() const { return m_emifCectl[2]; }
    ULONG GetDspRegEmifaCectl3() const { return m_emifCectl[3]; }
    ULONG GetDspRegEmifaSdtim() const { return m_emifSdtim; }
    ULONG GetDspRegEmifaSdext() const { return m_emifSdext; }
    ULONG GetDspRegEmifaCesec0() const { return m_emifCesec[0]; }
    ULONG GetDspRegEmifaCesec1() const { return m_emifCesec[1]; }
    ULONG GetDspRegEmifaCesec2() const { return m_emifCesec[2]; }
    ULONG GetDspRegEmifaCesec3() const { return m_emifCesec[3]; }
    ULONG GetDspRegEmifaSdctl() const { return m_emifSdctl; }
    ULONG GetDspPciSDXferSize() const { return m_pciSDXferSize; }
    ULONG GetDspPciHD720XferSize() const { return m_pciHD720XferSize; }
    ULONG GetDspPciHDOtherXferSize() const { return m_pciHDOtherXferSize; }
    ULONG GetDspEdmaVideoPriority() const { return m_edmaVideoPriority; }
    ULONG GetDspEdmaAudioPriority() const { return m_edmaAudioPriority; }
    ULONG GetDspEdmaPciPriority() const { return m_edmaPciPriority; }
    ULONG GetDspEdmaCpuPriority() const { return m_edmaCpuPriority; }
    LONG GetDspAnalogDCGainMin() const { return m_analogDCGainMin; }
    LONG GetDspAnalogDCGainMax() const { return m_analogDCGainMax; }
    LONG GetDspAnalogDCGainOffset() const { return m_analogDCGainOffset; }
    ULONG GetVideoDMABuffers() const { return m_videoDMABuffers; }
    ULONG GetAudioDMABuffers() const { return m_audioDMABuffers; }
    bool GetVideoAlignmentDetectionEnable() const { return m_videoAlignmentDetectionEnable; }
    ULONG GetVideoAlignmentDetectionLine() const { return m_videoAlignmentDetectionLine; }
    ULONG GetDspHD1080HalfScale() const { return m_dspHD1080HalfScale; }
    bool GetForceCrossbarRequired() const { return m_forceCrossbarRequired; }
    bool GetPreviousShutdownClean() const { return m_previousShutdownClean; }
    ULONG GetDefaultFrameRate() const { return m_defaultFrameRate; }
    bool GetWdm6Available() const { return m_wdm6Available; }
    PDRIVER_OBJECT GetDriverObject() const { return m_driverObject; }
    PCUNICODE_STRING GetRegistryPath() const { return &m_registryPath; }
    // A copy of the kind's stored record (kind 1 or 2).
    PerformanceSettings GetStoredPerformanceSettings(ULONG pinKind) const;
    // The dispatch the hook replaced, or null while none is hooked.
    PDRIVER_DISPATCH GetSavedDeviceControlDispatch() const { return m_savedDeviceControl; }

private:
    static PCWSTR NonEmpty(PCWSTR name) { return name != nullptr && name[0] != 0 ? name : nullptr; }

    void ReadParameters(RegistryKey* key);
    // A DWORD: a missing value is written back with its default, which is then used; any other
    // failure keeps `fallback`.
    ULONG ReadDword(RegistryKey* key, PCWSTR name, ULONG defaultValue, ULONG fallback);
    // A string into a new pool block, cut to maximumCharacters: a missing value is written back as
    // defaultText, which is then used. Other failures keep `*target`; `unreadBytes`, when given,
    // receives the data size of a value that is there but could not be read (else 0).
    void ReadString(RegistryKey* key, PCWSTR name, PWSTR* target, ULONG maximumCharacters, PCWSTR defaultText = u"",
                    ULONG* unreadBytes = nullptr);
    void WriteParameter(PCWSTR name, ULONG value);
    void WriteParameterString(PCWSTR name, PCWSTR text);
    void WriteShutdownSuccessful(ULONG value);
    void TraceTimeStatus(NTSTATUS messageId, const char* format);
    NTSTATUS StorePerformanceSettings(const PerformanceSettings& record, ULONG pinKind);
    void NotifyPerformanceChange(const PerformanceSettings& record);
    void SetInitialValues();

    bool m_hardwareInstalled = false;
    PWSTR m_videoAviFileName = nullptr;
    PWSTR m_audioAviFileName = nullptr;
    UNICODE_STRING m_registryPath{};
    PDRIVER_OBJECT m_driverObject = nullptr;
    Device* m_devices[kDeviceSlots] = {};
    KPLXFastLock m_lock;
    PWSTR m_fpgaImageName = nullptr;
    PWSTR m_firmwareImageName = nullptr;
    PWSTR m_dspMemoryTesterImageName = nullptr;
    PWSTR m_dspPciTesterImageName = nullptr;
    ULONG m_unreadFpgaImageNameBytes = 0;
    ULONG m_unreadFirmwareImageNameBytes = 0;
    ULONG m_unreadDspMemoryTesterImageNameBytes = 0;
    ULONG m_unreadDspPciTesterImageNameBytes = 0;
    PWSTR m_driversPath = nullptr;
    bool m_resetDSPOnStartup = true;
    bool m_bypassLoadingFPGA = false;
    ULONG m_ignoreReferenceClock = 0;
    ULONG m_mostRecentSlot = 0;
    PerformanceSettings m_performance[2] = {};
    ULONG m_emifGblctl = 0;
    ULONG m_emifCectl[4] = {};
    ULONG m_emifSdtim = 0;
    ULONG m_emifSdext = 0;
    ULONG m_emifCesec[4] = {};
    ULONG m_emifSdctl = 0;
    ULONG m_pciSDXferSize = 0;
    ULONG m_pciHD720XferSize = 0;
    ULONG m_pciHDOtherXferSize = 0;
    ULONG m_edmaVideoPriority = 0;
    ULONG m_edmaAudioPriority = 0;
    ULONG m_edmaPciPriority = 0;
    ULONG m_edmaCpuPriority = 0;
    LONG m_analogDCGainMin = 0;
    LONG m_analogDCGainMax = 0;
    LONG m_analogDCGainOffset = 0;
    ULONG m_videoDMABuffers = 0;
    ULONG m_audioDMABuffers = 0;
    bool m_videoAlignmentDetectionEnable = false;
    ULONG m_videoAlignmentDetectionLine = 0;
    ULONG m_dspHD1080HalfScale = 0;
    bool m_forceCrossbarRequired = false;
    bool m_previousShutdownClean = true;
    TIME_FIELDS m_timeFields{};
    ULONG m_defaultFrameRate = 0;
    bool m_wdm6Available = false;

    PDRIVER_DISPATCH m_savedDeviceControl = nullptr;
};
