// BasicFilter: the base of every kernel-streaming filter of the board (video capture, crossbar,
// audio capture). It holds what every filter object carries: the process that opened the filter,
// the filter's instance id, the board's device number (which pairs the filters of one board), the
// Device that owns it and the platform's filter object it is the context of. Its virtual
// operations keep one order in every class of the family; the filter kinds fill them in.
//
// Also here: the reference identifiers of the three filter kinds, the tests that tell a filter
// factory's kind by its reference identifier, and the translation of audio input types to physical
// connector types.
#pragma once
#include "kernel/driverheap.h"
#include "km/irp.h"
#include "km/ks.h"
#include "km/ksfilter.h"
#include "km/process.h"
#include "km/types.h"
#include "shared/guiddef.h"
#include "shared/ksrecords.h"

class Device;
class VideoInputItems;

// Reference identifiers of the filter kinds. The audio capture filters of one board are told apart
// by the last group of the first field: 93F10012 to 93F10019 (one per audio input, or the first for
// the combined filter).
DEFINE_GUIDSTRUCT_VALUE(kVideoCaptureFilterReference, 0x13637B79L, 0xA9F8, 0x4CE5, 0x8A, 0xB7, 0x4C, 0x9C,
                        0x15, 0xCC, 0x48, 0x34);
DEFINE_GUIDSTRUCT_VALUE(kCrossbarFilterReference, 0x0120854BL, 0xD745, 0x400B, 0x92, 0xE9, 0xC0, 0xD1, 0x06,
                        0x12, 0xAE, 0xCC);
DEFINE_GUIDSTRUCT_VALUE(kAudioCaptureFilterReference, 0x93F10012L, 0xF5CD, 0x4DB5, 0xA1, 0xDB, 0x33, 0xA3,
                        0x29, 0x86, 0x35, 0x34);

class BasicFilter : public DriverAllocated {
public:
    // Audio capture filter references: one per audio input at most.
    static constexpr ULONG kAudioFilterReferenceCount = 8;
    // The connector type every video input translates to.
    static constexpr ULONG kVideoConnectorType = 6;
    // Physical connector types of the audio inputs.
    static constexpr ULONG kConnectorGeneric = 0x1000;
    static constexpr ULONG kConnectorLine = 0x1001;
    static constexpr ULONG kConnectorAesDigital = 0x1003;
    static constexpr ULONG kConnectorSpdifDigital = 0x1004;

    BasicFilter() = default;
    BasicFilter(const BasicFilter&) = delete;
    BasicFilter& operator=(const BasicFilter&) = delete;

    // ---- virtual operations, in slot order ------------------------------------------------------
    virtual ~BasicFilter();
    virtual NTSTATUS OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data) = 0;
    virtual NTSTATUS OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data) = 0;
    // The input type of input `index`.
    virtual ULONG GetInputType(ULONG index) = 0;
    // An input type translated to its physical connector type.
    virtual ULONG TranslateInputType(ULONG inputType) = 0;
    virtual ULONG GetInputCount() = 0;
    // The current input of the device's filter with this device number and owning process.
    virtual ULONG GetCurrentInput(ULONG deviceNumber, PEPROCESS owningProcess) = 0;
    // The current input of the device's first filter with this device number.
    virtual ULONG GetCurrentInput(ULONG deviceNumber) = 0;
    virtual NTSTATUS SaveToRegistry() = 0;
    // The hardware number of input `index`; 0 here.
    virtual ULONG GetInputIOIndex(ULONG index);
    // After the filter object took its device, filter, process and device number: 0 here.
    virtual NTSTATUS OnCreate(PIRP irp);
    // STATUS_UNSUCCESSFUL here.
    virtual NTSTATUS OnClose(PIRP irp);
    // STATUS_UNSUCCESSFUL.
    virtual NTSTATUS Reserved();
    // ---- end of the virtual operations -----------------------------------------------------------

    // The filter's own video inputs, whose current input is the crossbar's active input: the
    // crossbar and video capture filters answer theirs, every other filter null.
    virtual VideoInputItems* GetVideoInputItems();

    void SetInstanceId(ULONG id) { m_instanceId = id; }
    ULONG GetInstanceId() const { return m_instanceId; }
    // The board's instance number, taken at create.
    void SetDeviceNumber(ULONG number) { m_deviceNumber = number; }
    ULONG GetDeviceNumber() const { return m_deviceNumber; }
    void SetDevice(Device* device) { m_device = device; }
    Device* GetDevice() const { return m_device; }
    void SetKsFilter(PKSFILTER filter) { m_ksFilter = filter; }
    PKSFILTER GetKsFilter() const { return m_ksFilter; }
    void SetOwningProcess(PEPROCESS process) { m_owningProcess = process; }
    PEPROCESS GetOwningProcess() const { return m_owningProcess; }

    // An audio input type as a physical connector type: 10 line, 11 AES digital, 12 to 14 S/PDIF
    // digital, any other the generic connector.
    static ULONG TranslateAudioInputType(ULONG inputType);

    // The kind of a filter factory by its reference identifier (null: none of them).
    static bool IsVideoCaptureFilterReference(const GUID* reference);
    static bool IsCrossbarFilterReference(const GUID* reference);
    // Any of the eight audio references.
    static bool IsAudioCaptureFilterReference(const GUID* reference);
    // Audio reference n (0 to 7); the zero identifier for any other.
    static GUID GetAudioCaptureFilterReference(ULONG n);
    // The position of `reference` among the audio references, or -1.
    static LONG GetAudioCaptureFilterIndex(const GUID* reference);

private:
    PEPROCESS m_owningProcess = nullptr;
    ULONG m_instanceId = 0;
    ULONG m_deviceNumber = 0;
    Device* m_device = nullptr;
    PKSFILTER m_ksFilter = nullptr;
};
