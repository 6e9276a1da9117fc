// AudioInputPin: the audio filter's line-in bridge pin. It carries no stream: every operation
// answers success with nothing done.
#pragma once
#include "basicpin.h"

class AudioInputPin : public BasicPin {
public:
    using BasicPin::BasicPin;
    ~AudioInputPin() override;
    LONGLONG GetSampleDuration() override { return 0; }
    NTSTATUS BuildAlgorithmChain(AlgorithmList*) override { return 0; }
    NTSTATUS OnSetDeviceState(KSSTATE, KSSTATE) override { return 0; }
};
