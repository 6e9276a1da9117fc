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
#include "shared/ksvidcaprecords.h"

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

    // Record sizes of the device-wide sets, header included.
    static constexpr ULONG kDiagnosticsBytes = 1849;
    static constexpr ULONG kInterfaceVersionBytes = 28;
    static constexpr ULONG kDeviceConfigBytes = 628;
    static constexpr ULONG kDriverInformationBytes = 100;
    static constexpr ULONG kTraceBytes = 552;
    static constexpr ULONG kAudioConfigBytes = 122;

    // ---- the framework's entries (one dispatch table for every filter kind) ---------------------
    static const KSFILTER_DISPATCH kFilterDispatch;
    // Makes the filter object the factory's reference identifier names (video capture, crossbar,
    // any other an audio capture filter), puts it in the filter's bag and runs its OnCreate.
    static NTSTATUS NTAPI FilterCreate(PKSFILTER filter, PIRP irp);
    // The filter object's OnClose.
    static NTSTATUS NTAPI FilterClose(PKSFILTER filter, PIRP irp);
    // Success, nothing done.
    static NTSTATUS NTAPI FilterReset(PKSFILTER filter);
    // The bag's free routine: destroys and frees the object.
    static VOID NTAPI FilterCleanup(PVOID object);
    // The handlers of every property item of every filter, node and pin: the device-wide sets are
    // answered here, every other set by the filter object's OnGetProperty / OnSetProperty.
    static NTSTATUS NTAPI GetPropertyCallback(PIRP irp, PKSIDENTIFIER property, PVOID data);
    static NTSTATUS NTAPI SetPropertyCallback(PIRP irp, PKSIDENTIFIER property, PVOID data);
    // The filter object of the request's filter (also for a request to one of its pins), or null.
    static BasicFilter* FromIrp(PIRP irp);
    // The Device of the device object the request is addressed to, or null.
    static Device* DeviceOfIrp(PIRP irp);
    // The caller's data and request lengths.
    static ULONG DataLength(PIRP irp);
    static ULONG PropertyLength(PIRP irp);

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

protected:
    // The filter's control mutex, then the board's device mutex (the one order of every path),
    // held for a handler's whole run; either is skipped when the object has none.
    class ControlAndDeviceLock {
    public:
        explicit ControlAndDeviceLock(BasicFilter* filter);
        ~ControlAndDeviceLock();
        ControlAndDeviceLock(const ControlAndDeviceLock&) = delete;
        ControlAndDeviceLock& operator=(const ControlAndDeviceLock&) = delete;

    private:
        PKSFILTER m_filter;
        PKSDEVICE m_device;
    };

    // PROPSETID_BREVICOR_INPUTDETECT, shared by the video and audio capture filters: id 0 the count
    // of the list the selector at 24 names (1 video, any other audio), id 1 an input's detection
    // record with its connector type at 32 (and, for an audio input, its name at 70). An input not
    // below the count fails with STATUS_UNSUCCESSFUL.
    NTSTATUS GetInputDetect(PIRP irp, PKSPROPERTY property, PVOID data);
    // PROPSETID_VIDCAP_DROPPEDFRAMES: the open streaming pin of id `pinId`, else of `otherPinId`
    // (none: STATUS_UNSUCCESSFUL): its sink's delivered and dropped counts and its frame size;
    // a pin without a sink answers zeros.
    NTSTATUS GetDroppedFrames(PIRP irp, PKSPROPERTY property, PVOID data, ULONG pinId, ULONG otherPinId);
    // The filter's own video inputs when it has them, else the device's.
    VideoInputItems* VideoInputsForDetection();

    // Copies `bytes` of the request into the data buffer (the record convention of every item).
    static void CopyRequest(PKSPROPERTY property, PVOID data, ULONG bytes);
    // Sets the request's Information to `bytes` when `status` succeeded, else 0; returns `status`.
    static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG bytes);

private:
    static NTSTATUS GetDeviceWideProperty(PIRP irp, Device* device, PKSPROPERTY property, PVOID data, bool* handled);
    static NTSTATUS SetDeviceWideProperty(PIRP irp, Device* device, PKSPROPERTY property, PVOID data, bool* handled);

    PEPROCESS m_owningProcess = nullptr;
    ULONG m_instanceId = 0;
    ULONG m_deviceNumber = 0;
    Device* m_device = nullptr;
    PKSFILTER m_ksFilter = nullptr;
};
