// The AVI test source on a logical stream: the pictures of UYVY, YUY2, I420 and bottom-up and
// top-down RGB files delivered in file order and looping, laid at the file's size as one field
// with flag 1 and stamped with the stream time; the drop entry with an empty free ring; and the
// stop when the file fails under it or the stream never runs.
#include "AviFileWriter.h"
#include "TestSourceFixture.h"

#include "standin/control.h"

#include <cstring>
#include <filesystem>

namespace streamtest {
namespace {

class AviTestSourceTest : public TestSourceFixture {
protected:
    std::u16string Put(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::filesystem::create_directories(root_ / "C" / "avi");
        WriteFileBytes((root_ / "C" / "avi" / name).string(), bytes);
        return u"C:\\avi\\" + std::u16string(name.begin(), name.end());
    }
    std::filesystem::path HostPath(const std::string& name) const { return root_ / "C" / "avi" / name; }

    static TestSourceStream::TestOptions AviOptions(const std::u16string& name, ULONG bufferLength)
    {
        TestSourceStream::TestOptions options;
        options.aviName = name;
        options.bufferLength = bufferLength;
        return options;
    }

    // The Y plane of a delivery (rows of the frame's row width) without the row padding.
    static std::vector<UCHAR> LumaOf(const RecordingSink::Delivery& d, int width, int height)
    {
        const size_t stride = (size_t(width) + 15) & ~size_t(15);
        std::vector<UCHAR> luma;
        for (int row = 0; row < height; ++row)
            luma.insert(luma.end(), d.bytes.begin() + row * stride, d.bytes.begin() + row * stride + width);
        return luma;
    }
    static std::vector<UCHAR> PatternLuma(int n, int width, int height)
    {
        std::vector<UCHAR> luma;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                luma.push_back(PatternY(n, x, y));
        return luma;
    }
};

TEST_F(AviTestSourceTest, AUyvyFilePlaysItsFramesInOrderAndLoops)
{
    AviWriterOptions writer;
    writer.width = 720;
    writer.height = 487;
    writer.compression = FourCC("UYVY");
    std::vector<AviFrameBytes> frames;
    for (int n = 0; n < 4; ++n)
        frames.push_back(PackedFrame(720, 487, n, true));
    const auto name = Put("uyvy.avi", BuildAviFile(writer, frames));
    auto stream = MakeStream(AviOptions(name, 720 * 487 * 2));
    ASSERT_TRUE(stream->IsAviMode());
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFramesQueued() >= 6; }));
    ToPauseAndSettle(stream.get());
    EXPECT_FALSE(stream->Avi().IsRunning());
    EXPECT_EQ(stream->Generator().GetRounds(), 0u); // no bars in AVI mode

    const auto& deliveries = sink.Deliveries();
    ASSERT_GE(deliveries.size(), 6u);
    for (size_t i = 0; i < deliveries.size(); ++i) {
        const auto& d = deliveries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(d.width, 720);
        EXPECT_EQ(d.height, 487);
        EXPECT_EQ(d.flags & 1u, 1u);
        EXPECT_EQ(d.activeSize[0].width, 720);
        EXPECT_EQ(d.activeSize[0].height, 487);
        EXPECT_EQ(d.activeSize[1].height, 0);
        EXPECT_EQ(d.vbiSize[0].height, 0);
        EXPECT_EQ(d.frameTime, LONGLONG(i) * 333'667);
        EXPECT_EQ(d.frameInterval, 333'667u);
        ASSERT_EQ(LumaOf(d, 720, 487), PatternLuma(int(i % 4), 720, 487));
        // Chroma of the file's pairs.
        EXPECT_EQ(d.bytes[720 * 487], 100 + i % 4);
        EXPECT_EQ(d.bytes[720 * 487 + 360 * 487], 150 - i % 4);
    }
    EXPECT_EQ(stream->GetStreamTime(), deliveries.size() * 333'667u);
    EXPECT_EQ(stream->Avi().GetReadFailures(), 0u);
    EXPECT_EQ(DebugLinesWith("Terminating the AVI frame generator thread."), 1u);
    EXPECT_EQ(DebugLinesWith("Terminating the AVI file processor thread."), 1u);
    // A drop keeps its picture for the next round and the stream time where it was: the checks above
    // hold whether or not the machine's load made the source drop.
    ExpectOnlyCountedDrops(stream->Avi().GetFramesDropped(), u"VIDEO");
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(AviTestSourceTest, Yuy2AndI420FilesPlayTheirLuma)
{
    struct Case {
        const char* file;
        const char* code;
        uint16_t bits;
    };
    for (const Case& c : {Case{"yuy2.avi", "YUY2", 16}, Case{"i420.avi", "I420", 12}}) {
        SCOPED_TRACE(c.file);
        standin::DebugOutputClear();
        AviWriterOptions writer;
        writer.width = 104;
        writer.height = 60;
        writer.compression = FourCC(c.code);
        writer.bitCount = c.bits;
        std::vector<AviFrameBytes> frames;
        for (int n = 0; n < 3; ++n)
            frames.push_back(std::string(c.code) == "I420" ? I420Frame(104, 60, n) : PackedFrame(104, 60, n, false));
        const auto name = Put(c.file, BuildAviFile(writer, frames));
        // Host buffers exactly as large as the 4:2:2 picture at its stride.
        auto stream = MakeStream(AviOptions(name, 112 * 60 * 2));
        ASSERT_TRUE(stream->IsAviMode());
        RecordingSink sink;
        Attach(stream.get(), &sink);
        ToRun(stream.get());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFramesQueued() >= 4; }));
        ToPauseAndSettle(stream.get());
        ASSERT_GE(sink.Count(), 4u);
        for (size_t i = 0; i < sink.Count(); ++i) {
            EXPECT_EQ(sink.Deliveries()[i].width, 104);
            ASSERT_EQ(LumaOf(sink.Deliveries()[i], 104, 60), PatternLuma(int(i % 3), 104, 60)) << i;
        }
        EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
    }
}

TEST_F(AviTestSourceTest, RgbPicturesArriveUprightWithRedAtTheTop)
{
    const uint8_t red[3] = {255, 0, 0};
    const uint8_t blue[3] = {0, 0, 255};
    for (const int32_t height : {16, -16}) {
        SCOPED_TRACE(height);
        AviWriterOptions writer;
        writer.width = 32;
        writer.height = height;
        writer.bitCount = 24;
        writer.dibChunks = true;
        AviFrameBytes frame = Rgb24Frame(32, 16, red, blue);
        if (height < 0) {
            // Top-down: the stored rows in picture order.
            const size_t rowBytes = 96;
            AviFrameBytes flipped(frame.size());
            for (int r = 0; r < 16; ++r)
                std::memcpy(flipped.data() + r * rowBytes, frame.data() + (15 - r) * rowBytes, rowBytes);
            frame = flipped;
        }
        const auto name = Put("rgb" + std::to_string(height < 0) + ".avi", BuildAviFile(writer, {frame}));
        auto stream = MakeStream(AviOptions(name, 32 * 16 * 2));
        ASSERT_TRUE(stream->IsAviMode());
        RecordingSink sink;
        Attach(stream.get(), &sink);
        ToRun(stream.get());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFramesQueued() >= 2; }));
        ToPauseAndSettle(stream.get());
        ASSERT_GE(sink.Count(), 2u);
        for (size_t i = 0; i < sink.Count(); ++i) {
            const auto& d = sink.Deliveries()[i];
            const UCHAR* cb = d.bytes.data() + 32 * 16;
            const UCHAR* cr = cb + 16 * 16;
            EXPECT_GT(cr[0], 200) << "row 0 is red";
            EXPECT_LT(cb[0], 110);
            EXPECT_GT(cb[15 * 16], 200) << "the last row is blue";
            EXPECT_LT(cr[15 * 16], 130);
        }
        EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
    }
}

TEST_F(AviTestSourceTest, WithTheFreeRingEmptyTheGeneratorLogsDropsAndKeepsThePictures)
{
    AviWriterOptions writer;
    writer.compression = FourCC("UYVY");
    const auto name = Put("drop.avi", BuildAviFile(writer, {PackedFrame(16, 8, 0, true), PackedFrame(16, 8, 1, true)}));
    auto options = AviOptions(name, 16 * 8 * 2);
    auto stream = MakeStream(options);
    ASSERT_TRUE(stream->IsAviMode());
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    stream->TakeAllFreeHostFrames();
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFramesDropped() >= 3; }));
    // The file processor filled what it could and waits: no picture was lost to the drops.
    stream->GiveBack();
    const ULONG queuedBefore = stream->Avi().GetFramesQueued();
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFramesQueued() >= queuedBefore + 3; }));
    ToPauseAndSettle(stream.get());
    ExpectOnlyCountedDrops(stream->Avi().GetFramesDropped(), u"VIDEO");
    // File order whatever was dropped: 0, 1, 0, 1, ...
    for (size_t i = 0; i < sink.Count(); ++i)
        ASSERT_EQ(LumaOf(sink.Deliveries()[i], 16, 8), PatternLuma(int(i % 2), 16, 8)) << i;
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(AviTestSourceTest, StoppingReturnsWhenEveryReopenFailsOrTheFileWasCutShort)
{
    AviWriterOptions writer;
    writer.compression = FourCC("UYVY");
    std::vector<AviFrameBytes> frames;
    for (int n = 0; n < 3; ++n)
        frames.push_back(PackedFrame(16, 8, n, true));
    const auto name = Put("failing.avi", BuildAviFile(writer, frames));

    // Every open fails from the start of play.
    {
        auto stream = MakeStream(AviOptions(name, 16 * 8 * 2));
        ASSERT_TRUE(stream->IsAviMode());
        stream->File().CloseFile();
        standin::InjectOpenFailure(u"*failing.avi", STATUS_ACCESS_DENIED, standin::kEveryOpen);
        RecordingSink sink;
        Attach(stream.get(), &sink);
        ToRun(stream.get());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetReadFailures() >= 3; }));
        ToPauseAndSettle(stream.get());
        EXPECT_EQ(sink.Count(), 0u);
        EXPECT_FALSE(stream->Avi().IsRunning());
        standin::ClearFileFailures();
        EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
    }
    // Cut inside the second frame after the map: frame 0 plays, the others fail and are retried.
    {
        auto stream = MakeStream(AviOptions(name, 16 * 8 * 2));
        ASSERT_TRUE(stream->IsAviMode());
        stream->File().CloseFile();
        std::filesystem::resize_file(HostPath("failing.avi"), stream->File().GetFrameOffset(1) + 4);
        RecordingSink sink;
        Attach(stream.get(), &sink);
        ToRun(stream.get());
        ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetReadFailures() >= 3; }));
        // Every record is back in a ring: none was lost to the failed reads.
        EXPECT_TRUE(tracetest::WaitUntil([&] {
            return stream->Avi().GetEmptyCount() + stream->Avi().GetFilledCount() == AviTestSource::kAviBufferCount;
        }));
        ToPauseAndSettle(stream.get());
        ASSERT_EQ(sink.Count(), 1u);
        EXPECT_EQ(LumaOf(sink.Deliveries()[0], 16, 8), PatternLuma(0, 16, 8));
        EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
    }
}

TEST_F(AviTestSourceTest, AFileThatFailsItsCheckLeavesTheTestInputOnColourBars)
{
    AviWriterOptions writer;
    writer.compression = FourCC("UYVY");
    auto bytes = BuildAviFile(writer, {PackedFrame(16, 8, 0, true)});
    std::memcpy(bytes.data(), "RIFX", 4);
    const auto name = Put("rifx.avi", bytes);
    TestSourceStream::TestOptions options = AviOptions(name, 64 * 8 * 2);
    auto stream = MakeStream(options);
    EXPECT_FALSE(stream->IsAviMode());
    ASSERT_EQ(standin::EventLogCount(), 1u);
    EXPECT_EQ(standin::EventLogEntries()[0].messageId, 0xC0071025u);
    RecordingSink sink;
    Attach(stream.get(), &sink);
    ToRun(stream.get());
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Generator().GetFramesQueued() >= 2; }));
    ToPauseAndSettle(stream.get());
    ASSERT_GE(sink.Count(), 2u);
    EXPECT_EQ(sink.Deliveries()[0].width, 64);
    EXPECT_EQ(sink.Deliveries()[0].bytes[0], 235);
    EXPECT_EQ(sink.Deliveries()[0].bytes[63], 16);
    EXPECT_EQ(stream->Avi().GetFramesQueued(), 0u);
    EXPECT_EQ(stream->RemoveFrameSink(&sink), STATUS_SUCCESS);
}

TEST_F(AviTestSourceTest, StoppingReturnsWhenTheStreamNeverReachedRun)
{
    AviWriterOptions writer;
    writer.compression = FourCC("UYVY");
    const auto name = Put("idle.avi", BuildAviFile(writer, {PackedFrame(16, 8, 0, true)}));
    auto stream = MakeStream(AviOptions(name, 16 * 8 * 2));
    ASSERT_TRUE(stream->IsAviMode());
    stream->SetState(kStreamStatePause);
    ASSERT_EQ(stream->Avi().Start(), STATUS_SUCCESS);
    // The processor fills all ten records from the one frame, then waits for read-more.
    ASSERT_TRUE(tracetest::WaitUntil([&] { return stream->Avi().GetFilledCount() == AviTestSource::kAviBufferCount; }));
    stream->Avi().Stop();
    EXPECT_FALSE(stream->Avi().IsRunning());
    EXPECT_EQ(stream->Avi().GetFramesQueued(), 0u);
    EXPECT_EQ(stream->Avi().GetFramesRead(), AviTestSource::kAviBufferCount);
    // And again: a second start makes its buffers anew.
    ASSERT_EQ(stream->Avi().Start(), STATUS_SUCCESS);
    stream->Avi().Stop();
    EXPECT_EQ(DebugLinesWith("Terminating the AVI file processor thread."), 2u);
    EXPECT_EQ(DebugLinesWith("Terminating the AVI frame generator thread."), 2u);
}

} // namespace
} // namespace streamtest
