// TestTone: the tone tables and the sample images of the audio test source.
#include "testtone.h"

#include <cstring>

// trunc(100 x sin(2 pi i / 256)).
const SHORT TestTone::s_table8[kTableEntries] = {
    0, 2, 4, 7, 9, 12, 14, 17, 19, 21, 24, 26, 29, 31, 33, 35,
    38, 40, 42, 44, 47, 49, 51, 53, 55, 57, 59, 61, 63, 65, 67, 68,
    70, 72, 74, 75, 77, 78, 80, 81, 83, 84, 85, 87, 88, 89, 90, 91,
    92, 93, 94, 94, 95, 96, 97, 97, 98, 98, 98, 99, 99, 99, 99, 99,
    100, 99, 99, 99, 99, 99, 98, 98, 98, 97, 97, 96, 95, 94, 94, 93,
    92, 91, 90, 89, 88, 87, 85, 84, 83, 81, 80, 78, 77, 75, 74, 72,
    70, 68, 67, 65, 63, 61, 59, 57, 55, 53, 51, 49, 47, 44, 42, 40,
    38, 35, 33, 31, 29, 26, 24, 21, 19, 17, 14, 12, 9, 7, 4, 2,
    0, -2, -4, -7, -9, -12, -14, -17, -19, -21, -24, -26, -29, -31, -33, -35,
    -38, -40, -42, -44, -47, -49, -51, -53, -55, -57, -59, -61, -63, -65, -67, -68,
    -70, -72, -74, -75, -77, -78, -80, -81, -83, -84, -85, -87, -88, -89, -90, -91,
    -92, -93, -94, -94, -95, -96, -97, -97, -98, -98, -98, -99, -99, -99, -99, -99,
    -100, -99, -99, -99, -99, -99, -98, -98, -98, -97, -97, -96, -95, -94, -94, -93,
    -92, -91, -90, -89, -88, -87, -85, -84, -83, -81, -80, -78, -77, -75, -74, -72,
    -70, -68, -67, -65, -63, -61, -59, -57, -55, -53, -51, -49, -47, -44, -42, -40,
    -38, -35, -33, -31, -29, -26, -24, -21, -19, -17, -14, -12, -9, -7, -4, -2,};

// 256 x the 8-bit entry.
const SHORT TestTone::s_table16[kTableEntries] = {
    0, 512, 1024, 1792, 2304, 3072, 3584, 4352, 4864, 5376, 6144, 6656, 7424, 7936, 8448, 8960,
    9728, 10240, 10752, 11264, 12032, 12544, 13056, 13568, 14080, 14592, 15104, 15616, 16128, 16640, 17152, 17408,
    17920, 18432, 18944, 19200, 19712, 19968, 20480, 20736, 21248, 21504, 21760, 22272, 22528, 22784, 23040, 23296,
    23552, 23808, 24064, 24064, 24320, 24576, 24832, 24832, 25088, 25088, 25088, 25344, 25344, 25344, 25344, 25344,
    25600, 25344, 25344, 25344, 25344, 25344, 25088, 25088, 25088, 24832, 24832, 24576, 24320, 24064, 24064, 23808,
    23552, 23296, 23040, 22784, 22528, 22272, 21760, 21504, 21248, 20736, 20480, 19968, 19712, 19200, 18944, 18432,
    17920, 17408, 17152, 16640, 16128, 15616, 15104, 14592, 14080, 13568, 13056, 12544, 12032, 11264, 10752, 10240,
    9728, 8960, 8448, 7936, 7424, 6656, 6144, 5376, 4864, 4352, 3584, 3072, 2304, 1792, 1024, 512,
    0, -512, -1024, -1792, -2304, -3072, -3584, -4352, -4864, -5376, -6144, -6656, -7424, -7936, -8448, -8960,
    -9728, -10240, -10752, -11264, -12032, -12544, -13056, -13568, -14080, -14592, -15104, -15616, -16128, -16640, -17152, -17408,
    -17920, -18432, -18944, -19200, -19712, -19968, -20480, -20736, -21248, -21504, -21760, -22272, -22528, -22784, -23040, -23296,
    -23552, -23808, -24064, -24064, -24320, -24576, -24832, -24832, -25088, -25088, -25088, -25344, -25344, -25344, -25344, -25344,
    -25600, -25344, -25344, -25344, -25344, -25344, -25088, -25088, -25088, -24832, -24832, -24576, -24320, -24064, -24064, -23808,
    -23552, -23296, -23040, -22784, -22528, -22272, -21760, -21504, -21248, -20736, -20480, -19968, -19712, -19200, -18944, -18432,
    -17920, -17408, -17152, -16640, -16128, -15616, -15104, -14592, -14080, -13568, -13056, -12544, -12032, -11264, -10752, -10240,
    -9728, -8960, -8448, -7936, -7424, -6656, -6144, -5376, -4864, -4352, -3584, -3072, -2304, -1792, -1024, -512,};

TestTone::TestTone()
{
    Reset();
}

void TestTone::Reset()
{
    std::memset(m_phase, 0, sizeof m_phase);
}

ULONG TestTone::StepForSelector(ULONG selector)
{
    if (selector == 0)
        return 0;
    return selector == 1 ? kBaseStep : 3 * kBaseStep;
}

ULONG TestTone::NextEntry(ULONG* phase, ULONG step)
{
    const ULONG entry = (*phase / kBaseStep) % kTableEntries;
    *phase += step;
    if (*phase > kPhaseLimit)
        *phase = 0;
    return entry;
}

void TestTone::Get16BitImage(PUCHAR buffer, ULONG length, ULONG leftSelector, ULONG rightSelector)
{
    if (buffer == nullptr)
        return;
    std::memset(buffer, 0, length);
    const ULONG steps[2] = {StepForSelector(leftSelector), StepForSelector(rightSelector)};
    m_currentStep = steps[0];
    for (ULONG pair = 0; pair < kChannelPairs; ++pair) {
        const ULONG blockStart = pair * kBlockBytes;
        for (ULONG channel = 0; channel < 2; ++channel) {
            if (steps[channel] == 0)
                continue;
            ULONG* phase = &m_phase[2 * pair + channel];
            for (ULONG s = 0; s < kSamplesPerBlock; ++s) {
                const ULONG offset = blockStart + (2 * s + channel) * 4;
                if (offset + 4 > length)
                    break;
                const USHORT entry = static_cast<USHORT>(s_table16[NextEntry(phase, steps[channel])]);
                const ULONG sample = ULONG(entry) << 8;
                std::memcpy(buffer + offset, &sample, sizeof sample);
            }
        }
    }
}

void TestTone::Get8BitImage(PUCHAR buffer, ULONG length)
{
    if (buffer == nullptr)
        return;
    std::memset(buffer, 0, length);
    const ULONG steps[2] = {kBaseStep, 3 * kBaseStep};
    for (ULONG i = 0; i < length; ++i) {
        const ULONG channel = i & 1;
        const LONG entry = s_table8[NextEntry(&m_phase[channel], steps[channel])];
        buffer[i] = static_cast<UCHAR>(static_cast<signed char>(entry * 127 / 100));
    }
}
