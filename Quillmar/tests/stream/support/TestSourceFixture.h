// The stream engine fixture for the test sources: a faster clock (the sources pace themselves by
// it), a recording sink on a stream's tree, and the walk of a stream up to Run and back.
#pragma once
#include "LogicalStreamFixture.h"
#include "RecordingSink.h"
#include "TestSourceStream.h"

#include "algorithmlist.h"
#include "platform/Clock.h"
#include "standin/control.h"

#include <memory>
#include <string>
#include <vector>

namespace streamtest {

class TestSourceFixture : public LogicalStreamFixture {
protected:
    static constexpr double kClockSpeed = 8.0;

    void SetUp() override
    {
        LogicalStreamFixture::SetUp();
        platform::Clock::SetSpeedFactor(kClockSpeed);
    }
    void TearDown() override
    {
        platform::Clock::SetSpeedFactor(1.0);
        lists_.clear();
        LogicalStreamFixture::TearDown();
    }

    std::unique_ptr<TestSourceStream> MakeStream(const TestSourceStream::TestOptions& options)
    {
        StreamProcessorQueue* queue = options.type == LogicalStreamType::Audio
                                          ? services_->GetAudioStreamProcessorQueue()
                                          : services_->GetVideoStreamProcessorQueue();
        auto stream = std::make_unique<TestSourceStream>(services_.get(), queue, options);
        EXPECT_EQ(stream->GetConstructionStatus(), STATUS_SUCCESS);
        return stream;
    }

    void Attach(TestSourceStream* stream, RecordingSink* sink)
    {
        lists_.push_back(std::make_unique<AlgorithmList>());
        ASSERT_TRUE(lists_.back()->Append(sink));
        ASSERT_EQ(stream->AddAlgorithmChain(lists_.back().get()), STATUS_SUCCESS);
    }

    static void ToRun(TestSourceStream* stream)
    {
        ASSERT_EQ(stream->StreamFromStopToAcquire(), STATUS_SUCCESS);
        ASSERT_EQ(stream->StreamFromAcquireToPause(), STATUS_SUCCESS);
        ASSERT_EQ(stream->StreamFromPauseToRun(), STATUS_SUCCESS);
    }

    // Back to Pause (the test stream stopped), then every host frame back in the free ring: the
    // sink is done with the frames it got and may be read.
    static void ToPauseAndSettle(TestSourceStream* stream)
    {
        ASSERT_EQ(stream->StreamFromRunToPause(), STATUS_SUCCESS);
        ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->GetFreeRingCount() == stream->GetTableSize(); }));
    }

    // The event log holds the source's drops and nothing else: one "Frame Dropped" entry for the
    // stream's pin 0 for each drop the source counted. A source paced by the clock drops when the
    // frames it queued are not back in the free ring by its next due time, as on a loaded machine.
    static void ExpectOnlyCountedDrops(ULONG dropped, const std::u16string& streamName)
    {
        const auto entries = standin::EventLogEntries();
        EXPECT_EQ(entries.size(), dropped);
        for (const auto& entry : entries) {
            EXPECT_EQ(entry.messageId, 0xC007100Au);
            ASSERT_EQ(entry.inserts.size(), 2u);
            EXPECT_EQ(entry.inserts[0], streamName);
            EXPECT_EQ(entry.inserts[1], u"0");
        }
    }

    std::vector<std::unique_ptr<AlgorithmList>> lists_;
};

} // namespace streamtest
