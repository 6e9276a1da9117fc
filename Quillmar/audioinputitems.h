// AudioInputItems: the audio inputs of a filter or device: the list of AudioInputItem, the current
// input, and the daughter card's state word and enable. Every operation names an input by index;
// an index not below the count is STATUS_UNSUCCESSFUL with any out-value left as it was.
#pragma once
#include "audioinputitem.h"
#include "brevicorrecords.h"
#include "kernel/driverheap.h"
#include "km/types.h"
#include "shared/guiddef.h"

class AudioInputItems : public DriverAllocated {
public:
    // The most inputs a list holds; a registry count above it is cut to it by the loader.
    static constexpr ULONG kMaximumInputs = 8;
    // The daughter card state word says no card when its low five bits are all set.
    static constexpr ULONG kNoDaughterCard = 0x1F;

    AudioInputItems() = default;
    ~AudioInputItems();
    AudioInputItems(const AudioInputItems&) = delete;
    AudioInputItems& operator=(const AudioInputItems&) = delete;

    // Replaces the list with `count` fresh inputs (one block), the current input 0.
    // STATUS_INVALID_PARAMETER above kMaximumInputs, STATUS_INSUFFICIENT_RESOURCES without memory;
    // a failure leaves the old list.
    NTSTATUS AllocateInputs(ULONG count);
    void FreeInputs();

    ULONG GetInputCount() const { return m_count; }
    ULONG GetCurrentInput() const { return m_currentInput; }
    // STATUS_UNSUCCESSFUL unless `index` is below the count (0 is accepted for an empty list).
    NTSTATUS SetCurrentInput(ULONG index);
    ULONG GetDaughterCardState() const { return m_daughterCardState; }
    void SetDaughterCardState(ULONG state) { m_daughterCardState = state; }
    ULONG GetDaughterCardEnable() const { return m_daughterCardEnable; }
    void SetDaughterCardEnable(ULONG enable) { m_daughterCardEnable = enable; }
    // Input `index`, or null.
    AudioInputItem* GetInput(ULONG index);
    const AudioInputItem* GetInput(ULONG index) const;

    NTSTATUS GetInputType(ULONG index, ULONG* type) const;
    NTSTATUS SetInputType(ULONG index, ULONG type);
    NTSTATUS GetInputIOIndex(ULONG index, ULONG* ioIndex) const;
    NTSTATUS GetChannelPairIndex(ULONG index, ULONG* pairIndex) const;
    NTSTATUS GetChannelPairCount(ULONG index, ULONG* pairCount) const;
    NTSTATUS GetInputName(ULONG index, GUID* name) const;
    NTSTATUS SetInputName(ULONG index, const GUID& name);
    // The input's name text: the "Name" of its identifier under the system's "MediaCategories" key,
    // or "Unknown" when that key or value is missing or is not text, copied into `buffer` of
    // `capacity` characters, cut to fit and always terminated. STATUS_INVALID_PARAMETER for no
    // buffer or a capacity of 0.
    NTSTATUS GetInputNameString(ULONG index, WCHAR* buffer, ULONG capacity) const;
    NTSTATUS GetVolumeLevel(ULONG index, ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetVolumeLevel(ULONG index, ULONG pair, ULONG channel, LONG value);
    NTSTATUS GetPeakLevel(ULONG index, ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetPeakLevel(ULONG index, ULONG pair, ULONG channel, LONG value);
    NTSTATUS GetMute(ULONG index, ULONG pair, ULONG channel, LONG* value) const;
    NTSTATUS SetMute(ULONG index, ULONG pair, ULONG channel, LONG value);
    NTSTATUS GetInputDetectInfo(ULONG index, BrevicorInputDetectRecord* record) const;
    NTSTATUS SetInputDetectInfo(ULONG index, const BrevicorInputDetectRecord* record);
    NTSTATUS GetInputEnabled(ULONG index, ULONG* enabled) const;
    NTSTATUS SetInputEnabled(ULONG index, ULONG enabled);
    NTSTATUS GetDefaultFrequency(ULONG index, ULONG* frequency) const;
    NTSTATUS SetDefaultFrequency(ULONG index, ULONG frequency);
    NTSTATUS GetInputGain(ULONG index, LONG* gain) const;
    NTSTATUS SetInputGain(ULONG index, LONG gain);
    NTSTATUS GetAudioIsInBypassMode(ULONG index, UCHAR* bypass) const;
    NTSTATUS SetAudioIsInBypassMode(ULONG index, UCHAR bypass);

    // The name text of a media-category identifier, by the rule of GetInputNameString.
    static NTSTATUS GetMediaCategoryName(const GUID& name, WCHAR* buffer, ULONG capacity);

private:
    ULONG m_count = 0;
    ULONG m_currentInput = 0;
    AudioInputItem* m_inputs = nullptr;
    ULONG m_daughterCardState = 0;
    ULONG m_daughterCardEnable = 0;
    ULONG m_reserved = 0;
};
