// A physical stream for the test sources' tests, wired as the physical streams wire them: its
// StartTestStream and StopTestStream start and stop the bars and tone generator or, with an AVI
// file that passed its check, the AVI source; its FillBackupFrame renders colour bars into a video
// host frame laid at the stream's picture size, or the test tone into an audio host frame; its
// InitBackupFrameGeneratorValues makes a new colour-bar generator or clears the tone's phases.
#pragma once
#include "FakePhysicalStream.h"

#include "avitestfile.h"
#include "avitestsource.h"
#include "colorbargenerator.h"
#include "testsignalgenerator.h"
#include "testtone.h"

#include <atomic>
#include <memory>
#include <string>

namespace streamtest {

class TestSourceStream : public FakePhysicalStream {
public:
    struct TestOptions {
        LogicalStreamType type = LogicalStreamType::Video;
        LONG width = 64; // the picture the bars are drawn at
        LONG height = 8;
        bool animate = false;
        ULONG bufferLength = 64 * 8 * 2;
        ULONG interval = 333'667;
        ULONG step = 3'003'003;
        std::u16string aviName; // "VideoAviFileName"; empty: bars
        ULONG leftTone = 1;     // the loss-of-signal words 6 and 7
        ULONG rightTone = 2;
    };

    TestSourceStream(StreamDeviceServices* services, StreamProcessorQueue* queue, const TestOptions& options);
    ~TestSourceStream() override;

    NTSTATUS AllocateHostFrame(ULONG index) override;
    NTSTATUS StartTestStream() override;
    void StopTestStream() override;
    void InitBackupFrameGeneratorValues() override;
    void FillBackupFrame(FrameWorkItem* entry) override;

    bool IsAviMode() const { return m_file.IsAviMode(); }
    AviTestFile& File() { return m_file; }
    TestSignalGenerator& Generator() { return m_generator; }
    AviTestSource& Avi() { return m_avi; }
    // Takes every free host frame (a test's empty free ring); GiveBack returns them.
    void TakeAllFreeHostFrames();
    void GiveBack();
    std::atomic<int> fills{0};

private:
    static Options BaseOptions(const TestOptions& options);

    TestOptions m_testOptions;
    AviTestFile m_file;
    TestSignalGenerator m_generator;
    AviTestSource m_avi;
    std::unique_ptr<ColorBarGenerator> m_bars;
    TestTone m_tone;
    std::vector<FrameWorkItem*> m_taken;
};

} // namespace streamtest
