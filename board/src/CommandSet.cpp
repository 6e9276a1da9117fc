// The main firmware's typed commands, the stream slots, the inputs' signals and the frame clocks.
#include "board/CommandSet.h"

#include <algorithm>
#include <utility>

#include "LittleEndian.h"
#include "board/CapturePattern.h"
#include "board/DspMemory.h"
#include "board/Tones.h"
#include "board/VideoCapture.h"
#include "board/Eeprom.h"
#include "board/FpgaModel.h"
#include "board/MailboxService.h"
#include "platform/Clock.h"
#include "platform/bus/DmaAddressMap.h"

namespace board {

namespace {

// Payload word n of the command table sits at +16 + 4n: word 1 at +20.
constexpr size_t Word1 = 0, Word2 = 1, Word3 = 2, Word4 = 3, Word5 = 4;

constexpr uint64_t kAddressSpace = uint64_t{1} << 32;

bool FitsDspSpace(uint32_t address, uint64_t length)
{
    return uint64_t{address} + length <= kAddressSpace;
}

// The board's time in 90 MHz ticks, unwrapped.
uint64_t NowTicks()
{
    return static_cast<uint64_t>(platform::Clock::Now()) * CommandSet::kTicksPerClockUnit;
}

// The answer to a queued buffer: bus address in A, data size in B, the time stamp and the status
// words after them.
MailboxResponse BufferAnswer(const MailboxCommand& queue, uint32_t result, uint32_t busAddress, uint32_t stamp,
                             uint32_t dataSize = 0, const StatusWords& status = {})
{
    MailboxResponse response = MailboxResponse::AnswerTo(queue, result, busAddress, dataSize);
    response.SetWord(kResponseTimeStamp, stamp);
    for (uint32_t i = 0; i < kStatusWordCount; ++i)
        response.SetWord(kResponseStatusWords + 4 * i, status[i]);
    return response;
}

} // namespace

CommandSet::CommandSet(DspMemory& memory, FpgaModel& fpga, Eeprom& eeprom, platform::DmaAddressMap& dma,
                       const BoardConfiguration& configuration)
    : m_memory(memory), m_fpga(fpga), m_eeprom(eeprom), m_dma(dma), m_signature(configuration.daughterCard),
      m_bootAnnouncement(configuration.bootAnnouncement)
{
    // Every SDI input carries NTSC with two pairs of sound; a test connector starts without a cable.
    const uint64_t now = NowTicks();
    const size_t inputs = std::max<size_t>(configuration.videoInputs.size(), 1);
    for (size_t i = 0; i < inputs; ++i) {
        const bool sdi = i >= configuration.videoInputs.size() || configuration.videoInputs[i] == VideoInputKind::Sdi;
        m_inputs.emplace_back(sdi, VideoStandards::kNtsc, now);
    }
}

void CommandSet::Install(MailboxService& service)
{
    for (uint32_t id : {kCommandAllocateDspMemory, kCommandProgramFpga, kCommandCreateStream, kCommandFreeDspMemory,
                        kCommandQueueCaptureBuffer, kCommandEnableStream, kCommandCopyMemory, kCommandEeprom,
                        kCommandReadFpgaRegister, kCommandWriteFpgaRegister, kCommandPerformanceParameters,
                        kCommandAudioConfiguration, kCommandDestroyStream, kCommandAnalogDcGain,
                        kCommandDcSignature})
        service.SetCommandHandler(id, [this](const MailboxCommand& command) { return Handle(command); });
}

std::vector<MailboxResponse> CommandSet::Handle(const MailboxCommand& command)
{
    std::lock_guard lock(m_lock);
    // Answers made earlier go first, so a buffer filled before a destroy is never answered after
    // the destroy's own answer (unless a fault delays its completion).
    std::vector<MailboxResponse> answers = TakeDueLocked();
    for (MailboxResponse& response : HandleLocked(command))
        answers.push_back(std::move(response));
    return answers;
}

std::vector<MailboxResponse> CommandSet::TakeMadeAnswers()
{
    std::lock_guard lock(m_lock);
    return TakeDueLocked();
}

std::vector<MailboxResponse> CommandSet::TakeDueLocked()
{
    // In the order made: a delayed answer keeps the ones made after it waiting.
    std::vector<MailboxResponse> answers;
    const int64_t now = platform::Clock::Now();
    while (!m_made.empty() && m_made.front().due <= now) {
        answers.push_back(m_made.front().response);
        m_made.pop_front();
    }
    return answers;
}

void CommandSet::MakeLocked(const MailboxResponse& answer, int64_t delay)
{
    m_made.push_back(Made{answer, platform::Clock::DeadlineAfter(delay)});
}

void CommandSet::Restart()
{
    std::lock_guard lock(m_lock);
    m_allocator.Clear();
    m_streams.clear();
    m_nextStream = 1;
    m_made.clear();
    m_heldPastDestroy.clear();
    m_performance.reset();
    m_audioConfiguration.reset();
    m_dcGains.clear();
    // The host that comes next hears the input's state before anything else.
    if (m_bootAnnouncement)
        AnnounceLocked(kCapturedInput);
}

void CommandSet::SetWake(std::function<void()> wake)
{
    std::lock_guard lock(m_lock);
    m_wake = std::move(wake);
}

void CommandSet::WakeFirmware()
{
    std::function<void()> wake;
    {
        std::lock_guard lock(m_lock);
        wake = m_wake;
    }
    if (wake)
        wake();
}

std::vector<MailboxResponse> CommandSet::HandleLocked(const MailboxCommand& command)
{
    const auto& p = command.payload;
    switch (command.id) {
    case kCommandAllocateDspMemory:
        return {AllocateLocked(command)};
    case kCommandProgramFpga:
        return {ProgramFpgaLocked(command)};
    case kCommandCreateStream:
        return {CreateStreamLocked(command)};
    case kCommandFreeDspMemory:
        return {FreeLocked(command)};
    case kCommandQueueCaptureBuffer: {
        std::optional<MailboxResponse> refused = QueueBufferLocked(command);
        if (refused)
            return {*refused};
        return {};
    }
    case kCommandEnableStream:
        return {EnableStreamLocked(command)};
    case kCommandCopyMemory:
        return {CopyLocked(command)};
    case kCommandEeprom:
        return {EepromLocked(command)};
    case kCommandReadFpgaRegister: {
        uint32_t value = 0;
        const uint32_t result = m_fpga.ReadRegister(command.parameter, value);
        return {MailboxResponse::AnswerTo(command, result, value)};
    }
    case kCommandWriteFpgaRegister:
        return {MailboxResponse::AnswerTo(
            command, m_fpga.WriteRegister(command.parameter, p[Word1], p[Word2], (p[Word3] & 0xFFFF) != 0))};
    case kCommandPerformanceParameters: {
        std::array<uint32_t, 8> values{command.parameter};
        std::copy_n(p.begin(), 7, values.begin() + 1);
        m_performance = values;
        return {MailboxResponse::AnswerTo(command, kDspResultSuccess)};
    }
    case kCommandAudioConfiguration: {
        std::array<uint32_t, 9> values{command.parameter};
        std::copy_n(p.begin(), 8, values.begin() + 1);
        m_audioConfiguration = values;
        return {MailboxResponse::AnswerTo(command, kDspResultSuccess)};
    }
    case kCommandDestroyStream:
        return DestroyStreamLocked(command);
    case kCommandAnalogDcGain:
        // Two bytes of parameter word 0: the gain at +16, the channel at +17.
        m_dcGains[command.bytes[kCommandParameter + 1]] = command.bytes[kCommandParameter];
        return {MailboxResponse::AnswerTo(command, kDspResultSuccess)};
    case kCommandDcSignature:
        return {MailboxResponse::AnswerTo(command, kDspResultSuccess, m_signature)};
    default:
        return {MailboxResponse::AnswerTo(command, kDspErrorUnknownCommand)};
    }
}

MailboxResponse CommandSet::AllocateLocked(const MailboxCommand& command)
{
    DspBlock request;
    request.memoryType = command.parameter;
    request.length = command.payload[Word1];
    request.flag = (command.payload[Word2] & 1) != 0;
    request.value4 = command.payload[Word4];
    request.value5 = command.payload[Word5];
    DspBlock block;
    const uint32_t result = m_allocator.Allocate(request, block);
    return MailboxResponse::AnswerTo(command, result, block.address, block.handle);
}

MailboxResponse CommandSet::FreeLocked(const MailboxCommand& command)
{
    return MailboxResponse::AnswerTo(command, m_allocator.Free(command.parameter));
}

MailboxResponse CommandSet::ProgramFpgaLocked(const MailboxCommand& command)
{
    const uint32_t address = command.parameter;
    const uint32_t size = command.payload[Word1];
    const bool checksummed = (command.payload[Word2] & 1) != 0;
    if (size == 0 || size > kMaxFpgaImage || !checksummed || !FitsDspSpace(address, uint64_t{size} + 4))
        return MailboxResponse::AnswerTo(command, kDspErrorBadParameter);
    const uint32_t checksum = m_memory.Read32(address);
    std::vector<uint8_t> image(size);
    m_memory.Read(address + 4, image.data(), image.size());
    return MailboxResponse::AnswerTo(command, m_fpga.Program(image, checksum));
}

MailboxResponse CommandSet::CopyLocked(const MailboxCommand& command)
{
    const uint32_t source = command.parameter;
    const uint32_t destination = command.payload[Word1];
    const uint32_t length = command.payload[Word2];
    const bool toDsp = command.payload[Word3] == kCopyHostToDsp;
    const uint32_t dspAddress = toDsp ? destination : source;
    const uint32_t busAddress = toDsp ? source : destination;
    if (length > kMaxCopyLength || !FitsDspSpace(dspAddress, length))
        return MailboxResponse::AnswerTo(command, kDspErrorBadParameter);
    if (length == 0)
        return MailboxResponse::AnswerTo(command, kDspResultSuccess);
    std::vector<uint8_t> bytes(length);
    if (toDsp) {
        if (m_dma.Read(busAddress, bytes.data(), bytes.size()) != platform::BusStatus::Ok)
            return MailboxResponse::AnswerTo(command, kDspErrorDmaNotMapped);
        m_memory.Write(dspAddress, bytes.data(), bytes.size());
    } else {
        m_memory.Read(dspAddress, bytes.data(), bytes.size());
        if (m_dma.Write(busAddress, bytes.data(), bytes.size()) != platform::BusStatus::Ok)
            return MailboxResponse::AnswerTo(command, kDspErrorDmaNotMapped);
    }
    return MailboxResponse::AnswerTo(command, kDspResultSuccess);
}

MailboxResponse CommandSet::EepromLocked(const MailboxCommand& command)
{
    const uint32_t offset = command.parameter;
    const uint32_t staging = command.payload[Word1];
    const uint32_t count = command.payload[Word2];
    const bool write = (command.payload[Word3] & 1) != 0;
    if (uint64_t{offset} + count > Eeprom::kWordCount || !FitsDspSpace(staging, uint64_t{count} * 2))
        return MailboxResponse::AnswerTo(command, kDspErrorBadParameter);
    std::vector<uint16_t> words(count);
    std::vector<uint8_t> bytes(size_t{count} * 2);
    if (write) {
        m_memory.Read(staging, bytes.data(), bytes.size());
        for (uint32_t i = 0; i < count; ++i)
            words[i] = static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        m_eeprom.Write(offset, words);
    } else {
        m_eeprom.Read(offset, words);
        for (uint32_t i = 0; i < count; ++i) {
            bytes[2 * i] = static_cast<uint8_t>(words[i]);
            bytes[2 * i + 1] = static_cast<uint8_t>(words[i] >> 8);
        }
        m_memory.Write(staging, bytes.data(), bytes.size());
    }
    return MailboxResponse::AnswerTo(command, kDspResultSuccess);
}

MailboxResponse CommandSet::CreateStreamLocked(const MailboxCommand& command)
{
    const auto inputType = static_cast<uint8_t>(command.parameter);
    StreamKind kind;
    if (inputType == 0 || inputType == 2)
        kind = StreamKind::Video;
    else if (inputType == 10 || inputType == 16)
        kind = StreamKind::Audio;
    else
        return MailboxResponse::AnswerTo(command, kDspErrorBadParameter);
    if (m_streams.size() >= kMaxStreams)
        return MailboxResponse::AnswerTo(command, kDspErrorNoMemory);
    while (m_nextStream == 0 || m_streams.contains(m_nextStream))
        ++m_nextStream;
    DspStream stream;
    stream.handle = m_nextStream++;
    stream.inputType = inputType;
    stream.kind = kind;
    stream.descriptor = command.payload;
    m_streams[stream.handle] = stream;
    return MailboxResponse::AnswerTo(command, kDspResultSuccess, stream.handle);
}

std::optional<MailboxResponse> CommandSet::QueueBufferLocked(const MailboxCommand& command)
{
    const uint32_t busAddress = command.payload[Word1];
    const uint32_t size = command.payload[Word2];
    const auto found = m_streams.find(command.parameter);
    const uint32_t stamp = CounterAt(NowTicks());
    if (found == m_streams.end())
        return BufferAnswer(command, kDspErrorBadHandle, busAddress, stamp);
    if (size == 0 || size > kMaxBufferSize)
        return BufferAnswer(command, kDspErrorBadParameter, busAddress, stamp);
    if (found->second.queued.size() >= kMaxQueuedBuffers)
        return BufferAnswer(command, kDspErrorNoMemory, busAddress, stamp);
    found->second.queued.push_back(QueuedBuffer{command, busAddress, size});
    return std::nullopt;
}

MailboxResponse CommandSet::EnableStreamLocked(const MailboxCommand& command)
{
    const auto found = m_streams.find(command.parameter);
    if (found == m_streams.end())
        return MailboxResponse::AnswerTo(command, kDspErrorBadHandle);
    switch (command.payload[Word1] & 0xFFFF) {
    case 0:
        found->second.enabled = false;
        found->second.clock.Stop();
        return MailboxResponse::AnswerTo(command, kDspResultSuccess);
    case 1:
        // An enabled stream stays enabled (and fills again once the signal is back).
        if (!m_inputs[kCapturedInput].Plugged())
            return MailboxResponse::AnswerTo(command, kDspErrorNoSignal);
        found->second.enabled = true;
        return MailboxResponse::AnswerTo(command, kDspResultSuccess);
    default:
        return MailboxResponse::AnswerTo(command, kDspErrorBadParameter);
    }
}

std::vector<MailboxResponse> CommandSet::DestroyStreamLocked(const MailboxCommand& command)
{
    const auto found = m_streams.find(command.parameter);
    if (found == m_streams.end())
        return {MailboxResponse::AnswerTo(command, kDspErrorBadHandle)};
    // Every buffer goes back before the stream's end is answered: the host then knows no buffer
    // of the stream is still with the DSP when it sees the destroy done.
    std::vector<MailboxResponse> answers;
    const uint32_t stamp = CounterAt(NowTicks());
    for (const QueuedBuffer& buffer : found->second.queued)
        answers.push_back(BufferAnswer(buffer.command, kDspErrorCancelled, buffer.busAddress, stamp));
    m_streams.erase(found);
    answers.push_back(MailboxResponse::AnswerTo(command, kDspResultSuccess));
    // Completions a fault held back arrive after the stream is gone.
    const auto held = m_heldPastDestroy.find(command.parameter);
    if (held != m_heldPastDestroy.end()) {
        answers.insert(answers.end(), held->second.begin(), held->second.end());
        m_heldPastDestroy.erase(held);
    }
    return answers;
}

MailboxResponse CommandSet::FillLocked(DspStream& stream, const QueuedBuffer& buffer)
{
    std::vector<uint8_t> data;
    StatusWords status{};
    const uint32_t stamp = CounterAt(NowTicks());
    if (stream.kind == StreamKind::Video) {
        const VideoGeometry geometry = VideoGeometry::FromDescriptor(stream.descriptor);
        if (!geometry.Valid() || geometry.DataSize() > buffer.size)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress, stamp);
        data = CapturePattern::Video(geometry, m_fpga.Register(FpgaModel::kAlignmentControl));
        status = geometry.Status();
    } else {
        if (buffer.size < CapturePattern::kAudioDataSize)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress, stamp);
        data = CapturePattern::Audio();
        status = CapturePattern::AudioStatus();
    }
    if (m_dma.Write(buffer.busAddress, data.data(), data.size()) != platform::BusStatus::Ok)
        return BufferAnswer(buffer.command, kDspErrorDmaNotMapped, buffer.busAddress, stamp);
    ++stream.filled;
    return BufferAnswer(buffer.command, kDspResultSuccess, buffer.busAddress, stamp,
                        static_cast<uint32_t>(data.size()), status);
}

// ---- the frame clocks ----

uint32_t CommandSet::CounterAt(uint64_t ticks) const
{
    return static_cast<uint32_t>(ticks) + m_counterOffset;
}

bool CommandSet::HalfScaleLocked() const
{
    // Command 12's last word (+44): the HD1080 half-scale switch.
    return m_performance && (*m_performance)[7] != 0;
}

MailboxResponse CommandSet::CaptureLocked(DspStream& stream, const QueuedBuffer& buffer, SignalModel& signal)
{
    StreamFaults& faults = Faults(stream.kind);
    const uint32_t stamp = faults.Stamp(CounterAt(stream.clock.NextStart()), stream.lastStamp);
    stream.lastStamp = stamp;
    if (const auto failure = faults.TakeFailure())
        return BufferAnswer(buffer.command, *failure, buffer.busAddress, stamp);

    std::vector<uint8_t> data;
    StatusWords status{};
    if (stream.kind == StreamKind::Video) {
        VideoCaptureFrame frame;
        frame.geometry = signal.CaptureGeometry(HalfScaleLocked());
        frame.line21 = signal.Standard().CarriesLine21();
        if (frame.line21)
            frame.captions = signal.Captions().NextFrame();
        frame.frameCounter = static_cast<uint32_t>(stream.clock.Taken());
        if (!faults.TakeOmitMarker())
            frame.alignmentControl = m_fpga.Register(FpgaModel::kAlignmentControl);
        if (!frame.geometry.Valid() || frame.geometry.DataSize() > buffer.size)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress, stamp);
        data = VideoCapture::Render(frame, signal.Captions());
        status = frame.geometry.Status();
        if (const auto counted = faults.CountedVbi())
            status[2] = ((*counted)[0] & 0x7F) | ((*counted)[1] & 0x7F) << 8;
    } else {
        const AudioSignal& audio = signal.Audio();
        if (Tones::DataSize(audio.presentPairs, audio.sampleRate) > buffer.size)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress, stamp);
        data = Tones::Render(audio.presentPairs, audio.soundPairs, audio.sampleRate,
                             stream.clock.NextIndex() * Tones::SamplesPerBuffer(audio.sampleRate));
        status = signal.AudioStatus();
    }
    if (const auto reported = faults.TakeGeometry())
        status = *reported;
    if (m_dma.Write(buffer.busAddress, data.data(), data.size()) != platform::BusStatus::Ok)
        return BufferAnswer(buffer.command, kDspErrorDmaNotMapped, buffer.busAddress, stamp);
    ++stream.filled;
    return BufferAnswer(buffer.command, kDspResultSuccess, buffer.busAddress, stamp,
                        static_cast<uint32_t>(data.size()), status);
}

void CommandSet::RunStreamLocked(DspStream& stream, SignalModel& signal, int64_t now)
{
    if (!stream.enabled || !signal.Plugged()) {
        stream.clock.Stop();
        return;
    }
    const uint64_t frameTicks =
        stream.kind == StreamKind::Video ? signal.Standard().FrameTicks() : kAudioBufferTicks;
    const uint64_t nowTicks = static_cast<uint64_t>(now) * kTicksPerClockUnit;
    // A new signal (cable plugged, standard changed) has a grid of its own.
    if (!stream.clock.OnGrid(signal.OriginTicks(), frameTicks))
        stream.clock.Start(signal.OriginTicks(), frameTicks, nowTicks);
    uint64_t due = stream.clock.Due(nowTicks);
    if (m_manualClock)
        due = std::min(due, stream.stepsAllowed);
    StreamFaults& faults = Faults(stream.kind);
    while (due > 0) {
        uint64_t frames = 1;
        if (faults.TakeSkip()) {
            ++stream.skipped;
        } else if (stream.queued.empty()) {
            // No buffer: every frame due now is lost.
            frames = due;
            stream.dropped += due;
        } else {
            const QueuedBuffer buffer = stream.queued.front();
            stream.queued.erase(stream.queued.begin());
            const MailboxResponse answer = CaptureLocked(stream, buffer, signal);
            if (faults.TakeHoldPastDestroy())
                m_heldPastDestroy[stream.handle].push_back(answer);
            else
                MakeLocked(answer, faults.CompletionDelay());
        }
        stream.clock.Advance(frames);
        due -= frames;
        if (m_manualClock)
            stream.stepsAllowed -= frames;
    }
}

void CommandSet::RunFrameClocks()
{
    std::lock_guard lock(m_lock);
    const int64_t now = platform::Clock::Now();
    for (auto& [handle, stream] : m_streams)
        RunStreamLocked(stream, m_inputs[kCapturedInput], now);
}

bool CommandSet::AnnounceLocked(uint32_t input, uint32_t videoError, uint32_t audioError)
{
    if (input != kCapturedInput)
        return false;
    MakeLocked(m_inputs[input].InputStateMessage(videoError, audioError, m_videoFaults.CountedVbi()));
    return true;
}

// ---- test hooks ----

std::vector<DspBlock> CommandSet::Allocations() const
{
    std::lock_guard lock(m_lock);
    return m_allocator.Blocks();
}

std::vector<DspStream> CommandSet::Streams() const
{
    std::lock_guard lock(m_lock);
    std::vector<DspStream> streams;
    for (const auto& [handle, stream] : m_streams)
        streams.push_back(stream);
    return streams;
}

std::optional<DspStream> CommandSet::Stream(uint32_t handle) const
{
    std::lock_guard lock(m_lock);
    const auto found = m_streams.find(handle);
    if (found == m_streams.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::array<uint32_t, 8>> CommandSet::PerformanceParameters() const
{
    std::lock_guard lock(m_lock);
    return m_performance;
}

std::optional<std::array<uint32_t, 9>> CommandSet::AudioConfiguration() const
{
    std::lock_guard lock(m_lock);
    return m_audioConfiguration;
}

std::map<uint8_t, uint8_t> CommandSet::DcGains() const
{
    std::lock_guard lock(m_lock);
    return m_dcGains;
}

void CommandSet::SetDcSignature(uint32_t signature)
{
    std::lock_guard lock(m_lock);
    m_signature = signature;
}

uint32_t CommandSet::DcSignature() const
{
    std::lock_guard lock(m_lock);
    return m_signature;
}

void CommandSet::SetSignalPresent(bool present)
{
    if (present)
        PlugCable(kCapturedInput);
    else
        PullCable(kCapturedInput);
}

bool CommandSet::SignalPresent() const
{
    std::lock_guard lock(m_lock);
    return m_inputs[kCapturedInput].Plugged();
}

size_t CommandSet::InputCount() const
{
    std::lock_guard lock(m_lock);
    return m_inputs.size();
}

std::optional<SignalModel> CommandSet::Signal(uint32_t input) const
{
    std::lock_guard lock(m_lock);
    if (input >= m_inputs.size())
        return std::nullopt;
    return m_inputs[input];
}

bool CommandSet::PullCable(uint32_t input)
{
    bool announced = false;
    {
        std::lock_guard lock(m_lock);
        if (input >= m_inputs.size())
            return false;
        if (m_inputs[input].Plugged()) {
            m_inputs[input].SetPlugged(false, NowTicks());
            announced = AnnounceLocked(input);
        }
    }
    if (announced)
        WakeFirmware();
    return true;
}

bool CommandSet::PlugCable(uint32_t input)
{
    bool announced = false;
    {
        std::lock_guard lock(m_lock);
        if (input >= m_inputs.size())
            return false;
        if (!m_inputs[input].Plugged()) {
            m_inputs[input].SetPlugged(true, NowTicks());
            announced = AnnounceLocked(input);
        }
    }
    if (announced)
        WakeFirmware();
    return true;
}

bool CommandSet::SetStandard(uint32_t input, uint32_t standardBit)
{
    bool announced = false;
    {
        std::lock_guard lock(m_lock);
        if (input >= m_inputs.size() || !VideoStandards::Find(standardBit))
            return false;
        if (m_inputs[input].Standard().bit != standardBit) {
            m_inputs[input].SetStandard(standardBit, NowTicks());
            announced = m_inputs[input].Plugged() && AnnounceLocked(input);
        }
    }
    if (announced)
        WakeFirmware();
    return true;
}

bool CommandSet::SetAudio(uint32_t input, const AudioSignal& audio)
{
    bool announced = false;
    {
        std::lock_guard lock(m_lock);
        if (input >= m_inputs.size() || !SignalModel::Valid(audio))
            return false;
        if (!(m_inputs[input].Audio() == audio)) {
            m_inputs[input].SetAudio(audio);
            announced = m_inputs[input].Plugged() && AnnounceLocked(input);
        }
    }
    if (announced)
        WakeFirmware();
    return true;
}

bool CommandSet::ReportErrors(uint32_t input, uint32_t videoError, uint32_t audioError)
{
    bool announced = false;
    {
        std::lock_guard lock(m_lock);
        if (input >= m_inputs.size() || videoError > SignalModel::kMaxVideoError ||
            audioError > SignalModel::kMaxAudioError)
            return false;
        announced = AnnounceLocked(input, videoError, audioError);
    }
    if (announced)
        WakeFirmware();
    return true;
}

bool CommandSet::QueueCaptions(uint32_t ntscField, const std::vector<Line21Captions::Pair>& pairs, uint32_t input)
{
    std::lock_guard lock(m_lock);
    return input < m_inputs.size() && m_inputs[input].Captions().Queue(ntscField, pairs);
}

bool CommandSet::SetCaptionWaveform(const Line21Waveform& waveform, uint32_t input)
{
    std::lock_guard lock(m_lock);
    if (input >= m_inputs.size())
        return false;
    m_inputs[input].Captions().SetWaveform(waveform);
    return true;
}

void CommandSet::SetTimeStampCounter(uint32_t value)
{
    std::lock_guard lock(m_lock);
    m_counterOffset = value - static_cast<uint32_t>(NowTicks());
}

uint32_t CommandSet::TimeStampCounter() const
{
    std::lock_guard lock(m_lock);
    return CounterAt(NowTicks());
}

void CommandSet::SetFrameClockManual(bool manual)
{
    std::lock_guard lock(m_lock);
    m_manualClock = manual;
    for (auto& [handle, stream] : m_streams)
        stream.stepsAllowed = 0;
}

bool CommandSet::StepFrames(uint32_t handle, uint64_t frames)
{
    std::lock_guard lock(m_lock);
    const auto found = m_streams.find(handle);
    if (found == m_streams.end())
        return false;
    found->second.stepsAllowed += frames;
    return true;
}

StreamFaults& CommandSet::Faults(StreamKind kind)
{
    return kind == StreamKind::Video ? m_videoFaults : m_audioFaults;
}

std::optional<MailboxResponse> CommandSet::FillQueuedBuffer(uint32_t handle, std::optional<uint32_t> busAddress)
{
    MailboxResponse answer;
    {
        std::lock_guard lock(m_lock);
        const auto found = m_streams.find(handle);
        if (found == m_streams.end())
            return std::nullopt;
        std::vector<QueuedBuffer>& queued = found->second.queued;
        const auto buffer = busAddress ? std::find_if(queued.begin(), queued.end(),
                                                      [&](const QueuedBuffer& b) { return b.busAddress == *busAddress; })
                                       : queued.begin();
        if (buffer == queued.end())
            return std::nullopt;
        const QueuedBuffer taken = *buffer;
        queued.erase(buffer);
        answer = FillLocked(found->second, taken);
        MakeLocked(answer);
    }
    WakeFirmware();
    return answer;
}

} // namespace board
