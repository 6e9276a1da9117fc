// A physical stream for the stream-engine tests: small video frames over real DMA buffers of the
// device (or host buffers without the DSP), a descriptor the test chooses, and counters in place of
// the DSP- and format-specific operations. The stream control and generator operations only set
// the stream's flags (no threads): a test drives the generator state directly.
#pragma once
#include "commandhandler.h"
#include "logicalstream.h"

#include <atomic>

namespace streamtest {

class FakePhysicalStream : public LogicalStream {
public:
    struct Options {
        LogicalStreamType type = LogicalStreamType::Video;
        bool usesDsp = true;
        bool allocateFrames = true; // allocate the frames at all
        bool backupFrames = true;   // allocate the generator's host frames
        ULONG bufferLength = 4096;
        LONG width = 16;            // frames laid over the buffers
        LONG height = 8;
        ULONG step = 3'003'003;     // 29.97 frames a second at 90 MHz
        ULONG interval = 333'667;
        NTSTATUS testStreamStatus = STATUS_SUCCESS;
        DspStreamSettings settings = DefaultSettings();
    };
    // A video descriptor of a 16 x 8 progressive picture (256 bytes of data), live input.
    static DspStreamSettings DefaultSettings();

    FakePhysicalStream(StreamDeviceServices* services, StreamProcessorQueue* queue, const Options& options);
    FakePhysicalStream(StreamDeviceServices* services, StreamProcessorQueue* queue)
        : FakePhysicalStream(services, queue, Options{})
    {
    }
    ~FakePhysicalStream() override;

    bool ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler) override;
    bool DoesDSPHaveSignalLock() override { return true; }
    NTSTATUS AllocateDSPFrame(ULONG index) override;
    NTSTATUS AllocateHostFrame(ULONG index) override;
    bool LoadStreamSettings(const UCHAR*) override { return false; }
    bool UsesDsp() override { return m_options.usesDsp; }
    NTSTATUS StartTestStream() override;
    void StopTestStream() override { ++testStops; }
    void InitBackupFrameGeneratorValues() override {}
    void FillBackupFrame(FrameWorkItem*) override {}
    void GetStreamSettings(DspStreamSettings* settings) override { *settings = m_options.settings; }

    void StartStreamControlThread() override { ++controlStarts; }
    void TerminateStreamControlThread() override { ++controlTerminates; }
    // Generator running on, processing off (as the generator's start handler does).
    void StartBackupFrameGenerator() override;
    // Only when it runs: generator off, processing on.
    void StopBackupFrameGenerator() override;
    void TerminateBackupFrameGenerator() override { ++generatorTerminates; }
    void ManuallyStopStream() override;
    using LogicalStream::SetState;
    NTSTATUS ManuallyStartStream() override { return STATUS_NOT_IMPLEMENTED; }
    void ProcessInputStateChanged(const UCHAR*) override { ++inputStateChanges; }

    // Test controls over the protected state.
    void SetManualTransition(bool on);
    void SetProcessingEnabled(bool on);
    void SetGeneratorRunning(bool on);
    // Without a board to answer the create: the stream behaves as if it had its DSP stream.
    void SetDspStreamCreated(bool on);
    // As the start of a run does: the next stamp is the run's first.
    void SetFirstTimeStampPending();
    using LogicalStream::SetTiming;

    std::atomic<int> reconditions{0};
    std::atomic<int> controlStarts{0};
    std::atomic<int> controlTerminates{0};
    std::atomic<int> generatorStarts{0};
    std::atomic<int> generatorStops{0};
    std::atomic<int> generatorTerminates{0};
    std::atomic<int> manualStops{0};
    std::atomic<int> testStarts{0};
    std::atomic<int> testStops{0};
    std::atomic<int> inputStateChanges{0};
    // The time stamp of the last recondition (response +32).
    std::atomic<ULONG> lastTimeStamp{0};

private:
    Options m_options;
};

} // namespace streamtest
