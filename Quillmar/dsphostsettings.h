// DspHostSettings: the driver's settings the DSP host port works with, handed to the
// TidewellProtocolManager when it is initialised: whether a board is there at all, whether a
// running DSP is reset at start, the twelve external-memory-interface (EMIF) register values and
// the transfer sizes and EDMA priorities of the performance command.
#pragma once
#include "km/types.h"

class Driver;

struct DspHostSettings {
    bool hardwareInstalled = false;
    bool resetDspOnStartup = false;

    // The EMIF registers, as SetupEmif programs them.
    ULONG emifGblctl = 0;
    ULONG emifCectl[4] = {};
    ULONG emifSdtim = 0;
    ULONG emifSdext = 0;
    ULONG emifCesec[4] = {};
    ULONG emifSdctl = 0;

    // The performance command's words.
    ULONG pciSDXferSize = 0;
    ULONG pciHD720XferSize = 0;
    ULONG pciHDOtherXferSize = 0;
    ULONG edmaVideoPriority = 0;
    ULONG edmaAudioPriority = 0;
    ULONG edmaPciPriority = 0;
    ULONG edmaCpuPriority = 0;
    ULONG hd1080HalfScale = 0;

    // The values the driver loaded from its "Parameters" key.
    static DspHostSettings FromDriver(const Driver& driver);
};
