// VbiSeparatorStream: what the VBI separator needs of the capture stream it runs in: the current
// input's input-detect record, and the input-state path through which it asks for a restart of
// the stream when the frames lose their alignment. The logical stream implements it with its
// physical streams; tests record the calls.
#pragma once
#include "km/types.h"

// The input-detect record (the 580-byte record of the input-detect property).
inline constexpr ULONG kInputDetectRecordBytes = 580;
inline constexpr ULONG kInputDetectStateOffset = 37;
// The state that makes the stream control thread stop and restart the DSP stream.
inline constexpr UCHAR kInputDetectStateRestart = 3;

class VbiSeparatorStream {
public:
    virtual ~VbiSeparatorStream() = default;
    // Copies the current input's record into `record`; false when the stream has none.
    virtual bool GetCurrentInputDetectRecord(UCHAR record[kInputDetectRecordBytes]) = 0;
    // Queues an input-state change for the stream control thread (the record is copied).
    virtual void ProcessInputStateChanged(const UCHAR record[kInputDetectRecordBytes]) = 0;
};
