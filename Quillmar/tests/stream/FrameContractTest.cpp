// The frame and tree headers as the steps and the stream engine use them: every header compiles on
// its own and the records the engine shares keep their agreed contents.
#include "algorithm.h"
#include "audioframe.h"
#include "frame.h"
#include "frameprocessedsink.h"
#include "frameprocessingsource.h"
#include "planework.h"
#include "streamingpininterface.h"
#include "videoframe.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

static_assert(std::is_base_of_v<Frame, VideoFrame> && std::is_base_of_v<Frame, AudioFrame>);
static_assert(std::is_base_of_v<Algorithm, FrameProcessingSource> &&
              std::is_base_of_v<Algorithm, FrameProcessedSink>);
static_assert(kAlgorithmIdCount == kAlgorithmIdEnd + 1);
static_assert(kFrameFlagVbiField0 == 16 && kFrameFlagVbiField1 == 8);

TEST(FrameContractTest, FlagValuesClearedOnReturnAreGeneratedAndBackup)
{
    EXPECT_EQ(kFrameFlagsClearedOnReturn, 0x5u);
    EXPECT_EQ(kFrameFlagsClearedOnReturn & kFrameFlagVbiField1, 0u);
}

} // namespace
