// The test sources' physical stream double.
#include "TestSourceStream.h"

#include "audioframe.h"
#include "videoframe.h"

namespace streamtest {

FakePhysicalStream::Options TestSourceStream::BaseOptions(const TestOptions& options)
{
    Options base;
    base.type = options.type;
    base.usesDsp = false;
    base.bufferLength = options.type == LogicalStreamType::Audio ? TestTone::kImageBytes : options.bufferLength;
    base.width = options.width;
    base.height = options.height;
    base.step = options.step;
    base.interval = options.interval;
    // Allocated by this class, so that its own host frames are made.
    base.allocateFrames = false;
    return base;
}

TestSourceStream::TestSourceStream(StreamDeviceServices* services, StreamProcessorQueue* queue,
                                   const TestOptions& options)
    : FakePhysicalStream(services, queue, BaseOptions(options)), m_testOptions(options), m_generator(this),
      m_avi(this, &m_file)
{
    SetTiming(options.step, options.interval);
    if (!NT_SUCCESS(GetConstructionStatus()))
        return;
    AllocateStreamFrames();
    PrepareBackupFrameGenerator(nullptr);
    if (options.type == LogicalStreamType::Video && !options.aviName.empty())
        m_file.CheckForAviFile(options.aviName.c_str());
}

TestSourceStream::~TestSourceStream()
{
    // The threads end before the base's teardown: its calls no longer reach this class.
    m_generator.Stop();
    m_avi.Stop();
    GiveBack();
}

NTSTATUS TestSourceStream::AllocateHostFrame(ULONG index)
{
    if (m_testOptions.type != LogicalStreamType::Audio)
        return FakePhysicalStream::AllocateHostFrame(index);
    PVOID buffer = AllocateHostBuffer();
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* frame = new AudioFrame();
    frame->SetBuffer(buffer, TestTone::kImageBytes, 32, TestTone::kChannelPairs, TestTone::kSamplesPerBlock);
    SetEntryFrame(index, frame, buffer, 0);
    return STATUS_SUCCESS;
}

NTSTATUS TestSourceStream::StartTestStream()
{
    FakePhysicalStream::StartTestStream();
    return IsAviMode() ? m_avi.Start() : m_generator.Start();
}

void TestSourceStream::StopTestStream()
{
    FakePhysicalStream::StopTestStream();
    if (IsAviMode())
        m_avi.Stop();
    else
        m_generator.Stop();
}

void TestSourceStream::InitBackupFrameGeneratorValues()
{
    if (m_testOptions.type == LogicalStreamType::Audio) {
        m_tone.Reset();
        return;
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = m_testOptions.width;
    header.biHeight = m_testOptions.height;
    header.biPlanes = 1;
    header.biBitCount = 16;
    m_bars.reset(new ColorBarGenerator(header, m_testOptions.animate));
}

void TestSourceStream::FillBackupFrame(FrameWorkItem* entry)
{
    ++fills;
    if (m_testOptions.type == LogicalStreamType::Audio) {
        m_tone.Get16BitImage(static_cast<PUCHAR>(entry->virtualAddress), TestTone::kImageBytes, m_testOptions.leftTone,
                             m_testOptions.rightTone);
        return;
    }
    auto* frame = static_cast<VideoFrame*>(entry->frame);
    frame->Initialize(entry->virtualAddress, GetEntryBufferLength(), m_testOptions.width, m_testOptions.height, 8);
    if (m_bars != nullptr && m_bars->GetImageSize() <= GetEntryBufferLength())
        m_bars->Render(frame->GetFrameData());
}

void TestSourceStream::TakeAllFreeHostFrames()
{
    while (FrameWorkItem* entry = TakeFreeHostEntry())
        m_taken.push_back(entry);
}

void TestSourceStream::GiveBack()
{
    for (FrameWorkItem* entry : m_taken)
        ReturnGeneratorEntry(entry);
    m_taken.clear();
}

} // namespace streamtest
