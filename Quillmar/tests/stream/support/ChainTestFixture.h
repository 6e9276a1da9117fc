// Chains built from settings records and merged into a stream's tree as a pin would merge them:
// the builder's steps, then a sink of the test's at the interval the builder gives (the audio
// sink at its fixed interval). The stream is a fake physical stream without the DSP; the VBI
// separator's stream answers no input record.
#pragma once
#include "FakePhysicalStream.h"
#include "LogicalStreamFixture.h"

#include "algorithmlist.h"
#include "audiochainbuilder.h"
#include "frameprocessedsink.h"
#include "vbiseparatorstream.h"
#include "videochainbuilder.h"

#include <memory>
#include <vector>

namespace streamtest {

class NullSeparatorStream : public VbiSeparatorStream {
public:
    bool GetCurrentInputDetectRecord(UCHAR*) override { return false; }
    void ProcessInputStateChanged(const UCHAR*) override {}
};

// A video pin's settings for a format of the size, bit count and compression given, with a
// neutral proc amp and every option off.
inline VideoChainSettings ChainVideoSettings(ULONG pinId, LONG width, LONG height, USHORT bits, ULONG compression,
                                             LONGLONG frameTime = 333667)
{
    VideoChainSettings settings;
    settings.pinId = pinId;
    KS_VIDEOINFOHEADER info = {};
    info.AvgTimePerFrame = frameTime;
    info.bmiHeader.biSize = sizeof(KS_BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = compression;
    settings.SetVideoInfo(info);
    settings.procAmp.contrast.value = 100;
    settings.procAmp.gamma.value = 100;
    return settings;
}

class ChainTestFixture : public LogicalStreamFixture {
protected:
    virtual bool AudioStream() const { return false; }

    void SetUp() override
    {
        LogicalStreamFixture::SetUp();
        FakePhysicalStream::Options options;
        stream_ = std::make_unique<FakePhysicalStream>(services_.get(),
                                                       AudioStream() ? services_->GetAudioStreamProcessorQueue()
                                                                     : services_->GetVideoStreamProcessorQueue(),
                                                       options);
        ASSERT_EQ(stream_->GetConstructionStatus(), STATUS_SUCCESS);
    }

    void TearDown() override
    {
        stream_.reset(); // the tree goes, the sinks stay the test's
        sinks_.clear();
        LogicalStreamFixture::TearDown();
    }

    FrameProcessedSink* Merge(const VideoChainSettings& settings)
    {
        AlgorithmList list;
        ULONGLONG interval = 0;
        EXPECT_EQ(VideoChainBuilder(settings, &separatorStream_).BuildProcessingSteps(&list, &interval), STATUS_SUCCESS);
        return AddSink(&list, interval);
    }

    FrameProcessedSink* Merge(const AudioChainSettings& settings)
    {
        AlgorithmList list;
        EXPECT_EQ(AudioChainBuilder(settings, stream_.get()).BuildProcessingSteps(&list), STATUS_SUCCESS);
        return AddSink(&list, AudioChainBuilder::kOutputInterval);
    }

    NullSeparatorStream separatorStream_;
    std::vector<std::unique_ptr<FrameProcessedSink>> sinks_;
    std::unique_ptr<FakePhysicalStream> stream_;

private:
    FrameProcessedSink* AddSink(AlgorithmList* list, ULONGLONG interval)
    {
        sinks_.push_back(std::make_unique<FrameProcessedSink>());
        FrameProcessedSink* sink = sinks_.back().get();
        sink->SetInterval(interval);
        EXPECT_TRUE(list->Append(sink));
        EXPECT_EQ(stream_->AddAlgorithmChain(list), STATUS_SUCCESS);
        return sink;
    }
};

} // namespace streamtest
