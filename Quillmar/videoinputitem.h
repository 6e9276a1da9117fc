// VideoInputItem: one video input of a filter or device: its connector kind and hardware input
// number, its name, its last detection record, and the settings of its five pins (indexed by pin
// type 0 to 4; each pin's id is its index).
#pragma once
#include "brevicorrecords.h"
#include "kernel/driverheap.h"
#include "km/spinlock.h"
#include "km/types.h"
#include "videopindetails.h"

class VideoInputItem : public DriverAllocated {
public:
    static constexpr ULONG kPinCount = 5;
    // The longest name kept (the registry's strings hold 259 characters).
    static constexpr ULONG kMaximumNameCharacters = kRecordTextCharacters - 1;

    VideoInputItem();
    ~VideoInputItem();
    VideoInputItem(const VideoInputItem&) = delete;
    VideoInputItem& operator=(const VideoInputItem&) = delete;

    NTSTATUS GetInputType(ULONG* type) const;
    NTSTATUS SetInputType(ULONG type);
    NTSTATUS GetInputIOIndex(ULONG* index) const;
    NTSTATUS SetInputIOIndex(ULONG index);

    // Replaces the name with a copy of `name` (null or empty clears it); the old buffer is freed.
    // A name longer than kMaximumNameCharacters is STATUS_INVALID_PARAMETER, no memory
    // STATUS_INSUFFICIENT_RESOURCES; either way the old name stays.
    NTSTATUS SetInputName(PCWSTR name);
    // The name, never null (empty while none is set), and its length in characters.
    PCWSTR GetInputName() const { return m_name != nullptr ? m_name : u""; }
    ULONG GetInputNameLength() const { return m_nameLength; }

    // The 580-byte detection record, copied whole under the input's own spin lock: the DSP's
    // response thread replaces the record of every open filter while the filter's requests read it.
    NTSTATUS GetInputDetectInfo(BrevicorInputDetectRecord* record) const;
    NTSTATUS SetInputDetectInfo(const BrevicorInputDetectRecord* record);

    // The settings of pin type 0 to 4; null for any other.
    VideoPinDetails* GetPinDetails(ULONG pinType);
    const VideoPinDetails* GetPinDetails(ULONG pinType) const;

private:
    ULONG m_inputType = 0;
    ULONG m_ioIndex = 0;
    WCHAR* m_name = nullptr;
    ULONG m_nameLength = 0;
    mutable KSPIN_LOCK m_inputDetectLock = 0;
    BrevicorInputDetectRecord m_inputDetect = {};
    VideoPinDetails m_pins[kPinCount];
};
