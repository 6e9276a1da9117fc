// A kernel-streaming minidriver with one filter of one capture pin, for the stream engine's tests:
// the pin is a real framework pin whose client frames the sink under test fills. The pin takes the
// stream-header size it is told (112 for video and audio, 136 for VBI), does nothing in its Process
// (the sink under test fills its frames), and records its state steps. Tests reach it from user mode
// through FrameClient, and the sink reaches it through FakeStreamingPin.
#pragma once
#include "km/kernel.h"
#include "shared/ksstreamrecords.h"

#include <vector>

namespace streamtest {

// The pin's one data range and the format a client connects with: 64 bytes, video, UYVY.
const KSDATARANGE& StreamTestRange();

// Stream-header size the next pin takes (KS_VIDEO_STREAM_HEADER_SIZE by default).
void SetNextPinHeaderSize(ULONG size);
// The pin open now; null when none.
PKSPIN StreamTestOpenPin();
// The state steps the pin was asked for, in order (to).
std::vector<KSSTATE> StreamTestPinSteps();
void ResetStreamTestFilter();

// The driver object with the minidriver's entry done; UnloadStreamTestFilter ends it.
PDRIVER_OBJECT LoadStreamTestFilter();
void UnloadStreamTestFilter(PDRIVER_OBJECT driver);

} // namespace streamtest
