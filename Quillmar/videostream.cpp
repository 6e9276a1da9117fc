// VideoStream: timing table, construction and destruction, frames over the buffers, the DSP's
// geometry of a filled buffer, the live input's settings, the test input and the backup frames.
#include "videostream.h"

#include "brevicorrecords.h"
#include "driver.h"
#include "km/pool.h"
#include "messages/Talvexon.h"
#include "physicalstreamservices.h"
#include "roundtoint.h"
#include "streamdeviceservices.h"
#include "streamfilter.h"
#include "tracelogger.h"
#include "tracescope.h"
#include "videoframe.h"

#include <cstring>

namespace {

constexpr double k2997 = 0.033366700033366704;
constexpr double k5994 = 0.016683350016683352;
constexpr double k23976 = 0.041701417848206836;

// Signal type, F, interval, width x height, active lines, v-blank lines, h-blank, pixel clock.
const VideoStream::Timing kTimings[] = {
    {0x2, 1.0 / 25, 400000, 720, 576, {288, 288}, {25, 24}, 144, 27000000},
    {0x4, 1.0 / 60, 166666, 1280, 720, {720, 0}, {30, 0}, 370, 74250000},
    {0x8, k5994, 166833, 1280, 720, {720, 0}, {30, 0}, 370, 74176000},
    {0x10, 1.0 / 50, 200000, 1280, 720, {720, 0}, {30, 0}, 700, 0},
    {0x20, 1.0 / 30, 333333, 1280, 720, {720, 0}, {30, 0}, 2020, 0},
    {0x40, k2997, 333667, 1280, 720, {720, 0}, {30, 0}, 2020, 0},
    {0x80, 1.0 / 24, 416666, 1280, 720, {720, 0}, {30, 0}, 797, 0},
    {0x100, k23976, 417014, 1280, 720, {720, 0}, {30, 0}, 797, 0},
    {0x200, 1.0 / 30, 333333, 1920, 1080, {540, 540}, {22, 23}, 280, 0},
    {0x400, k2997, 333667, 1920, 1080, {540, 540}, {22, 23}, 280, 74176000},
    {0x800, 1.0 / 25, 400000, 1920, 1080, {540, 540}, {22, 23}, 720, 74250000},
    {0x1000, 1.0 / 30, 333333, 1920, 1080, {1080, 0}, {45, 0}, 280, 0},
    {0x2000, k2997, 333667, 1920, 1080, {1080, 0}, {45, 0}, 280, 0},
    {0x4000, 1.0 / 25, 400000, 1920, 1080, {1080, 0}, {45, 0}, 720, 0},
    {0x8000, 1.0 / 24, 416666, 1920, 1080, {1080, 0}, {45, 0}, 830, 0},
    {0x10000, k23976, 417014, 1920, 1080, {1080, 0}, {45, 0}, 830, 74176000},
    // 720p25 runs at 25 frames a second: its interval is 1/25 s, not the 720p24 row's.
    {0x20000, 1.0 / 25, 400000, 1280, 720, {720, 0}, {30, 0}, 797, 0},
};
const VideoStream::Timing kDefaultTiming = {0x1, k2997, 333333, 720, 487, {244, 243}, {18, 20}, 138, 27000000};

ULONG Word(const UCHAR* bytes, ULONG offset)
{
    ULONG value;
    memcpy(&value, bytes + offset, sizeof(value));
    return value;
}

// Offsets of the detection record.
constexpr ULONG kRecordState = 37;
constexpr ULONG kRecordSignalType = 38;
constexpr ULONG kRecordActivePixels = 42;
constexpr ULONG kRecordBlankingPixels = 46;
constexpr ULONG kRecordActiveLines1 = 50;
constexpr ULONG kRecordActiveLines2 = 54;
constexpr ULONG kRecordBlankingLines1 = 58;
constexpr ULONG kRecordBlankingLines2 = 62;
constexpr ULONG kRecordFrameRate = 66;
constexpr ULONG kRecordFormatBytes = 28; // 42 to 69
constexpr UCHAR kStateRestart = 3;

// The loss-of-signal picture selectors 1 to 8 (Y, U, V); 0 is the colour bars.
constexpr UCHAR kLossColours[9][3] = {{0, 0, 0},      {235, 128, 128}, {161, 43, 139},
                                      {131, 157, 44}, {112, 74, 57},   {83, 181, 198},
                                      {65, 98, 211},  {34, 212, 116},  {16, 128, 128}};

} // namespace

const VideoStream::Timing& VideoStream::TimingFor(ULONG signalType)
{
    for (const Timing& timing : kTimings)
        if (timing.signalType == signalType)
            return timing;
    return kDefaultTiming;
}

ULONG VideoStream::StepFor(ULONG clockRate, double period)
{
    return static_cast<ULONG>(RoundToInt(static_cast<double>(clockRate) * period - 0.5));
}

VideoStream::VideoStream(StreamDeviceServices* services, PhysicalStreamServices* board, StreamProcessorQueue* queue,
                         StreamFilter* filter, ULONG pinId)
    : LogicalStream(LogicalStreamType::Video, services, queue, kMaximumQueuedFrames),
      m_board(board),
      m_filter(filter),
      m_pinId(pinId),
      m_testGenerator(this),
      m_aviSource(this, &m_aviFile)
{
    TRACE_SCOPE(this, "VideoStream::VideoStream", kTraceLowEnter, "pFilter=0x%p, nPinId=%u", static_cast<void*>(filter),
                pinId);
    if (!NT_SUCCESS(GetConstructionStatus()))
        return;
    const ULONG decoderType = filter != nullptr ? filter->GetDecoderSignalType() : kDefaultTiming.signalType;
    m_inputType = filter != nullptr ? filter->GetCurrentInputType() : kInputTypeLive;
    {
        KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::VideoStream", __LINE__);
        ApplyTiming(TimingFor(decoderType));
    }
    SetBufferLength(kBufferLength);
    LoadStreamSettings(nullptr);
    {
        // The construction's load sets the geometry; no restart is owed for it.
        KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::VideoStream", __LINE__);
        m_flags.restartNeeded = 0;
    }
    AllocateStreamFrames();
    if (m_inputType == kInputTypeLive) {
        PrepareBackupFrameGenerator(&LogicalStream::BackupFrameGeneratorRoutine);
    } else if (m_inputType == kInputTypeTest) {
        {
            KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::VideoStream", __LINE__);
            m_signalType = decoderType;
        }
        Driver* driver = services->GetDriver();
        PCWSTR name = driver != nullptr ? driver->GetVideoAviFileName() : nullptr;
        if (name != nullptr && name[0] != 0)
            m_aviFile.CheckForAviFile(name);
    }
    Publish();
}

VideoStream::~VideoStream()
{
    TRACE_SCOPE(this, "VideoStream::~VideoStream", kTraceLowEnter);
    // The test threads use the frames: they end before the frames go.
    m_testGenerator.Stop();
    m_aviSource.Stop();
    Shutdown();
    m_spareSteps.DestroySteps();
    delete m_colorBars;
    m_colorBars = nullptr;
}

void VideoStream::ApplyTiming(const Timing& timing)
{
    const ULONG clock = GetServices()->GetDspClockRate();
    SetTiming(StepFor(clock, timing.period), timing.interval);
    m_width = timing.width;
    m_height = timing.height;
    DescribeHostFrame(timing.width, timing.height);
    SetDescriptorGeometry(timing.width, timing.height, timing.pixelClock, timing.activeLines[0], timing.activeLines[1],
                          static_cast<USHORT>(timing.width), timing.vblankLines[0], timing.vblankLines[1],
                          timing.hblankPixels);
}

void VideoStream::DescribeHostFrame(LONG width, LONG height)
{
    memset(&m_hostFrame, 0, sizeof(m_hostFrame));
    m_hostFrame.biSize = sizeof(BITMAPINFOHEADER);
    m_hostFrame.biWidth = width;
    m_hostFrame.biHeight = height;
    m_hostFrame.biPlanes = 1;
    m_hostFrame.biBitCount = 16;
    m_hostFrame.biSizeImage = static_cast<ULONG>(height) * ((static_cast<ULONG>(width) + 15) & ~15u) * 2;
}

void VideoStream::SetDescriptorGeometry(LONG width, LONG height, ULONG pixelClock, USHORT active0, USHORT active1,
                                        USHORT activeWidth, USHORT vblank0, USHORT vblank1, USHORT hblank)
{
    ULONG* d = m_descriptor.descriptor;
    d[0] = 0;
    d[1] = (static_cast<ULONG>(width) & 0xFFFF) | (static_cast<ULONG>(height) & 0xFFFF) << 16;
    d[2] = pixelClock;
    d[3] = active0 | static_cast<ULONG>(active1) << 16;
    d[4] = activeWidth | static_cast<ULONG>(vblank0) << 16;
    d[5] = vblank1 | static_cast<ULONG>(hblank) << 16;
    d[6] = static_cast<ULONG>(width);
    d[7] = static_cast<ULONG>(height);
    m_descriptor.inputType = static_cast<UCHAR>(m_inputType);
}

void VideoStream::GetStreamSettings(DspStreamSettings* settings)
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::GetStreamSettings", __LINE__);
    m_descriptor.inputType = static_cast<UCHAR>(m_inputType);
    *settings = m_descriptor;
}

ULONG VideoStream::GetSignalType()
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::GetSignalType", __LINE__);
    return m_signalType;
}

LONG VideoStream::GetWidth()
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::GetWidth", __LINE__);
    return m_width;
}

LONG VideoStream::GetHeight()
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::GetHeight", __LINE__);
    return m_height;
}

BITMAPINFOHEADER VideoStream::GetHostFrameDescription()
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::GetHostFrameDescription", __LINE__);
    return m_hostFrame;
}

bool VideoStream::UsesDsp()
{
    Driver* driver = GetServices() != nullptr ? GetServices()->GetDriver() : nullptr;
    if (driver == nullptr || !driver->GetHardwareInstalled())
        return false;
    return m_inputType != kInputTypeTest;
}

bool VideoStream::DoesDSPHaveSignalLock()
{
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::DoesDSPHaveSignalLock", __LINE__);
    return !(m_inputType == kInputTypeLive && m_signalType == 0);
}

// ---- frames ------------------------------------------------------------------------------------

NTSTATUS VideoStream::AllocateDSPFrame(ULONG index)
{
    ULONGLONG physical = 0;
    PVOID buffer = AllocateDmaBufferForEntry(&physical);
    TRACE_LINE(this, "VideoStream::AllocateDSPFrame", kTraceLows,
               "m_pArrayWorkItems[%d]: length=%08d pVirtualAddress=0x%08x, physicalAddress=0x%08x %08x",
               static_cast<int>(index), static_cast<int>(GetBufferLength()),
               static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(buffer)), static_cast<unsigned>(physical >> 32),
               static_cast<unsigned>(physical));
    auto* frame = buffer != nullptr ? new VideoFrame() : nullptr;
    if (frame == nullptr) {
        if (buffer != nullptr) {
            // The buffer goes back through an entry the release frees.
            SetEntryFrame(index, nullptr, buffer, physical);
        }
        TRACE_STATUS(this, "VideoStream::AllocateDSPFrame", kTraceErrors, MSG_DMA_MEMORY_ALLOCATION_FAILED,
                     "DMA memory allocation failed");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    frame->Initialize(buffer, GetBufferLength(), GetWidth(), GetHeight(), kBitDepth);
    frame->FillBlack();
    SetEntryFrame(index, frame, buffer, physical);
    return STATUS_SUCCESS;
}

NTSTATUS VideoStream::AllocateHostFrame(ULONG index)
{
    PVOID buffer = AllocateHostBuffer();
    auto* frame = buffer != nullptr ? new VideoFrame() : nullptr;
    if (frame == nullptr) {
        if (buffer != nullptr)
            ExFreePool(buffer);
        TRACE_STATUS(this, "VideoStream::AllocateHostFrame", kTraceErrors, MSG_HOST_FRAME_ALLOCATION_FAILED,
                     "HOST frame allocation failed");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    frame->Initialize(buffer, GetBufferLength(), GetWidth(), GetHeight(), kBitDepth);
    frame->FillBlack();
    SetEntryFrame(index, frame, buffer, 0);
    return STATUS_SUCCESS;
}

bool VideoStream::ReconditionFrame(FrameWorkItem* entry, CommandHandler* handler)
{
    auto* frame = static_cast<VideoFrame*>(entry->frame);
    const UCHAR* response = handler->ResponseArea();
    const ULONG w0 = Word(response, kStatusWordsOffset);
    const ULONG w1 = Word(response, kStatusWordsOffset + 4);
    const ULONG w2 = Word(response, kStatusWordsOffset + 8);
    const ULONG w3 = Word(response, kStatusWordsOffset + 12);
    const LONG width = static_cast<LONG>(w0 & 0x7FF);
    const LONG active0 = static_cast<LONG>(w1 & 0xFFF);
    const LONG active1 = static_cast<LONG>((w1 >> 12) & 0xFFF);
    LONG vbi0 = static_cast<LONG>(w3 & 0x7F);
    LONG vbi1 = static_cast<LONG>((w3 >> 8) & 0x7F);
    const LONG counted = static_cast<LONG>((w2 & 0x7F) + ((w2 >> 8) & 0x7F));
    if (counted != vbi0 + vbi1) {
        vbi0 = counted / 2 + counted % 2;
        vbi1 = counted / 2;
    }
    const LONG lines = active0 + active1 + vbi0 + vbi1;
    if (width == 0 || width > kMaximumWidth || lines == 0 || lines > kMaximumLines) {
        TRACE_LINE(this, "VideoStream::ReconditionFrame", kTraceErrors,
                   "The DSP reported a %d x %d frame, outside 1920 x 1125: the buffer is recycled",
                   static_cast<int>(width), static_cast<int>(lines));
        return false;
    }
    LONG streamWidth;
    LONG streamHeight;
    ULONG signalType;
    {
        KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::ReconditionFrame", __LINE__);
        streamWidth = m_width;
        streamHeight = m_height;
        signalType = m_signalType;
    }
    if (streamHeight != active0 + active1)
        TRACE_LINE(this, "VideoStream::ReconditionFrame", kTraceWarnings,
                   "m_nHeight != pVideoFrame->m_AVSize[0].height + pVideoFrame->m_AVSize[1].height: m_nHeight=%d, "
                   "pVideoFrame->m_AVSize[0].height=%d, pVideoFrame->m_AVSize[1].height=%d",
                   static_cast<int>(streamHeight), static_cast<int>(active0), static_cast<int>(active1));
    if (streamWidth != width)
        TRACE_LINE(this, "VideoStream::ReconditionFrame", kTraceWarnings,
                   "m_nWidth != pVideoFrame->m_AVSize[0].width: m_nWidth=%d, pVideoFrame->m_AVSize[0].width",
                   static_cast<int>(streamWidth), static_cast<int>(width));
    ULONG dataSize = handler->GetResultWordB();
    if (dataSize > GetBufferLength())
        dataSize = GetBufferLength();
    frame->Initialize(entry->virtualAddress, dataSize, width, lines, kBitDepth);
    frame->SetActiveSize(0, width, active0);
    frame->SetActiveSize(1, width, active1);
    frame->SetVbiSize(0, width, vbi0);
    frame->SetVbiSize(1, width, vbi1);
    frame->SetInputIdentifier(signalType);
    // The standard word the VBI separator reads: line-21 captions are decoded in 525-line pictures
    // only, and VBI rows are placed by it.
    frame->SetVideoStandard(signalType == 1 ? kFrameStandard525
                            : signalType == 2 ? kFrameStandard625
                                              : kFrameStandardOther);
    return true;
}

// ---- settings ------------------------------------------------------------------------------------

bool VideoStream::LoadStreamSettings(const UCHAR* inputStateRecord)
{
    if (m_inputType == kInputTypeTest) {
        TRACE_LINE(this, "VideoStream::LoadStreamSettings", kTraceLows, "VideoStream::LoadTestVideoSettings");
        return false;
    }
    return LoadLiveVideoSettings(inputStateRecord);
}

bool VideoStream::GetCurrentInputDetectRecord(UCHAR record[kInputDetectRecordBytes])
{
    static_assert(sizeof(BrevicorInputDetectRecord) == kInputDetectRecordBytes);
    BrevicorInputDetectRecord current{};
    if (m_board == nullptr || m_filter == nullptr)
        return false;
    current.inputNumber = m_filter->GetCurrentInputIndex();
    if (!NT_SUCCESS(m_board->GetVideoInputDetectRecord(current.inputNumber, &current)))
        return false;
    std::memcpy(record, &current, sizeof(current));
    return true;
}

bool VideoStream::LoadLiveVideoSettings(const UCHAR* record)
{
    TRACE_SCOPE(this, "VideoStream::LoadLiveVideoSettings", kTraceLowEnter);
    if (m_inputType != kInputTypeLive)
        return false;
    BrevicorInputDetectRecord current{};
    if (record == nullptr) {
        if (m_board == nullptr || m_filter == nullptr ||
            !NT_SUCCESS(m_board->GetVideoInputDetectRecord(m_filter->GetCurrentInputIndex(), &current)))
            return false;
        record = reinterpret_cast<const UCHAR*>(&current);
    }
    const ULONG clock = GetServices()->GetDspClockRate();
    KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::LoadLiveVideoSettings", __LINE__);
    const ULONG signalType = Word(record, kRecordSignalType);
    bool changed = signalType != m_signalType;
    if (record[kRecordState] == kStateRestart ||
        memcmp(record + kRecordActivePixels, m_currentInputState + kRecordActivePixels, kRecordFormatBytes) != 0) {
        changed = true;
        m_flags.restartNeeded = 1;
    }
    memcpy(m_currentInputState, record, kInputStateRecordBytes);
    m_signalType = signalType;
    if (signalType == 0)
        return changed;
    const ULONG width = Word(record, kRecordActivePixels);
    const ULONG active0 = Word(record, kRecordActiveLines1);
    const ULONG active1 = Word(record, kRecordActiveLines2);
    const ULONG height = (active0 + active1) & 0xFFFF;
    const ULONG rate = Word(record, kRecordFrameRate);
    if (width == 0 || width > static_cast<ULONG>(kMaximumWidth) || height == 0 ||
        height > static_cast<ULONG>(kMaximumLines) || rate == 0) {
        // Nothing the buffers could hold, or no rate: the old geometry and timing stay.
        TRACE_LINE(this, "VideoStream::LoadLiveVideoSettings", kTraceErrors,
                   "Video stream. Detected %u x %u at rate %u ignored: the geometry stays %d x %d",
                   static_cast<unsigned>(width), static_cast<unsigned>(height), static_cast<unsigned>(rate),
                   static_cast<int>(m_width), static_cast<int>(m_height));
        return changed;
    }
    const double period = 100.0 / static_cast<double>(rate);
    const ULONG interval = static_cast<ULONG>(RoundToInt(period * 10'000'000.0));
    SetTiming(StepFor(clock, period), interval);
    m_width = static_cast<LONG>(width);
    m_height = static_cast<LONG>(height);
    DescribeHostFrame(m_width, m_height);
    SetDescriptorGeometry(m_width, m_height, TimingFor(signalType).pixelClock, static_cast<USHORT>(active0),
                          static_cast<USHORT>(active1), static_cast<USHORT>(width),
                          static_cast<USHORT>(Word(record, kRecordBlankingLines1)),
                          static_cast<USHORT>(Word(record, kRecordBlankingLines2)),
                          static_cast<USHORT>(Word(record, kRecordBlankingPixels)));
    SetBufferLength(kBufferLength);
    TRACE_LINE(this, "VideoStream::LoadLiveVideoSettings", kTraceHighs,
               "Video stream. Height=%d, Width=%d, Min interval=%u, Max interval=%u", static_cast<int>(m_height),
               static_cast<int>(m_width), GetMinimumInterval(), GetMaximumInterval());
    return changed;
}

// ---- test input and backup frames ----------------------------------------------------------------

NTSTATUS VideoStream::StartTestStream()
{
    return m_aviFile.IsAviMode() ? m_aviSource.Start() : m_testGenerator.Start();
}

void VideoStream::StopTestStream()
{
    if (m_aviFile.IsAviMode())
        m_aviSource.Stop();
    else
        m_testGenerator.Stop();
}

void VideoStream::InitBackupFrameGeneratorValues()
{
    const BITMAPINFOHEADER header = GetHostFrameDescription();
    delete m_colorBars;
    m_colorBars = new ColorBarGenerator(header, true);
}

void VideoStream::FillBackupFrame(FrameWorkItem* entry)
{
    auto* frame = static_cast<VideoFrame*>(entry->frame);
    BrevicorLOSRecord los{};
    if (m_board == nullptr || !NT_SUCCESS(m_board->GetLOSSettings(&los)))
        los.videoSignalType = 8;
    LONG width;
    LONG height;
    ULONG imageSize;
    {
        KPLXFastStackLock hold(GetControlLock(), this, "VideoStream::FillBackupFrame", __LINE__);
        width = m_width;
        height = m_height;
        imageSize = m_hostFrame.biSizeImage;
    }
    if (imageSize > GetEntryBufferLength())
        imageSize = GetEntryBufferLength();
    frame->Initialize(entry->virtualAddress, imageSize, width, height, kBitDepth);
    const ULONG selector = los.videoSignalType <= 8 ? los.videoSignalType : 8;
    if (selector == 0) {
        if (m_colorBars != nullptr && m_colorBars->GetWidth() == width && m_colorBars->GetHeight() == height)
            m_colorBars->Render(frame->GetFrameData());
        else
            frame->FillBlack(); // a picture of another size than the generator's
    } else {
        frame->Fill(kLossColours[selector][0], kLossColours[selector][1], kLossColours[selector][2]);
    }
    frame->SetVbiSize(0, 0, 0);
    frame->SetVbiSize(1, 0, 0);
    frame->SetActiveSize(0, width, height);
    frame->SetActiveSize(1, 0, 0);
    frame->AddFlags(kFrameFlagGenerated);
}
