// VideoInputItems: every video setting of a filter or device: the list of video inputs, each with
// the settings of its five pins, and the index of the current input. Every per-field operation
// takes a pin type (0 to 4; callers resolve the selector 255 first) and addresses that pin's
// settings in the current input, so switching the current input switches every pin's settings.
//
// Per-field operations answer STATUS_INVALID_PARAMETER for a pin type above 4 and
// STATUS_UNSUCCESSFUL while there is no current input (no inputs yet); an out-pointer is then left
// as it was. The owner serialises.
#pragma once
#include "brevicorrecords.h"
#include "kernel/driverheap.h"
#include "km/types.h"
#include "videoinputitem.h"
#include "videopindetails.h"

class VideoInputItems : public DriverAllocated {
public:
    // The most inputs a list holds; a registry count above it is cut to it by the loader.
    static constexpr ULONG kMaximumInputs = 16;

    VideoInputItems() = default;
    ~VideoInputItems();
    VideoInputItems(const VideoInputItems&) = delete;
    VideoInputItems& operator=(const VideoInputItems&) = delete;

    // Replaces the list with `count` fresh inputs (one block, the count stored in front), the
    // current input 0. STATUS_INVALID_PARAMETER above kMaximumInputs, STATUS_INSUFFICIENT_RESOURCES
    // without memory; a failure leaves the old list.
    NTSTATUS AllocateInputs(ULONG count);
    // Destroys every input, last first, and the block.
    void FreeInputs();
    // Trades lists (inputs, count and current input) with `other`.
    void Exchange(VideoInputItems* other);

    ULONG GetInputCount() const { return m_count; }
    // The current input index.
    ULONG GetSecondWord() const { return m_currentInput; }
    // Makes `index` current: STATUS_INVALID_PARAMETER unless it is below the count (0 is accepted
    // for an empty list).
    NTSTATUS SetSecondWord(ULONG index);
    // Input `index`, or null when there is none.
    VideoInputItem* GetInput(ULONG index);
    const VideoInputItem* GetInput(ULONG index) const;

#define VIDEO_INPUT_ITEMS_DECLARE(name, member, type)                                                        \
    NTSTATUS Get##name(ULONG pinType, type* value) const;                                                    \
    NTSTATUS Set##name(ULONG pinType, type value);
    VIDEO_PIN_FIELDS(VIDEO_INPUT_ITEMS_DECLARE)
#undef VIDEO_INPUT_ITEMS_DECLARE
    // The logo rectangle as stored (VideoPinDetails::GetStored...).
#define VIDEO_INPUT_ITEMS_DECLARE_STORED(name, member, type)                                                 \
    NTSTATUS GetStored##name(ULONG pinType, type* value) const;
    VIDEO_PIN_LOGO_RECTANGLE_FIELDS(VIDEO_INPUT_ITEMS_DECLARE_STORED)
#undef VIDEO_INPUT_ITEMS_DECLARE_STORED

    NTSTATUS GetVideoProcAmpGammaValues(ULONG pinType, UCHAR* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpGammaValues(ULONG pinType, const UCHAR* values, ULONG count);
    NTSTATUS GetVideoProcAmpSinValues(ULONG pinType, LONG* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpSinValues(ULONG pinType, const LONG* values, ULONG count);
    NTSTATUS GetVideoProcAmpCosValues(ULONG pinType, LONG* values, ULONG count) const;
    NTSTATUS SetVideoProcAmpCosValues(ULONG pinType, const LONG* values, ULONG count);
    NTSTATUS GetLogoFileName(ULONG pinType, WCHAR* name) const;
    NTSTATUS SetLogoFileName(ULONG pinType, const WCHAR* name);
    // The closed-caption record; a pin type outside 1 and 2 addresses pin type 1.
    NTSTATUS GetCCSettings(ULONG pinType, BrevicorCCRecord* record) const;
    NTSTATUS SetCCSettings(ULONG pinType, const BrevicorCCRecord* record);
    NTSTATUS GetConnectionFormatInfo(ULONG pinType, ULONG* kind) const;
    NTSTATUS SetConnectionFormatKind(ULONG pinType, ULONG kind);

    // The detection record of the input whose index stands in the record's input number (word 28):
    // copied out over the rest of `record`, or stored whole. STATUS_UNSUCCESSFUL, nothing copied,
    // when that index is not below the count.
    NTSTATUS GetInputDetectInfo(BrevicorInputDetectRecord* record) const;
    NTSTATUS SetInputDetectInfo(const BrevicorInputDetectRecord* record);

private:
    // The current input's settings of `pinType`, or null with the failure in *status.
    VideoPinDetails* Pin(ULONG pinType, NTSTATUS* status);
    const VideoPinDetails* Pin(ULONG pinType, NTSTATUS* status) const;

    ULONG m_count = 0;
    ULONG m_currentInput = 0;
    VideoInputItem* m_inputs = nullptr;
};
