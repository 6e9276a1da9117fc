// VideoStream: the physical video stream of a video pin. It knows what the DSP delivers for the
// current input: the timing and geometry of the signal type (the 18-row table of
// VideoStream::TimingFor), the create command's descriptor, the 4,320,000-byte buffers and the
// frames over them, the geometry the DSP reports with each filled buffer, the live input's
// detection record, the test input's colour bars or AVI file, and the backup frames the
// loss-of-signal settings choose.
//
// Geometry and timing change only under the control lock (the stream control thread loads them
// while the response thread, the generators and the queue thread read them).
#pragma once
#include "algorithmlist.h"
#include "avitestfile.h"
#include "avitestsource.h"
#include "colorbargenerator.h"
#include "commandhandler.h"
#include "logicalstream.h"
#include "shared/bitmapfile.h"
#include "testsignalgenerator.h"
#include "vbiseparatorstream.h"

class PhysicalStreamServices;
class StreamFilter;

class VideoStream : public LogicalStream, public VbiSeparatorStream {
public:
    static constexpr ULONG kMaximumQueuedFrames = 9;
    // Room for 1125 lines of 1920 pixels at 2 bytes.
    static constexpr ULONG kBufferLength = 4'320'000;
    static constexpr LONG kMaximumWidth = 1920;
    static constexpr LONG kMaximumLines = 1125;
    static constexpr LONG kBitDepth = 8;
    static constexpr ULONG kInputTypeLive = 0;
    static constexpr ULONG kInputTypeTest = 2;
    // The response's status words of a filled buffer.
    static constexpr ULONG kStatusWordsOffset = 36;

    // One row of the timing table.
    struct Timing {
        ULONG signalType;
        double period;      // seconds a frame
        ULONG interval;     // 100-ns units
        LONG width;
        LONG height;
        USHORT activeLines[2];
        USHORT vblankLines[2];
        USHORT hblankPixels;
        ULONG pixelClock;   // Hz, 0 where none is known
    };
    // The row of `signalType`; any type not in the table (1 included) gives the 720 x 487 row.
    static const Timing& TimingFor(ULONG signalType);
    // The nearest integer (ties to even) to clock x period - 0.5.
    static ULONG StepFor(ULONG clockRate, double period);

    VideoStream(StreamDeviceServices* services, PhysicalStreamServices* board, StreamProcessorQueue* queue,
                StreamFilter* filter, ULONG pinId);
    ~VideoStream() override;

    bool ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler) override;
    // True unless the input is live and the signal type 0.
    bool DoesDSPHaveSignalLock() override;
    NTSTATUS AllocateDSPFrame(ULONG index) override;
    NTSTATUS AllocateHostFrame(ULONG index) override;
    bool LoadStreamSettings(const UCHAR* inputStateRecord) override;
    bool UsesDsp() override;
    NTSTATUS StartTestStream() override;
    void StopTestStream() override;
    void InitBackupFrameGeneratorValues() override;
    void FillBackupFrame(FrameWorkItem* entry) override;
    void GetStreamSettings(DspStreamSettings* settings) override;

    // The VBI separator's view: the current input's detection record from the board, and the
    // stream's own input-state queue.
    VbiSeparatorStream* GetVbiSeparatorStream() override { return this; }
    bool GetCurrentInputDetectRecord(UCHAR record[kInputDetectRecordBytes]) override;
    void ProcessInputStateChanged(const UCHAR* record) override { LogicalStream::ProcessInputStateChanged(record); }

    ULONG GetInputType() const { return m_inputType; }
    ULONG GetSignalType();
    LONG GetWidth();
    LONG GetHeight();
    BITMAPINFOHEADER GetHostFrameDescription();
    bool IsAviMode() const { return m_aviFile.IsAviMode(); }
    ULONG GetPinId() const { return m_pinId; }

private:
    // Input type 0: the live input's record (null: the current input's) into geometry and timing.
    bool LoadLiveVideoSettings(const UCHAR* record);
    // Control lock held: the table row's timing, geometry and descriptor.
    void ApplyTiming(const Timing& timing);
    // Control lock held: the host-frame description of width x height.
    void DescribeHostFrame(LONG width, LONG height);
    void SetDescriptorGeometry(LONG width, LONG height, ULONG pixelClock, USHORT active0, USHORT active1,
                               USHORT activeWidth, USHORT vblank0, USHORT vblank1, USHORT hblank);

    PhysicalStreamServices* m_board;
    StreamFilter* m_filter;
    ULONG m_pinId;
    ULONG m_inputType = kInputTypeLive;
    // Control lock: the signal, geometry, descriptor and host-frame description.
    ULONG m_signalType = 0;
    LONG m_width = 0;
    LONG m_height = 0;
    DspStreamSettings m_descriptor{};
    BITMAPINFOHEADER m_hostFrame{};
    ColorBarGenerator* m_colorBars = nullptr; // the generator thread's
    AlgorithmList m_spareSteps;
    AviTestFile m_aviFile;
    TestSignalGenerator m_testGenerator;
    AviTestSource m_aviSource;
};
