// Driver: load sequence and "Parameters", device slots and instance ids, the device-control hook,
// performance and support settings, shutdown and destruction.
#include "driver.h"

#include "device.h"
#include "driverentry.h"
#include "kernel/poolallocation.h"
#include "kernel/registrykey.h"
#include "messages/Talvexon.h"
#include "km/kernel.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <atomic>
#include <cstring>

namespace {

constexpr NTSTATUS kMessageTraceLogOpened = MSG_TRACE_LOG_FILE_OPENED;
constexpr NTSTATUS kMessageTraceLogClosed = MSG_TRACE_LOG_FILE_CLOSED;
constexpr NTSTATUS kMessageInvalidPinType = MSG_SPECIFIED_PIN_TYPE_INVALID;
constexpr NTSTATUS kMessageInvalidTraceBits = MSG_INVALID_TRACE_OPTIONS_BITS_SPECIFIED;
constexpr NTSTATUS kMessageDeviceNotFound = MSG_DEVICE_NOT_FOUND_DEVICES;
constexpr NTSTATUS kMessageMaximumDevices = MSG_MAXIMUM_ALLOWED_ACTIVE_DEVICE_COUNT_REACHED;
constexpr NTSTATUS kMessageInvalidScaling = MSG_INVALID_SCALING_ALGORITHM_VALID_VALUES;
constexpr NTSTATUS kMessageInvalidSizeType = MSG_INVALID_DEFAULT_VIDEO_SIZE_TYPE_VALID;
constexpr NTSTATUS kMessageInvalidVbiRemoval = MSG_INVALID_VBI_LINE_REMOVAL_OPTION_VALID;

constexpr ACCESS_MASK kParametersReadAccess = 0x20019;
constexpr ACCESS_MASK kParametersWriteAccess = 0xF003F;
constexpr ULONG kParametersWriteFlags = 0x240;
constexpr PCWSTR kParameters = u"Parameters";
constexpr PCWSTR kShutdownSuccessful = u"DriverShutdownSuccessfull";
constexpr PCWSTR kDosDevicesPrefix = u"\\DosDevices\\";
constexpr ULONG kDosDevicesPrefixCharacters = 12;
constexpr PCWSTR kDefaultLogFileName = u"c:\\Quillmar.log";
constexpr ULONG kTraceMaskStart = kTraceAlways;

constexpr ULONG kMinimumCustomHeight = 54;
constexpr ULONG kMaximumCustomHeight = 1080;
constexpr ULONG kMinimumCustomWidth = 72;
constexpr ULONG kMaximumCustomWidth = 1920;
constexpr ULONG kMinimumVideoBuffer = 10;
constexpr ULONG kMaximumVideoBuffer = 1000;

// The registry names of one pin kind's own performance values.
struct PerformanceNames {
    PCWSTR scaling;
    PCWSTR size;
    PCWSTR height;
    PCWSTR width;
    PCWSTR buffer;
};
constexpr PerformanceNames kPerformanceNames[2] = {
    {u"PerfCaptureVideoScaling", u"PerfCaptureVideoSize", u"PerfCaptureVideoHeight", u"PerfCaptureVideoWidth",
     u"PerfCaptureVideoBuffer"},
    {u"PerfPreviewVideoScaling", u"PerfPreviewVideoSize", u"PerfPreviewVideoHeight", u"PerfPreviewVideoWidth",
     u"PerfPreviewVideoBuffer"},
};
constexpr PCWSTR kPerfHardwareDeinterlacing = u"PerfEnableHardwareDinterlacing";
constexpr PCWSTR kPerfSdSdiClockAdjust = u"PerfSDSDIClockAdjust";
constexpr PCWSTR kPerfHdSdiClockAdjust = u"PerfHDSDIClockAdjust";
constexpr PCWSTR kPerfVbiLineRemoval = u"PerfVBILineRemoval";
constexpr PCWSTR kPerfMaximumVideoHeight = u"PerfMaximumVideoHeight";
constexpr PCWSTR kPerfMaximumVideoWidth = u"PerfMaximumVideoWidth";

// Registry defaults of the performance values.
constexpr PerformanceSettings DefaultPerformance(ULONG pinKind)
{
    PerformanceSettings r{};
    r.pinKind = pinKind;
    r.hardwareDeinterlacing = 1;
    r.videoBuffer = 50;
    r.scalingAlgorithm = 1;
    r.defaultVideoSizeType = 0;
    r.height = 480;
    r.width = 720;
    r.maximumVideoHeight = 1080;
    r.maximumVideoWidth = 1920;
    r.sdSdiClockAdjust = 0;
    r.hdSdiClockAdjust = 80;
    r.vbiLineRemoval = 0;
    return r;
}

constinit std::atomic<Driver*> g_driver{nullptr};

size_t WideLength(PCWSTR text, size_t limit)
{
    size_t n = 0;
    while (text != nullptr && n < limit && text[n] != 0)
        ++n;
    return n;
}

// A new paged block holding `text` cut to `maximumCharacters`, terminated; null without pool.
PWSTR CopyName(PCWSTR text, ULONG maximumCharacters)
{
    const size_t length = WideLength(text, maximumCharacters);
    auto* copy = static_cast<PWSTR>(AllocatePoolOfType((length + 1) * sizeof(WCHAR), PagedPool));
    if (copy == nullptr)
        return nullptr;
    if (length != 0)
        std::memcpy(copy, text, length * sizeof(WCHAR));
    copy[length] = 0;
    return copy;
}

void FreeName(PWSTR* name)
{
    if (*name != nullptr)
        FreePool(*name);
    *name = nullptr;
}

bool WideEqual(PCWSTR a, PCWSTR b)
{
    size_t i = 0;
    for (; a[i] != 0 && b[i] != 0; ++i)
        if (a[i] != b[i])
            return false;
    return a[i] == b[i];
}

} // namespace

Driver* Driver::Instance()
{
    return g_driver.load(std::memory_order_acquire);
}

void Driver::SetInstance(Driver* driver)
{
    g_driver.store(driver, std::memory_order_release);
}

Driver::Driver(PDRIVER_OBJECT driverObject, PCUNICODE_STRING registryPath)
    : m_driverObject(driverObject)
{
    TRACE_SCOPE(this, "Driver::Driver", kTraceLowEnter);
    if (registryPath != nullptr && registryPath->Buffer != nullptr && registryPath->Length != 0) {
        auto* buffer = static_cast<PWSTR>(AllocatePoolOfType(registryPath->Length + sizeof(WCHAR), PagedPool));
        if (buffer != nullptr) {
            std::memcpy(buffer, registryPath->Buffer, registryPath->Length);
            buffer[registryPath->Length / sizeof(WCHAR)] = 0;
            m_registryPath.Buffer = buffer;
            m_registryPath.Length = registryPath->Length;
            m_registryPath.MaximumLength = static_cast<USHORT>(registryPath->Length + sizeof(WCHAR));
        }
    }
    SetInitialValues();
}

void Driver::SetInitialValues()
{
    // Without "Parameters" the driver still runs: the switches keep the values of the load
    // sequence, every size, count and rate its registry default, so nothing divides by or sizes
    // with zero.
    m_hardwareInstalled = false;
    m_resetDSPOnStartup = true;
    m_bypassLoadingFPGA = false;
    m_emifGblctl = 0x521B8;
    for (ULONG i = 0; i < 4; ++i) {
        m_emifCectl[i] = 0xF0FFC3D3;
        m_emifCesec[i] = 2;
    }
    m_emifSdtim = 0x81B;
    m_emifSdext = 0x54E5B;
    m_emifSdctl = 0x53227000;
    m_pciSDXferSize = m_pciHD720XferSize = m_pciHDOtherXferSize = 0xFF80;
    m_edmaVideoPriority = 2;
    m_edmaAudioPriority = 3;
    m_edmaPciPriority = 2;
    m_edmaCpuPriority = 2;
    m_analogDCGainMin = -4;
    m_analogDCGainMax = 20;
    m_analogDCGainOffset = 5;
    m_videoDMABuffers = 9;
    m_audioDMABuffers = 9;
    m_videoAlignmentDetectionEnable = true;
    m_videoAlignmentDetectionLine = kMinimumAlignmentDetectionLine;
    m_ignoreReferenceClock = 0;
    m_dspHD1080HalfScale = 0;
    m_forceCrossbarRequired = true;
    m_defaultFrameRate = kDefaultFrameRate;
    m_performance[0] = DefaultPerformance(kPinKindCapture);
    m_performance[1] = DefaultPerformance(kPinKindPreview);
    m_wdm6Available = IoIsWdmVersionAvailable(6, 0) != FALSE;
}

Driver::~Driver()
{
    TRACE_SCOPE(this, "Driver::~Driver", kTraceLowEnter);
    {
        KPLXFastStackLock lock(&m_lock, this, "Driver::~Driver", __LINE__);
        // A device whose removal never came is the driver's to release now.
        for (ULONG slot = 0; slot < kDeviceSlots; ++slot) {
            Device* device = m_devices[slot];
            m_devices[slot] = nullptr;
            delete device;
        }
    }
    FreeName(&m_videoAviFileName);
    FreeName(&m_audioAviFileName);
    FreeName(&m_fpgaImageName);
    FreeName(&m_firmwareImageName);
    FreeName(&m_dspMemoryTesterImageName);
    FreeName(&m_dspPciTesterImageName);
    FreeName(&m_driversPath);
    TraceTimeStatus(kMessageTraceLogClosed, "Trace log file was closed on %02d/%02d/%04d");
    WriteShutdownSuccessful(1);
    if (m_registryPath.Buffer != nullptr)
        FreePool(m_registryPath.Buffer);
    m_registryPath = UNICODE_STRING{};
    if (Instance() == this)
        SetInstance(nullptr);
}

void Driver::TraceTimeStatus(NTSTATUS messageId, const char* format)
{
    LARGE_INTEGER system{};
    LARGE_INTEGER local{};
    KeQuerySystemTime(&system);
    ExSystemTimeToLocalTime(&system, &local);
    RtlTimeToTimeFields(&local, &m_timeFields);
    if (messageId == kMessageTraceLogOpened) {
        TRACE_STATUS(this, "Driver::DriverEntry", kTraceAlways, messageId, format, m_timeFields.Month,
                     m_timeFields.Day, m_timeFields.Year, kVersion[0], kVersion[1], kVersion[2], kVersion[3]);
    } else {
        TRACE_STATUS(this, "Driver::~Driver", kTraceAlways, messageId, format, m_timeFields.Month, m_timeFields.Day,
                     m_timeFields.Year);
    }
}

void Driver::WriteParameter(PCWSTR name, ULONG value)
{
    RegistryKey key(&m_registryPath, kParameters, TRUE, REG_OPTION_NON_VOLATILE, kParametersWriteAccess,
                    kParametersWriteFlags);
    if (key.IsOpen())
        key.SetDword(name, value);
}

void Driver::WriteParameterString(PCWSTR name, PCWSTR text)
{
    RegistryKey key(&m_registryPath, kParameters, TRUE, REG_OPTION_NON_VOLATILE, kParametersWriteAccess,
                    kParametersWriteFlags);
    if (key.IsOpen())
        key.SetString(name, text);
}

void Driver::WriteShutdownSuccessful(ULONG value)
{
    // Flushed, so that the hive on disk says how this load ended even when the system goes down
    // without writing it.
    RegistryKey key(&m_registryPath, kParameters, TRUE, REG_OPTION_NON_VOLATILE, kParametersWriteAccess,
                    kParametersWriteFlags);
    if (key.IsOpen() && NT_SUCCESS(key.SetDword(kShutdownSuccessful, value)))
        ZwFlushKey(key.Handle());
}

ULONG Driver::ReadDword(RegistryKey* key, PCWSTR name, ULONG defaultValue, ULONG fallback)
{
    ULONG value = 0;
    const NTSTATUS status = key->QueryDword(name, &value);
    if (NT_SUCCESS(status))
        return value;
    if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
        WriteParameter(name, defaultValue);
        return defaultValue;
    }
    return fallback;
}

void Driver::ReadString(RegistryKey* key, PCWSTR name, PWSTR* target, ULONG maximumCharacters, PCWSTR defaultText,
                        ULONG* unreadBytes)
{
    PWSTR text = nullptr;
    ULONG length = 0;
    const NTSTATUS status = key->QueryString(name, &text, &length, PagedPool);
    if (unreadBytes != nullptr)
        *unreadBytes = NT_SUCCESS(status) || status == STATUS_OBJECT_NAME_NOT_FOUND ? 0 : key->QueryDataSize(name);
    if (NT_SUCCESS(status)) {
        PWSTR copy = CopyName(text, maximumCharacters);
        FreePool(text);
        if (copy != nullptr) {
            FreeName(target);
            *target = copy;
        }
        return;
    }
    if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
        WriteParameterString(name, defaultText);
        PWSTR copy = CopyName(defaultText, maximumCharacters);
        if (copy != nullptr) {
            FreeName(target);
            *target = copy;
        }
    }
}

void Driver::ReadParameters(RegistryKey* key)
{
    m_resetDSPOnStartup = ReadDword(key, u"ResetDSPOnStartup", 1, m_resetDSPOnStartup) != 0;
    m_bypassLoadingFPGA = ReadDword(key, u"BypassLoadingFPGA", 0, m_bypassLoadingFPGA) != 0;
    constexpr ULONG kNameCharacters = 0x7FFE;
    ReadString(key, u"FPGAImageName", &m_fpgaImageName, kNameCharacters, u"", &m_unreadFpgaImageNameBytes);
    ReadString(key, u"FirmwareImageName", &m_firmwareImageName, kNameCharacters, u"", &m_unreadFirmwareImageNameBytes);
    ReadString(key, u"DSPMemoryTesterImageName", &m_dspMemoryTesterImageName, kNameCharacters, u"",
               &m_unreadDspMemoryTesterImageNameBytes);
    ReadString(key, u"DSPPciTesterImageName", &m_dspPciTesterImageName, kNameCharacters, u"",
               &m_unreadDspPciTesterImageNameBytes);
    ReadString(key, u"DriversPath", &m_driversPath, kNameCharacters);
    ReadString(key, u"VideoAviFileName", &m_videoAviFileName, kNameCharacters);
    ReadString(key, u"AudioAviFileName", &m_audioAviFileName, kNameCharacters);
    m_hardwareInstalled = ReadDword(key, u"HardwareInstalled", 1, m_hardwareInstalled ? 1 : 0) == 1;

    ULONG mask = kTraceMaskStart;
    for (const TraceSwitch& traceSwitch : kTraceSwitches)
        if (ReadDword(key, traceSwitch.valueName, 0, 0) != 0)
            mask |= traceSwitch.bits;
    if (ReadDword(key, u"LogTraceToFile", 0, 0) != 0)
        mask |= kTraceLogToFile;
    if (ReadDword(key, u"TraceTimeStamps", 0, 0) != 0)
        mask |= kTraceTimeStamps;
    // The mask reaches the logger before anything of the load is traced, so that the opened line
    // and every line after it follow the switches.
    if (TraceLogger* logger = TraceLogger::Instance())
        logger->SetTraceMask(mask);

    PWSTR logFileName = CopyName(kDefaultLogFileName, kLogFileNameCharacters);
    ReadString(key, u"LogFileName", &logFileName, kLogFileNameCharacters, kDefaultLogFileName);
    // After an unclean end the old log is appended to, so that what led to it stays; the choice
    // takes effect with the name, before any line of this load can reach the file.
    if (TraceLogger* logger = TraceLogger::Instance(); logger != nullptr && logFileName != nullptr)
        logger->SetLogFileName(logFileName, !m_previousShutdownClean);
    FreeName(&logFileName);
    GetPerformanceSettingsFromRegistry(key, kPinKindCapture);
    GetPerformanceSettingsFromRegistry(key, kPinKindPreview);

    m_emifGblctl = ReadDword(key, u"DSPREG_EMIFA_GBLCTL", 0x521B8, m_emifGblctl);
    m_emifCectl[0] = ReadDword(key, u"DSPREG_EMIFA_CECTL0", 0xF0FFC3D3, m_emifCectl[0]);
    m_emifCectl[1] = ReadDword(key, u"DSPREG_EMIFA_CECTL1", 0xF0FFC3D3, m_emifCectl[1]);
    m_emifCectl[2] = ReadDword(key, u"DSPREG_EMIFA_CECTL2", 0xF0FFC3D3, m_emifCectl[2]);
    m_emifCectl[3] = ReadDword(key, u"DSPREG_EMIFA_CECTL3", 0xF0FFC3D3, m_emifCectl[3]);
    m_emifSdtim = ReadDword(key, u"DSPREG_EMIFA_SDTIM", 0x81B, m_emifSdtim);
    m_emifSdext = ReadDword(key, u"DSPREG_EMIFA_SDEXT", 0x54E5B, m_emifSdext);
    m_emifCesec[0] = ReadDword(key, u"DSPREG_EMIFA_CESEC0", 2, m_emifCesec[0]);
    m_emifCesec[1] = ReadDword(key, u"DSPREG_EMIFA_CESEC1", 2, m_emifCesec[1]);
    m_emifCesec[2] = ReadDword(key, u"DSPREG_EMIFA_CESEC2", 2, m_emifCesec[2]);
    m_emifCesec[3] = ReadDword(key, u"DSPREG_EMIFA_CESEC3", 2, m_emifCesec[3]);
    m_emifSdctl = ReadDword(key, u"DSPREG_EMIFA_SDCTL", 0x53227000, m_emifSdctl);
    m_emifSdctl = ReadDword(key, u"DSPREG_EMIFA_SDCTL", 0x53227000, m_emifSdctl);
    m_pciSDXferSize = ReadDword(key, u"DspPciSDXferSize", 0xFF80, m_pciSDXferSize);
    m_pciHD720XferSize = ReadDword(key, u"DspPciHD720XferSize", 0xFF80, m_pciHD720XferSize);
    m_pciHDOtherXferSize = ReadDword(key, u"DspPciHDOtherXferSize", 0xFF80, m_pciHDOtherXferSize);
    m_edmaVideoPriority = ReadDword(key, u"DspEdmaVideoPriority", 2, m_edmaVideoPriority);
    m_edmaAudioPriority = ReadDword(key, u"DspEdmaAudioPriority", 3, m_edmaAudioPriority);
    m_edmaPciPriority = ReadDword(key, u"DspEdmaPciPriority", 2, m_edmaPciPriority);
    m_edmaCpuPriority = ReadDword(key, u"DspEdmaCpuPriority", 2, m_edmaCpuPriority);
    m_analogDCGainMin = static_cast<LONG>(
        ReadDword(key, u"DspAnalogDCGainMin", static_cast<ULONG>(-4), static_cast<ULONG>(m_analogDCGainMin)));
    m_analogDCGainMax = static_cast<LONG>(
        ReadDword(key, u"DspAnalogDCGainMax", 20, static_cast<ULONG>(m_analogDCGainMax)));
    m_analogDCGainOffset = static_cast<LONG>(
        ReadDword(key, u"DspAnalogDCGainOffset", 5, static_cast<ULONG>(m_analogDCGainOffset)));
    m_videoDMABuffers = ReadDword(key, u"VideoDMABuffers", 9, m_videoDMABuffers);
    m_audioDMABuffers = ReadDword(key, u"AudioDMABuffers", 9, m_audioDMABuffers);
    m_videoAlignmentDetectionEnable =
        ReadDword(key, u"VideoAlignmentDetectionEnable", 1, m_videoAlignmentDetectionEnable ? 1 : 0) == 1;
    ULONG line = ReadDword(key, u"VideoAlignmentDetectionLine", 3, m_videoAlignmentDetectionLine);
    if (line < kMinimumAlignmentDetectionLine)
        line = kMinimumAlignmentDetectionLine;
    if (line > kMaximumAlignmentDetectionLine)
        line = kMaximumAlignmentDetectionLine;
    m_videoAlignmentDetectionLine = line;
    m_ignoreReferenceClock = ReadDword(key, u"IgnoreReferenceClock", 0, m_ignoreReferenceClock);
    m_dspHD1080HalfScale = ReadDword(key, u"DspHD1080HalfScale", 0, m_dspHD1080HalfScale);
    m_forceCrossbarRequired = ReadDword(key, u"ForceCrossbarRequired", 1, m_forceCrossbarRequired ? 1 : 0) == 1;
    ULONG rate = ReadDword(key, u"DefaultFrameRate", kDefaultFrameRate, m_defaultFrameRate);
    if (rate < kMinimumFrameRate || rate > kMaximumFrameRate)
        rate = kDefaultFrameRate;
    m_defaultFrameRate = rate;
}

NTSTATUS Driver::DriverEntry()
{
    TRACE_SCOPE(this, "Driver::DriverEntry", kTraceLowEnter);
    {
        RegistryKey key(&m_registryPath, kParameters, FALSE, REG_OPTION_NON_VOLATILE, kParametersReadAccess,
                        OBJ_CASE_INSENSITIVE);
        if (key.IsOpen()) {
            // Missing counts as a clean shutdown and is not written here. Read before the
            // parameters: the log file name among them takes effect with this choice.
            ULONG shutdownSuccessful = 1;
            ULONG value = 0;
            if (NT_SUCCESS(key.QueryDword(kShutdownSuccessful, &value)))
                shutdownSuccessful = value;
            m_previousShutdownClean = shutdownSuccessful == 1;
            ReadParameters(&key);

            TraceTimeStatus(kMessageTraceLogOpened,
                            "Trace log file was opened on %02d/%02d/%04d.  Driver version: %d.%d.%d.%d");
            WriteShutdownSuccessful(0);
        } else if (TraceLogger* logger = TraceLogger::Instance()) {
            logger->SetTraceMask(kTraceMaskStart);
        }
    }

    const ULONG resolution = ExSetTimerResolution(kTimerResolution, TRUE);
    TRACE_LINE(this, "Driver::DriverEntry", kTraceHighs, "Timer resolution has been set to %u 100ns units",
               resolution);

    const NTSTATUS status = KsInitializeDriver(m_driverObject, &m_registryPath, nullptr);
    if (!NT_SUCCESS(status))
        return status;
    m_driverObject->DriverExtension->AddDevice = AddDevice;
    m_driverObject->DriverUnload = DriverUnload;
    m_driverObject->MajorFunction[IRP_MJ_SHUTDOWN] = DispatchShutdown;
    return STATUS_SUCCESS;
}

// Device slots.

void Driver::HookDeviceIOControl()
{
    TRACE_SCOPE(this, "Driver::HookDeviceIOControl", kTraceLowEnter);
    KPLXFastStackLock lock(&m_lock, this, "Driver::HookDeviceIOControl", __LINE__);
    if (m_savedDeviceControl == nullptr && m_driverObject != nullptr) {
        m_savedDeviceControl = m_driverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL];
        m_driverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControlHook;
    }
}

void Driver::UnhookDeviceIOControl()
{
    TRACE_SCOPE(this, "Driver::UnhookDeviceIOControl", kTraceLowEnter);
    KPLXFastStackLock lock(&m_lock, this, "Driver::UnhookDeviceIOControl", __LINE__);
    if (m_savedDeviceControl == nullptr)
        return;
    for (Device* device : m_devices)
        if (device != nullptr)
            return;
    m_driverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = m_savedDeviceControl;
    m_savedDeviceControl = nullptr;
}

LONG Driver::GetDeviceInstanceId(Device* device)
{
    TRACE_SCOPE(this, "Driver::GetDeviceInstanceId", kTraceLowEnter);
    LONG id = -1;
    {
        KPLXFastStackLock lock(&m_lock, this, "Driver::GetDeviceInstanceId", __LINE__);
        // A device already numbered keeps its id wherever its slot lies.
        for (ULONG slot = 0; slot < kDeviceSlots; ++slot)
            if (m_devices[slot] == device)
                return static_cast<LONG>(slot) + 1;
        // Fresh ids first: from the most recently assigned slot on, then around from slot 0.
        for (ULONG step = 0; step < kDeviceSlots; ++step) {
            const ULONG slot = (m_mostRecentSlot + step) % kDeviceSlots;
            if (m_devices[slot] == nullptr) {
                m_devices[slot] = device;
                m_mostRecentSlot = slot;
                id = static_cast<LONG>(slot) + 1;
                break;
            }
        }
    }
    if (id < 0) {
        TRACE_STATUS(this, "Driver::GetDeviceInstanceId", kTraceErrors, kMessageMaximumDevices,
                     "The maximum allowed active devices count of %d has been reached.", kDeviceSlots);
        return -1;
    }
    HookDeviceIOControl();
    return id;
}

bool Driver::RecordAssignedDeviceInstanceId(Device* device, LONG id)
{
    TRACE_SCOPE(this, "Driver::RecordAssignedDeviceInstanceId", kTraceLowEnter);
    if (id < 1 || id > static_cast<LONG>(kDeviceSlots))
        return false;
    {
        KPLXFastStackLock lock(&m_lock, this, "Driver::RecordAssignedDeviceInstanceId", __LINE__);
        const ULONG slot = static_cast<ULONG>(id - 1);
        if (m_devices[slot] != nullptr)
            return m_devices[slot] == device;
        // One device, one slot.
        for (ULONG other = 0; other < kDeviceSlots; ++other)
            if (m_devices[other] == device)
                m_devices[other] = nullptr;
        m_devices[slot] = device;
        if (slot > m_mostRecentSlot)
            m_mostRecentSlot = slot;
    }
    HookDeviceIOControl();
    return true;
}

NTSTATUS Driver::RemoveDeviceInstanceId(Device* device)
{
    TRACE_SCOPE(this, "Driver::RemoveDeviceInstanceId", kTraceLowEnter);
    bool found = false;
    {
        KPLXFastStackLock lock(&m_lock, this, "Driver::RemoveDeviceInstanceId", __LINE__);
        for (ULONG slot = 0; slot < kDeviceSlots; ++slot) {
            if (device != nullptr && m_devices[slot] == device) {
                m_devices[slot] = nullptr;
                found = true;
            }
        }
    }
    if (!found) {
        TRACE_STATUS(this, "Driver::RemoveDeviceInstanceId", kTraceErrors, kMessageDeviceNotFound,
                     "Device 0x%08x was not found in m_arrayDevices.",
                     static_cast<ULONG>(reinterpret_cast<uintptr_t>(device)));
        return kMessageDeviceNotFound;
    }
    UnhookDeviceIOControl();
    return STATUS_SUCCESS;
}

Device* Driver::GetDevice(LONG id)
{
    if (id < 1 || id > static_cast<LONG>(kDeviceSlots))
        return nullptr;
    KPLXFastStackLock lock(&m_lock, this, "Driver::GetDevice", __LINE__);
    return m_devices[id - 1];
}

// Dispatch routines.

NTSTATUS NTAPI Driver::DispatchShutdown(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    Driver* driver = Instance();
    TRACE_SCOPE(driver, "Driver::DispatchShutdown", kTraceEnter);
    (void)deviceObject;
    if (driver != nullptr)
        driver->WriteShutdownSuccessful(1);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI Driver::DispatchDeviceControlHook(PDEVICE_OBJECT deviceObject, PIRP irp)
{
    TRACE_SCOPE(Instance(), "Driver::DispatchDeviceControlHook", kTraceEnter);
    Device* device = nullptr;
    if (PKSDEVICE ksDevice = KsGetDeviceForDeviceObject(deviceObject))
        device = static_cast<Device*>(ksDevice->Context);
    if (device != nullptr) {
        try {
            return device->DispatchDeviceControl(deviceObject, irp);
        } catch (const standin::RaisedStatus&) {
        }
    }
    // A request nobody serves still has to finish, or its sender waits for ever.
    irp->IoStatus.Status = STATUS_UNSUCCESSFUL;
    irp->IoStatus.Information = 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_UNSUCCESSFUL;
}

// Performance settings.

void Driver::GetPerformanceSettingsFromRegistry(RegistryKey* key, ULONG pinKind)
{
    TRACE_SCOPE(this, "Driver::GetPerformanceSettingsFromRegistry", kTraceLowEnter);
    if (pinKind != kPinKindCapture && pinKind != kPinKindPreview)
        return;
    const PerformanceNames& names = kPerformanceNames[pinKind - 1];
    const PerformanceSettings defaults = DefaultPerformance(pinKind);
    PerformanceSettings& r = m_performance[pinKind - 1];
    r = PerformanceSettings{};
    r.pinKind = pinKind;
    r.scalingAlgorithm = ReadDword(key, names.scaling, defaults.scalingAlgorithm, defaults.scalingAlgorithm);
    r.defaultVideoSizeType = ReadDword(key, names.size, defaults.defaultVideoSizeType, defaults.defaultVideoSizeType);
    r.height = ReadDword(key, names.height, defaults.height, defaults.height);
    r.width = ReadDword(key, names.width, defaults.width, defaults.width);
    r.videoBuffer = ReadDword(key, names.buffer, defaults.videoBuffer, defaults.videoBuffer);
    // The device-wide values land in both records.
    const ULONG deinterlacing =
        ReadDword(key, kPerfHardwareDeinterlacing, defaults.hardwareDeinterlacing, defaults.hardwareDeinterlacing);
    const ULONG sdAdjust = ReadDword(key, kPerfSdSdiClockAdjust, defaults.sdSdiClockAdjust, defaults.sdSdiClockAdjust);
    const ULONG hdAdjust = ReadDword(key, kPerfHdSdiClockAdjust, defaults.hdSdiClockAdjust, defaults.hdSdiClockAdjust);
    const ULONG vbi = ReadDword(key, kPerfVbiLineRemoval, defaults.vbiLineRemoval, defaults.vbiLineRemoval);
    const ULONG maxHeight =
        ReadDword(key, kPerfMaximumVideoHeight, defaults.maximumVideoHeight, defaults.maximumVideoHeight);
    const ULONG maxWidth =
        ReadDword(key, kPerfMaximumVideoWidth, defaults.maximumVideoWidth, defaults.maximumVideoWidth);
    for (PerformanceSettings& record : m_performance) {
        record.hardwareDeinterlacing = deinterlacing;
        record.sdSdiClockAdjust = sdAdjust;
        record.hdSdiClockAdjust = hdAdjust;
        record.vbiLineRemoval = vbi;
        record.maximumVideoHeight = maxHeight;
        record.maximumVideoWidth = maxWidth;
    }
}

PerformanceSettings Driver::GetStoredPerformanceSettings(ULONG pinKind) const
{
    return m_performance[pinKind == kPinKindPreview ? 1 : 0];
}

NTSTATUS Driver::GetPerformanceSettings(PerformanceSettings* record)
{
    TRACE_SCOPE(this, "Driver::GetPerformanceSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    ULONG pinKind = record->pinKind;
    if (pinKind == kPinKindBoth)
        pinKind = kPinKindCapture;
    if (pinKind != kPinKindCapture && pinKind != kPinKindPreview) {
        TRACE_STATUS(this, "Driver::GetPerformanceSettings", kTraceErrors, kMessageInvalidPinType,
                     "Specified pin type of %d is invalid", record->pinKind);
        return kMessageInvalidPinType;
    }
    *record = m_performance[pinKind - 1];
    return STATUS_SUCCESS;
}

NTSTATUS Driver::SetPerformanceSettings(PerformanceSettings* record)
{
    TRACE_SCOPE(this, "Driver::SetPerformanceSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_SUCCESS;
    const ULONG pinKind = record->pinKind;
    if (pinKind != kPinKindCapture && pinKind != kPinKindPreview && pinKind != kPinKindBoth) {
        TRACE_STATUS(this, "Driver::SetPerformanceSettings", kTraceErrors, kMessageInvalidPinType,
                     "Specified pin type of %d is invalid", pinKind);
        return kMessageInvalidPinType;
    }
    if (record->scalingAlgorithm > kMaximumScalingAlgorithm) {
        TRACE_STATUS(this, "Driver::SetPerformanceSettings", kTraceErrors, kMessageInvalidScaling,
                     "%d is an invalid scaling algorithm.  Valid values are 0 - %d.", record->scalingAlgorithm,
                     kMaximumScalingAlgorithm);
        return kMessageInvalidScaling;
    }
    if (record->defaultVideoSizeType > kMaximumVideoSizeType) {
        TRACE_STATUS(this, "Driver::SetPerformanceSettings", kTraceErrors, kMessageInvalidSizeType,
                     "%d is an invalid default video size type.  Valid values are 0 - %d.",
                     record->defaultVideoSizeType, kMaximumVideoSizeType);
        return kMessageInvalidSizeType;
    }
    if (record->vbiLineRemoval > kMaximumVbiLineRemoval) {
        TRACE_STATUS(this, "Driver::SetPerformanceSettings", kTraceErrors, kMessageInvalidVbiRemoval,
                     "%d is an invalid VBI line removal option.  Valid values are 0 - %d.", record->vbiLineRemoval,
                     kMaximumVbiLineRemoval);
        return kMessageInvalidVbiRemoval;
    }
    if (record->defaultVideoSizeType == kCustomVideoSizeType) {
        if (record->height < kMinimumCustomHeight)
            record->height = kMinimumCustomHeight;
        if (record->height > kMaximumCustomHeight)
            record->height = kMaximumCustomHeight;
        if (record->width < kMinimumCustomWidth)
            record->width = kMinimumCustomWidth;
        if (record->width > kMaximumCustomWidth)
            record->width = kMaximumCustomWidth;
    }
    if (record->videoBuffer < kMinimumVideoBuffer)
        record->videoBuffer = kMinimumVideoBuffer;
    if (record->videoBuffer > kMaximumVideoBuffer)
        record->videoBuffer = kMaximumVideoBuffer;

    // "Both" is capture, then preview: the page's choice must reach both pins.
    // Each pin type's change is announced with its own pin type, capture first.
    if (pinKind == kPinKindBoth) {
        for (ULONG kind : {kPinKindCapture, kPinKindPreview}) {
            StorePerformanceSettings(*record, kind);
            NotifyPerformanceChange(m_performance[kind - 1]);
        }
    } else {
        StorePerformanceSettings(*record, pinKind);
        NotifyPerformanceChange(*record);
    }
    return STATUS_SUCCESS;
}

NTSTATUS Driver::StorePerformanceSettings(const PerformanceSettings& record, ULONG pinKind)
{
    const PerformanceNames& names = kPerformanceNames[pinKind - 1];
    PerformanceSettings& stored = m_performance[pinKind - 1];
    if (record.scalingAlgorithm != stored.scalingAlgorithm)
        WriteParameter(names.scaling, record.scalingAlgorithm);
    if (record.defaultVideoSizeType != stored.defaultVideoSizeType)
        WriteParameter(names.size, record.defaultVideoSizeType);
    if (record.height != stored.height)
        WriteParameter(names.height, record.height);
    if (record.width != stored.width)
        WriteParameter(names.width, record.width);
    if (record.videoBuffer != stored.videoBuffer)
        WriteParameter(names.buffer, record.videoBuffer);
    if (record.hardwareDeinterlacing != stored.hardwareDeinterlacing)
        WriteParameter(kPerfHardwareDeinterlacing, record.hardwareDeinterlacing);
    if (record.vbiLineRemoval != stored.vbiLineRemoval)
        WriteParameter(kPerfVbiLineRemoval, record.vbiLineRemoval);
    for (PerformanceSettings& each : m_performance) {
        each.hardwareDeinterlacing = record.hardwareDeinterlacing;
        each.vbiLineRemoval = record.vbiLineRemoval;
    }
    stored = record;
    stored.pinKind = pinKind;
    // The caller's property header is not part of the setting.
    std::memset(stored.header, 0, sizeof stored.header);
    return STATUS_SUCCESS;
}

void Driver::NotifyPerformanceChange(const PerformanceSettings& record)
{
    TRACE_SCOPE(this, "Driver::NotifyPerformanceChange", kTraceLowEnter);
    PerformanceNotification notification{record.pinKind,          record.hardwareDeinterlacing,
                                         record.videoBuffer,      record.scalingAlgorithm,
                                         record.defaultVideoSizeType, record.height,
                                         record.width,            record.sdSdiClockAdjust,
                                         record.hdSdiClockAdjust, record.vbiLineRemoval};
    KPLXFastStackLock lock(&m_lock, this, "Driver::NotifyPerformanceChange", __LINE__);
    // Every board hears of it, in slot order from the most recently assigned one around.
    for (ULONG step = 0; step < kDeviceSlots; ++step) {
        Device* device = m_devices[(m_mostRecentSlot + step) % kDeviceSlots];
        if (device != nullptr)
            device->NotifyPerformanceChange(notification);
    }
}

// Support settings.

NTSTATUS Driver::GetBrevicorSupportSettings(BrevicorSupportSettings* record)
{
    TRACE_SCOPE(this, "Driver::GetBrevicorSupportSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    record->supported = 1;
    TraceLogger* logger = TraceLogger::Instance();
    record->traceMask = logger != nullptr ? logger->GetTraceMask() : 0;
    std::memset(record->logFileName, 0, sizeof(record->logFileName));
    if (logger == nullptr)
        return STATUS_SUCCESS;
    WCHAR full[kDosDevicesPrefixCharacters + kLogFileNameCharacters + 1] = {};
    const ULONG length = logger->GetLogFileName(full, static_cast<ULONG>(std::size(full)));
    const ULONG skip = length >= kDosDevicesPrefixCharacters ? kDosDevicesPrefixCharacters : length;
    const size_t name = WideLength(full + skip, kSupportLogFileNameCharacters - 1);
    std::memcpy(record->logFileName, full + skip, name * sizeof(WCHAR));
    return STATUS_SUCCESS;
}

NTSTATUS Driver::SetBrevicorSupportSettings(const BrevicorSupportSettings* record, bool persist)
{
    TRACE_SCOPE(this, "Driver::SetBrevicorSupportSettings", kTraceLowEnter);
    if (record == nullptr)
        return STATUS_INVALID_PARAMETER;
    if ((record->traceMask & kTraceInvalidBits) != 0) {
        TRACE_STATUS(this, "Driver::SetBrevicorSupportSettings", kTraceErrors, kMessageInvalidTraceBits,
                     "Invalid trace options bits specified");
        return kMessageInvalidTraceBits;
    }
    // The record's name is trusted only up to its field.
    WCHAR name[kSupportLogFileNameCharacters] = {};
    const size_t nameLength = WideLength(record->logFileName, kSupportLogFileNameCharacters - 1);
    std::memcpy(name, record->logFileName, nameLength * sizeof(WCHAR));

    if (persist) {
        RegistryKey key(&m_registryPath, kParameters, TRUE, REG_OPTION_NON_VOLATILE, kParametersWriteAccess,
                        kParametersWriteFlags);
        if (key.IsOpen()) {
            for (const TraceSwitch& traceSwitch : kTraceSwitches)
                key.SetDword(traceSwitch.valueName, (record->traceMask & traceSwitch.bits) != 0 ? 1 : 0);
            key.SetDword(u"LogTraceToFile", (record->traceMask & kTraceLogToFile) != 0 ? 1 : 0);
            key.SetDword(u"TraceTimeStamps", (record->traceMask & kTraceTimeStamps) != 0 ? 1 : 0);
            key.SetString(u"LogFileName", name);
        }
    }

    TraceLogger* logger = TraceLogger::Instance();
    if (logger == nullptr)
        return STATUS_SUCCESS;
    WCHAR wanted[kDosDevicesPrefixCharacters + kSupportLogFileNameCharacters + 1] = {};
    std::memcpy(wanted, kDosDevicesPrefix, kDosDevicesPrefixCharacters * sizeof(WCHAR));
    std::memcpy(wanted + kDosDevicesPrefixCharacters, name, nameLength * sizeof(WCHAR));
    WCHAR current[kDosDevicesPrefixCharacters + kSupportLogFileNameCharacters + 1] = {};
    logger->GetLogFileName(current, static_cast<ULONG>(std::size(current)));
    // The logger's mask always carries the always-on bit; compare with it set.
    const ULONG mask = record->traceMask | kTraceAlways;
    const bool sameName = WideEqual(wanted, current);
    if (mask == logger->GetTraceMask() && sameName)
        return STATUS_SUCCESS;
    logger->DisableOutput();
    logger->SetTraceMask(mask);
    if (!sameName)
        logger->SetLogFileName(name);
    logger->EnableOutput();
    return STATUS_SUCCESS;
}
