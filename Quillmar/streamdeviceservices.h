// StreamDeviceServices: what the stream engine (logical streams, their processors and queues) asks
// of the board's Device: DSP command records and the kill of a stream's outstanding ones, the
// table of live streams, the DSP's time-stamp clock rate, the two processing queues, the current
// video input of a filter's board and the driver-wide object. Device implements it; the stream
// tests put a double over a real Device in its place.
#pragma once
#include "km/types.h"
#include "logicalstreamtable.h"

class CommandHandler;
class Driver;
class StreamProcessorQueue;

class StreamDeviceServices {
public:
    // The rate of the DSP's time stamps: 90 MHz on this board.
    static constexpr ULONG kDspClockRate = 90'000'000;

    // A readied record from the device's pool; null when memory is short.
    virtual CommandHandler* AllocateCommandHandler() = 0;
    // Back to the pool; null is ignored.
    virtual void FreeCommandHandler(CommandHandler* handler) = 0;
    // Sets the kill flag of every outstanding record that queued a buffer of `stream`.
    virtual void KillStreamsPendingCommands(LogicalStreamHandle stream) = 0;
    // The device's table of live logical streams.
    virtual LogicalStreamTable* GetLogicalStreamTable() = 0;
    // Ticks per second of the DSP time stamps.
    virtual ULONG GetDspClockRate() = 0;
    // The queues whose worker threads run the device's video and audio frames; null before the
    // device has made them.
    virtual StreamProcessorQueue* GetVideoStreamProcessorQueue() = 0;
    virtual StreamProcessorQueue* GetAudioStreamProcessorQueue() = 0;
    // The current video input of the crossbar filter of board `deviceNumber` (0 when none).
    virtual ULONG GetCurrentVideoInput(ULONG deviceNumber) = 0;
    virtual Driver* GetDriver() const = 0;

protected:
    ~StreamDeviceServices() = default;
};
