// AudioCaptureFilter: the filter of the board's audio inputs, one per input or one for all of them
// (the layout the device chose at add). It loads its own copy of the audio inputs at create and
// answers the audio, pin, component and private audio sets through BasicAudioFilter.
#pragma once
#include "basicaudiofilter.h"
#include "streamfilter.h"

class AudioCaptureFilter : public BasicAudioFilter, public StreamFilter {
public:
    ~AudioCaptureFilter() override;

    // Under the filter's control mutex, then the device mutex.
    NTSTATUS OnSetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    NTSTATUS OnGetProperty(PIRP irp, PKSPROPERTY property, PVOID data) override;
    // The type of that audio input (the last for an index beyond it; 0 without inputs).
    ULONG GetInputType(ULONG index) override;
    ULONG TranslateInputType(ULONG inputType) override;
    ULONG GetInputCount() override;
    // Both forms: the filter's own current audio input.
    ULONG GetCurrentInput(ULONG deviceNumber, PEPROCESS owningProcess) override;
    ULONG GetCurrentInput(ULONG deviceNumber) override;
    // Every channel pair's levels and mutes, and the active input, into the board's key.
    NTSTATUS SaveToRegistry() override;
    // STATUS_DEVICE_NOT_READY before the board started; takes an instance id and loads the inputs.
    NTSTATUS OnCreate(PIRP irp) override;
    // Gives the instance id back.
    NTSTATUS OnClose(PIRP irp) override;

    // ---- StreamFilter: what the pin's audio stream reads ------------------------------------------
    // The 525-line standard: the audio stream's timing does not depend on it.
    ULONG GetDecoderSignalType() override { return 1; }
    ULONG GetCurrentInputType() override { return GetInputType(GetCurrentAudioInput()); }
    ULONG GetCurrentInputIndex() override { return GetCurrentAudioInput(); }
};
