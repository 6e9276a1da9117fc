// BasicAudioFilter: the audio capture filter's property handlers over its own audio inputs (and
// the device's, which every setter updates too): component id, pin names, volume, mute, mux, peak
// meter, CPU resources, the basic-support answers of the volume and peak items, and the private
// audio-input information set.
//
// Topology: a per-input filter has node 0 volume, 1 mute, 2 peak meter and stands for its own
// input; the combined filter has one volume node per input (0 to n-1), then the mux (n), the mute
// (n+1) and the peak meter (n+2), and its current input is the mux selection.
#pragma once
#include "audioinputitems.h"
#include "basicfilter.h"
#include "km/kspin.h"
#include "shared/ksaudiorecords.h"

class BasicAudioFilter : public BasicFilter {
public:
    // The access flags the volume and peak items answer, and their descriptions' sizes.
    static constexpr ULONG kVolumeAccessFlags = KSPROPERTY_TYPE_BASICSUPPORT | KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET;
    static constexpr ULONG kPeakAccessFlags = KSPROPERTY_TYPE_BASICSUPPORT | KSPROPERTY_TYPE_GET;
    static constexpr ULONG kVolumeDescriptionBytes = 72;
    static constexpr ULONG kPeakDescriptionBytes = 88;
    // The volume range in 16.16 fixed-point decibels, and the peak meter's.
    static constexpr LONG kVolumeStep = 28036;
    static constexpr LONG kVolumeMinimum = -1729034;
    static constexpr LONG kVolumeMaximum = 63510;
    static constexpr LONG kPeakStep = 32;
    static constexpr LONG kPeakMinimum = 0;
    static constexpr LONG kPeakMaximum = 32767;
    // CPU resources of a node: not on the host processor, or on it.
    static constexpr ULONG kNotHostCpu = 0;
    static constexpr ULONG kHostCpu = 0x7FFFFFFF;
    // The channel value that names every channel of a node.
    static constexpr LONG kAllChannels = -1;
    // The latency answered, in 100-ns units.
    static constexpr LONGLONG kLatency = 100000;

    ~BasicAudioFilter() override;

    // The hardware number of that audio input.
    ULONG GetInputIOIndex(ULONG index) override;

    // The framework's basic-support handlers of the volume and peak items.
    static NTSTATUS NTAPI PropHandlerVolume(PIRP irp, PKSIDENTIFIER property, PVOID data);
    static NTSTATUS NTAPI PropHandlerPeak(PIRP irp, PKSIDENTIFIER property, PVOID data);
    // KSPROPSETID_General's component id (72 bytes); the video capture filter answers it too.
    static NTSTATUS PropGetAudioComponentId(PIRP irp, PKSPROPERTY property, PVOID data);

    // The input this filter answers for: a per-input filter's own, the combined filter's mux
    // selection.
    ULONG GetCurrentAudioInput();
    bool IsCombined() const { return m_combined; }

    // The audio capture pin's format check: a wave format (its extra bytes inside the format) of
    // the range's maximum channel count, its rate and bits per sample within the range's, the bits
    // a whole number of bytes (8, 16, 24 or 32: the containers the chain fills); else
    // STATUS_NO_MATCH. A change while the pin is past Stop: STATUS_INVALID_DEVICE_STATE.
    static NTSTATUS NTAPI DispatchPinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                                   PKSMULTIPLE_ITEM oldAttributeList,
                                                   const KSDATARANGE* dataRange,
                                                   const KSATTRIBUTE_LIST* attributeRange);

    // The filter's own inputs (loaded at create).
    AudioInputItems* Inputs() { return &m_inputs; }

protected:
    // A per-input filter's input, from its reference identifier (0 when none matches).
    ULONG OwnInput() const { return m_ownInput; }
    void SetLayout(bool combined, ULONG ownInput)
    {
        m_combined = combined;
        m_ownInput = ownInput;
    }

    NTSTATUS PropGetAudioPinName(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetLatency(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetVolumeLevel(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropSetVolumeLevel(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetMute(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropSetMute(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetMux(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropSetMux(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetPeak(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetCPUResources(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetAudioInputCount(PIRP irp, PKSPROPERTY property, PVOID data);
    NTSTATUS PropGetAudioInputInfo(PIRP irp, PKSPROPERTY property, PVOID data);

private:
    // The input a volume request addresses: the combined filter's node id, else the own input.
    ULONG VolumeInput(const KSNODEPROPERTY_AUDIO_CHANNEL* request);
    // One side of one pair in both item lists and the registry ("LeftVolume" / "RightVolume" or
    // "LeftMute" / "RightMute"); `changed` tells whether the value differed.
    NTSTATUS StoreVolume(ULONG input, ULONG pair, ULONG side, LONG value, bool* changed);
    NTSTATUS StoreMute(ULONG input, ULONG pair, ULONG side, LONG value, bool* changed);

    AudioInputItems m_inputs;
    bool m_combined = false;
    ULONG m_ownInput = 0;
};
