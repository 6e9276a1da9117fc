// The main firmware's typed commands and the stream slots.
#include "board/CommandSet.h"

#include <algorithm>
#include <utility>

#include "LittleEndian.h"
#include "board/CapturePattern.h"
#include "board/DspMemory.h"
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

uint32_t DspTimeStamp()
{
    return static_cast<uint32_t>(static_cast<uint64_t>(platform::Clock::Now()) * CommandSet::kTicksPerClockUnit);
}

// The answer to a queued buffer: bus address in A, data size in B, the time stamp and the status
// words after them.
MailboxResponse BufferAnswer(const MailboxCommand& queue, uint32_t result, uint32_t busAddress,
                             uint32_t dataSize = 0, const StatusWords& status = {})
{
    MailboxResponse response = MailboxResponse::AnswerTo(queue, result, busAddress, dataSize);
    response.SetWord(kResponseTimeStamp, DspTimeStamp());
    for (uint32_t i = 0; i < kStatusWordCount; ++i)
        response.SetWord(kResponseStatusWords + 4 * i, status[i]);
    return response;
}

} // namespace

CommandSet::CommandSet(DspMemory& memory, FpgaModel& fpga, Eeprom& eeprom, platform::DmaAddressMap& dma)
    : m_memory(memory), m_fpga(fpga), m_eeprom(eeprom), m_dma(dma)
{
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
    // Answers a hook made earlier go first, so a buffer filled before a destroy is never answered
    // after the destroy's own answer.
    std::vector<MailboxResponse> answers(m_made.begin(), m_made.end());
    m_made.clear();
    for (MailboxResponse& response : HandleLocked(command))
        answers.push_back(std::move(response));
    return answers;
}

std::vector<MailboxResponse> CommandSet::TakeMadeAnswers()
{
    std::lock_guard lock(m_lock);
    std::vector<MailboxResponse> answers(m_made.begin(), m_made.end());
    m_made.clear();
    return answers;
}

void CommandSet::Restart()
{
    std::lock_guard lock(m_lock);
    m_allocator.Clear();
    m_streams.clear();
    m_nextStream = 1;
    m_made.clear();
    m_performance.reset();
    m_audioConfiguration.reset();
    m_dcGains.clear();
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
    if (found == m_streams.end())
        return BufferAnswer(command, kDspErrorBadHandle, busAddress);
    if (size == 0 || size > kMaxBufferSize)
        return BufferAnswer(command, kDspErrorBadParameter, busAddress);
    if (found->second.queued.size() >= kMaxQueuedBuffers)
        return BufferAnswer(command, kDspErrorNoMemory, busAddress);
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
        return MailboxResponse::AnswerTo(command, kDspResultSuccess);
    case 1:
        if (!m_signalPresent)
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
    for (const QueuedBuffer& buffer : found->second.queued)
        answers.push_back(BufferAnswer(buffer.command, kDspErrorCancelled, buffer.busAddress));
    m_streams.erase(found);
    answers.push_back(MailboxResponse::AnswerTo(command, kDspResultSuccess));
    return answers;
}

MailboxResponse CommandSet::FillLocked(DspStream& stream, const QueuedBuffer& buffer)
{
    std::vector<uint8_t> data;
    StatusWords status{};
    if (stream.kind == StreamKind::Video) {
        const VideoGeometry geometry = VideoGeometry::FromDescriptor(stream.descriptor);
        if (!geometry.Valid() || geometry.DataSize() > buffer.size)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress);
        data = CapturePattern::Video(geometry, m_fpga.Register(FpgaModel::kAlignmentControl));
        status = geometry.Status();
    } else {
        if (buffer.size < CapturePattern::kAudioDataSize)
            return BufferAnswer(buffer.command, kDspErrorBadParameter, buffer.busAddress);
        data = CapturePattern::Audio();
        status = CapturePattern::AudioStatus();
    }
    if (m_dma.Write(buffer.busAddress, data.data(), data.size()) != platform::BusStatus::Ok)
        return BufferAnswer(buffer.command, kDspErrorDmaNotMapped, buffer.busAddress);
    ++stream.filled;
    return BufferAnswer(buffer.command, kDspResultSuccess, buffer.busAddress, static_cast<uint32_t>(data.size()),
                        status);
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
    std::lock_guard lock(m_lock);
    m_signalPresent = present;
}

bool CommandSet::SignalPresent() const
{
    std::lock_guard lock(m_lock);
    return m_signalPresent;
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
        m_made.push_back(answer);
    }
    WakeFirmware();
    return answer;
}

} // namespace board
