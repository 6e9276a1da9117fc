// CommandHandler: construction and readying of a command record, its two ways of sending, and the
// dispatch of answers that nobody waits for.
#include "commandhandler.h"

#include "device.h"
#include "driver.h"
#include "km/kernel.h"
#include "messages/Talvexon.h"
#include "logicalstream.h"
#include "tidewellprotocolmanager.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

CommandHandler::CommandHandler(Device* device) : m_device(device)
{
    TRACE_SCOPE(this, "CommandHandler::CommandHandler", kTraceHighEnter);
    KeInitializeEvent(&m_completionEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_secondEvent, SynchronizationEvent, FALSE);
    m_timeout.QuadPart = kDefaultTimeout;
    m_hostTag = device ? device->NextCommandTag() : 1;
    // Once, in both areas: the tag never changes, so every answer finds its record.
    WriteWord(m_commandArea, kTagOffset, m_hostTag);
    WriteWord(m_commandArea, kTagOffset + 4, 0);
    WriteWord(m_responseArea, kTagOffset, m_hostTag);
    WriteWord(m_responseArea, kTagOffset + 4, 0);
}

CommandHandler::~CommandHandler()
{
    TRACE_SCOPE(this, "CommandHandler::~CommandHandler", kTraceHighEnter);
}

ULONG CommandHandler::ReadWord(const UCHAR* area, ULONG offset)
{
    ULONG value;
    memcpy(&value, area + offset, sizeof(value));
    return value;
}

void CommandHandler::WriteWord(PUCHAR area, ULONG offset, ULONG value)
{
    memcpy(area + offset, &value, sizeof(value));
}

void CommandHandler::SetPayloadWord(ULONG index, ULONG value)
{
    if (index >= 1 && index <= kPayloadWords)
        WriteWord(m_commandArea, kPayloadOffset + 4 * (index - 1), value);
}

void CommandHandler::Initialize()
{
    TRACE_SCOPE(this, "CommandHandler::Initialize", kTraceHighEnter);
    m_waited = 0;
    KeResetEvent(&m_completionEvent);
    KeResetEvent(&m_secondEvent);
    SetStream({});
    m_killed.store(0, std::memory_order_release);
    m_timeout.QuadPart = kDefaultTimeout;
    m_exchange.Reset();
}

NTSTATUS CommandHandler::SendCommand()
{
    TRACE_SCOPE(this, "CommandHandler::SendCommand", kTraceHighEnter, "nCommand=%d, nTag=0x%08x",
                static_cast<int>(GetCommandId()), m_hostTag);
    ProtocolManagerReference manager(m_device);
    return QueueTo(manager.Get());
}

NTSTATUS CommandHandler::QueueTo(TidewellProtocolManager* manager)
{
    KeResetEvent(&m_completionEvent);
    KeResetEvent(&m_secondEvent);
    if (!manager) {
        Complete(kDspResultCancelled);
        return STATUS_CANCELLED;
    }
    return manager->QueueCommand(this);
}

NTSTATUS CommandHandler::SendCommandAndWait()
{
    TRACE_SCOPE(this, "CommandHandler::SendCommandAndWait", kTraceHighEnter, "nCommand=%d, nTag=0x%08x",
                static_cast<int>(GetCommandId()), m_hostTag);
    m_waited = 1;
    // One host port from the queueing to the withdrawal: a start that replaces the port waits
    // until this wait is over (the old port's invalidation ends it at once).
    ProtocolManagerReference manager(m_device);
    if (!manager || !manager->GetSettings().hardwareInstalled)
        return STATUS_SUCCESS;
    NTSTATUS status = QueueTo(manager.Get());
    if (!NT_SUCCESS(status))
        return status;
    LARGE_INTEGER timeout = m_timeout;
    status = KeWaitForSingleObject(&m_completionEvent, Executive, KernelMode, FALSE, &timeout);
    if (status == STATUS_SUCCESS)
        return STATUS_SUCCESS;
    if (status == STATUS_TIMEOUT) {
        if (!manager->WithdrawCommand(this)) {
            // The answer (or the manager's stop) reached the record just as the time ran out: its
            // completion is already on its way.
            KeWaitForSingleObject(&m_completionEvent, Executive, KernelMode, FALSE, nullptr);
            return STATUS_SUCCESS;
        }
        TRACE_LINE(this, "CommandHandler::SendCommandAndWait", kTraceErrors,
                   "No answer to command %d (tag 0x%08x) within %d ms", static_cast<int>(GetCommandId()),
                   m_hostTag, static_cast<int>(-m_timeout.QuadPart / 10'000));
    }
    // Never the wait's own status: STATUS_TIMEOUT counts as a success.
    return STATUS_UNSUCCESSFUL;
}

void CommandHandler::ReportNoAnswer(const char* functionName, const char* noAnswerText)
{
    TRACE_SCOPE(this, "CommandHandler::ReportNoAnswer", kTraceHighEnter);
    TRACE_STATUS(this, functionName, kTraceErrors, MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING, "%s", noAnswerText);
    SetDspResult(kDspResultNoAnswer);
}

void CommandHandler::Complete(ULONG dspResult)
{
    SetDspResult(dspResult);
    KeSetEvent(&m_completionEvent, IO_NO_INCREMENT, FALSE);
}

void CommandHandler::ReturnUnowned(const char* why)
{
    TRACE_LINE(this, "CommandHandler::ProcessCommandResponse", kTraceWarnings,
               "%s: response id %d, tag 0x%08x, DSP result 0x%08x; the record goes back to the pool", why,
               static_cast<int>(GetResponseId()), ReadWord(m_responseArea, kTagOffset), GetDspResult());
    if (m_device)
        m_device->FreeCommandHandler(this);
}

void CommandHandler::ProcessCommandResponse()
{
    TRACE_SCOPE(this, "CommandHandler::ProcessCommandResponse", kTraceHighEnter, "nResponse=%d",
                static_cast<int>(GetResponseId()));
    if (m_waited) {
        // The waiting sender owns the record.
        KeSetEvent(&m_completionEvent, IO_NO_INCREMENT, FALSE);
        return;
    }
    switch (GetResponseId()) {
    case kResponseFilledBuffer: {
        // A stream the device still knows takes the record through LogicalStream::OnFrameReady,
        // under a rundown reference that keeps the stream from going while it works; a stream
        // that is gone (or going) never sees it, and the record goes back to the pool.
        const LogicalStreamHandle stream = GetStream();
        if (stream.IsNull()) {
            ReturnUnowned("A filled buffer without a stream");
        } else {
            LogicalStreamReference reference;
            if (!m_device || !m_device->ValidateLogicalStream(stream, &reference))
                ReturnUnowned("A filled buffer for a stream that is gone");
            else
                reference->OnFrameReady(this);
        }
        break;
    }
    case kResponseInputState:
        if (m_device) {
            m_device->ProcessInputStateChanged(this);
            m_device->FreeCommandHandler(this);
        }
        break;
    default:
        ReturnUnowned("An answer nobody waits for");
        break;
    }
}

// ---- The typed commands ----------------------------------------------------------------------

void CommandHandler::Prepare(ULONG commandId, ULONG parameter)
{
    SetCommandId(commandId);
    SetParameter(parameter);
}

ULONG CommandHandler::GetPayloadWord(ULONG index) const
{
    return ReadWord(m_commandArea, kPayloadOffset + 4 * (index - 1));
}

void CommandHandler::SetPayloadBit0(ULONG index, bool bit)
{
    // Only bit 0 is the command's; the rest of the word is left as the record carries it.
    SetPayloadWord(index, (GetPayloadWord(index) & ~1u) | (bit ? 1u : 0u));
}

NTSTATUS CommandHandler::SendCheckedCommand(const char* functionName, const char* noAnswerText)
{
    const NTSTATUS status = SendCommandAndWait();
    if (NT_SUCCESS(status))
        return status;
    ProtocolManagerReference manager(m_device);
    if (manager && manager->IsBoardRemoved()) {
        // Refused because the board is gone: no firmware failed to answer.
        TRACE_LINE(this, functionName, kTraceWarnings, "%s (the board was removed)", noAnswerText);
        SetDspResult(kDspResultNoAnswer);
        return status;
    }
    ReportNoAnswer(functionName, noAnswerText);
    return status;
}

NTSTATUS CommandHandler::AllocateDspMemory(ULONG length, ULONG memoryType, bool flag, ULONG value4, ULONG value5)
{
    TRACE_SCOPE(this, "CommandHandler::AllocateDspMemory", kTraceHighEnter,
                "length=%d, memoryType=%d, flag=%d, value4=0x%08x, value5=0x%08x", static_cast<int>(length),
                static_cast<int>(memoryType), flag ? 1 : 0, value4, value5);
    Prepare(kCommandAllocateDspMemory, memoryType);
    SetPayloadWord(1, length);
    SetPayloadBit0(2, flag);
    SetPayloadWord(4, value4);
    SetPayloadWord(5, value5);
    const NTSTATUS status = SendCheckedCommand("CommandHandler::AllocateDspMemory",
                                               "DSP FAILED to respond to allocate memory request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() == kDspResultSuccess) {
        TRACE_LINE(this, "CommandHandler::AllocateDspMemory", kTraceHighs,
                   "Allocated DSP memory resource.  Handle=0x%08x", GetResultWordB());
        return STATUS_SUCCESS;
    }
    TRACE_STATUS(this, "CommandHandler::AllocateDspMemory", kTraceErrors, MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR,
                 "Failed to allocate DSP memory resource.  Error Code is 0x%08x.", GetDspResult());
    WriteWord(m_responseArea, kResultWordAOffset, 0);
    WriteWord(m_responseArea, kResultWordBOffset, 0);
    return MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR;
}

NTSTATUS CommandHandler::FreeDspMemory(ULONG handle)
{
    TRACE_SCOPE(this, "CommandHandler::FreeDspMemory", kTraceHighEnter, "handle=0x%08x", handle);
    Prepare(kCommandFreeDspMemory, handle);
    const NTSTATUS status =
        SendCheckedCommand("CommandHandler::FreeDspMemory", "DSP FAILED to respond to free memory request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() == kDspResultSuccess) {
        TRACE_LINE(this, "CommandHandler::FreeDspMemory", kTraceHighs, "Released DSP memory resource.  Handle=0x%08x",
                   handle);
        return STATUS_SUCCESS;
    }
    TRACE_STATUS(this, "CommandHandler::FreeDspMemory", kTraceErrors, MSG_FAILED_RELEASED_DSP_MEMORY_RESOURCE_HANDLE,
                 "FAILED to released DSP memory resource.  Handle=0x%08x.  Error code is 0x%08x", handle,
                 GetDspResult());
    return MSG_FAILED_RELEASED_DSP_MEMORY_RESOURCE_HANDLE;
}

PVOID CommandHandler::AllocateDmaMemory(ULONG length, PHYSICAL_ADDRESS* busAddress)
{
    TRACE_SCOPE(this, "CommandHandler::AllocateDmaMemory", kTraceHighEnter, "length=%d", static_cast<int>(length));
    if (busAddress)
        busAddress->QuadPart = 0;
    if (!m_device || !busAddress)
        return nullptr;
    return m_device->AllocateDmaBuffer(length, busAddress);
}

NTSTATUS CommandHandler::FreeDmaMemory(ULONG length, PHYSICAL_ADDRESS busAddress, PVOID virtualAddress)
{
    TRACE_SCOPE(this, "CommandHandler::FreeDmaMemory", kTraceHighEnter);
    TRACE_LINE(this, "CommandHandler::FreeDmaMemory", kTraceHighs,
               "length=%d pVirtualAddress=0x%08x, physicalAddress=0x%08x %08x", static_cast<int>(length),
               static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(virtualAddress)), busAddress.u.HighPart,
               busAddress.u.LowPart);
    if (!m_device)
        return STATUS_INVALID_PARAMETER;
    return m_device->FreeDmaBuffer(length, busAddress, virtualAddress);
}

NTSTATUS CommandHandler::CopyDspMemory(ULONG source, ULONG destination, ULONG length, ULONG direction)
{
    TRACE_SCOPE(this, "CommandHandler::CopyDspMemory", kTraceHighEnter,
                "source=0x%08x, destination=0x%08x, length=%d, direction=%d", source, destination,
                static_cast<int>(length), static_cast<int>(direction));
    Prepare(kCommandCopyMemory, source);
    SetPayloadWord(1, destination);
    SetPayloadWord(2, length);
    SetPayloadWord(3, direction);
    return SendCommandAndWait();
}

void CommandHandler::ReleaseDspBlock(ULONG handle, bool recordUsable)
{
    if (recordUsable) {
        FreeDspMemory(handle);
        return;
    }
    CommandHandler* other = m_device ? m_device->AllocateCommandHandler() : nullptr;
    if (!other) {
        TRACE_LINE(this, "CommandHandler::ReleaseDspBlock", kTraceErrors,
                   "No command record to release DSP memory handle 0x%08x", handle);
        return;
    }
    other->FreeDspMemory(handle);
    m_device->FreeCommandHandler(other);
}

NTSTATUS CommandHandler::ProgramFPGA(const UCHAR* image, ULONG size)
{
    TRACE_SCOPE(this, "CommandHandler::ProgramFPGA", kTraceHighEnter, "size=%d", static_cast<int>(size));
    if (!image || size == 0 || size > 0xFFFFFFFFu - 4)
        return STATUS_INVALID_PARAMETER;
    const ULONG stagedBytes = size + 4;
    NTSTATUS status = AllocateDspMemory(stagedBytes, kDspMemoryExternal, false, 0, 0);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG dspAddress = GetResultWordA();
    const ULONG dspHandle = GetResultWordB();

    PHYSICAL_ADDRESS busAddress{};
    PVOID hostBuffer = AllocateDmaMemory(stagedBytes, &busAddress);
    bool recordUsable = true;
    if (!hostBuffer) {
        // Without a host buffer nothing reaches the FPGA: a failure, not the allocation's success.
        TRACE_LINE(this, "CommandHandler::ProgramFPGA", kTraceErrors, "No host buffer of %d bytes for the FPGA image",
                   static_cast<int>(stagedBytes));
        status = STATUS_INSUFFICIENT_RESOURCES;
    } else {
        status = CopyAndProgramFpga(image, size, dspAddress, hostBuffer, busAddress);
        // A wait that failed leaves the record with the DSP (or the manager stopped).
        recordUsable = status != STATUS_UNSUCCESSFUL && status != STATUS_CANCELLED &&
                       status != STATUS_INVALID_DEVICE_STATE;
        FreeDmaMemory(stagedBytes, busAddress, hostBuffer);
    }
    ReleaseDspBlock(dspHandle, recordUsable);
    return status;
}

NTSTATUS CommandHandler::CopyAndProgramFpga(const UCHAR* image, ULONG size, ULONG dspAddress, PVOID hostBuffer,
                                            PHYSICAL_ADDRESS busAddress)
{
    // The checksum covers the whole 32-bit words only; the DSP checks it before it programs.
    ULONG checksum = 0;
    for (ULONG i = 0; i < size / 4; ++i) {
        ULONG word;
        memcpy(&word, image + 4 * i, sizeof(word));
        checksum ^= word;
    }
    auto* staged = static_cast<PUCHAR>(hostBuffer);
    memcpy(staged, &checksum, sizeof(checksum));
    memcpy(staged + 4, image, size);

    const ULONG copyLength = size + 4;
    NTSTATUS status = CopyDspMemory(busAddress.u.LowPart, dspAddress, copyLength, kCopyHostToDsp);
    if (NT_SUCCESS(status) && GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::ProgramFPGA", kTraceErrors, MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS,
                     "DSP FAILED to copy memory from %s address 0x%08x to %s address 0x%08x.  Error code is 0x%08x",
                     "HOST", busAddress.u.LowPart, "DSP", dspAddress, GetDspResult());
        return MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS;
    }
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, "CommandHandler::ProgramFPGA", kTraceErrors, MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS,
                     "DSP FAILED to copy memory from %s address 0x%08x to %s address 0x%08x.  Error code is 0x%08x",
                     "HOST", busAddress.u.LowPart, "DSP", dspAddress, static_cast<ULONG>(status));
        return status;
    }

    Prepare(kCommandProgramFpga, dspAddress);
    SetPayloadWord(1, size);
    SetPayloadWord(2, copyLength | 1);
    status = SendCheckedCommand("CommandHandler::ProgramFPGA", "DSP FAILED to respond to program fpga request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::ProgramFPGA", kTraceErrors, MSG_FPGA_DID_NOT_PROGRAM_SUCCESSFULLY_ERROR,
                     "The FPGA did not program successfully.  Error code is %d.", static_cast<int>(GetDspResult()));
        return MSG_FPGA_DID_NOT_PROGRAM_SUCCESSFULLY_ERROR;
    }
    TRACE_LINE(this, "CommandHandler::ProgramFPGA", kTraceHighs, "The FPGA programmed successfully");
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::CreateDspStream(const DspStreamSettings& settings, DspStreamKind kind,
                                         const char* functionName)
{
    Prepare(kCommandCreateStream, settings.inputType);
    for (ULONG i = 0; i < 8; ++i)
        SetPayloadWord(i + 1, settings.descriptor[i]);
    if (kind == DspStreamKind::Audio)
        SetPayloadWord(5, kAudioDescriptorWord4);
    const NTSTATUS status = SendCheckedCommand(functionName, "DSP FAILED to respond to create stream request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, functionName, kTraceErrors, MSG_DSP_FAILED_CREATE_STREAM_ERROR_CODE,
                     "DSP failed to create the %s stream.  Error code is %d.",
                     kind == DspStreamKind::Audio ? "audio" : "video", static_cast<int>(GetDspResult()));
        return MSG_DSP_FAILED_CREATE_STREAM_ERROR_CODE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::CreateVideoDspStream(const DspStreamSettings& settings)
{
    TRACE_SCOPE(this, "CommandHandler::CreateVideoDspStream", kTraceHighEnter, "inputType=%d",
                static_cast<int>(settings.inputType));
    return CreateDspStream(settings, DspStreamKind::Video, "CommandHandler::CreateVideoDspStream");
}

NTSTATUS CommandHandler::CreateAudioDspStream(const DspStreamSettings& settings)
{
    TRACE_SCOPE(this, "CommandHandler::CreateAudioDspStream", kTraceHighEnter, "inputType=%d",
                static_cast<int>(settings.inputType));
    return CreateDspStream(settings, DspStreamKind::Audio, "CommandHandler::CreateAudioDspStream");
}

NTSTATUS CommandHandler::QueueCaptureBufferToDsp(LogicalStreamHandle stream, ULONG dspStreamHandle, ULONG busAddress,
                                                 ULONG size)
{
    TRACE_SCOPE(this, "CommandHandler::QueueCaptureBufferToDsp", kTraceHighEnter,
                "handle=0x%08x, busAddress=0x%08x, size=%d", dspStreamHandle, busAddress, static_cast<int>(size));
    Prepare(kCommandQueueCaptureBuffer, dspStreamHandle);
    SetPayloadWord(1, busAddress);
    SetPayloadWord(2, size);
    m_waited = 0;
    SetStream(stream);
    m_killed.store(0, std::memory_order_release);
    return SendCommand();
}

NTSTATUS CommandHandler::EnableDspStream(ULONG dspStreamHandle, bool enable)
{
    TRACE_SCOPE(this, "CommandHandler::EnableDspStream", kTraceHighEnter, "handle=0x%08x, enable=%d",
                dspStreamHandle, enable ? 1 : 0);
    Prepare(kCommandEnableStream, dspStreamHandle);
    // A 16-bit field: the upper half of the word is the record's own.
    SetPayloadWord(1, (GetPayloadWord(1) & 0xFFFF0000u) | (enable ? 1u : 0u));
    return SendCommandAndWait();
}

NTSTATUS CommandHandler::DestroyDspStream(ULONG dspStreamHandle, DspStreamKind kind)
{
    TRACE_SCOPE(this, "CommandHandler::DestroyDspStream", kTraceHighEnter, "handle=0x%08x", dspStreamHandle);
    Prepare(kCommandDestroyStream, dspStreamHandle);
    const NTSTATUS status =
        SendCheckedCommand("CommandHandler::DestroyDspStream", "DSP FAILED to respond to destroy stream request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::DestroyDspStream", kTraceErrors, MSG_DSP_FAILED_DESTROY_STREAM_ERROR_CODE,
                     "DSP failed to destroy the %s stream.  Error code is %d.",
                     kind == DspStreamKind::Audio ? "audio" : "video", static_cast<int>(GetDspResult()));
        return MSG_DSP_FAILED_DESTROY_STREAM_ERROR_CODE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadDspEeprom(ULONG part, PUCHAR buffer, ULONG bufferBytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadDspEeprom", kTraceHighEnter, "part=%d", static_cast<int>(part));
    ULONG eepromOffset = 0;
    ULONG words = kEepromWords;
    ULONG bufferOffset = 0;
    if (part == kEepromPartIdentity) {
        words = kEepromIdentityWords;
    } else if (part == kEepromPartManufacturing) {
        eepromOffset = kEepromManufacturingOffset;
        words = kEepromManufacturingWords;
        bufferOffset = kEepromManufacturingBufferOffset;
    }
    const ULONG bytes = words * 2;
    if (!buffer || bufferBytes < bufferOffset + bytes) {
        TRACE_LINE(this, "CommandHandler::ReadDspEeprom", kTraceErrors,
                   "A buffer of %d bytes does not hold part %d (%d bytes at offset %d)", static_cast<int>(bufferBytes),
                   static_cast<int>(part), static_cast<int>(bytes), static_cast<int>(bufferOffset));
        return buffer ? STATUS_BUFFER_TOO_SMALL : STATUS_INVALID_PARAMETER;
    }
    ProtocolManagerReference manager(m_device);
    if (!manager)
        return STATUS_DEVICE_NOT_READY;

    NTSTATUS status = AllocateDspMemory(kEepromStagingBytes, kDspMemoryExternal, true, 0, 0);
    if (!NT_SUCCESS(status))
        return status; // no staging block: the DSP must not read the EEPROM over address 0
    const ULONG stagingAddress = GetResultWordA();
    const ULONG stagingHandle = GetResultWordB();

    Prepare(kCommandEeprom, eepromOffset);
    SetPayloadWord(1, stagingAddress);
    SetPayloadWord(2, words);
    SetPayloadBit0(3, false);
    status = SendCheckedCommand("CommandHandler::ReadDspEeprom", "DSP FAILED to respond to eeprom request.");
    const bool recordUsable = NT_SUCCESS(status);
    if (NT_SUCCESS(status)) {
        if (GetDspResult() == kDspResultSuccess) {
            TRACE_LINE(this, "CommandHandler::ReadDspEeprom", kTraceHighs, "DSP successfully read its eeprom");
            status = manager->ReadDspMemory(buffer + bufferOffset, stagingAddress, bytes);
        } else {
            TRACE_STATUS(this, "CommandHandler::ReadDspEeprom", kTraceErrors, MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE,
                         "DSP FAILED to read its eeprom.  Error code is 0x%d.", static_cast<int>(GetDspResult()));
            status = MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE;
        }
    }
    ReleaseDspBlock(stagingHandle, recordUsable);
    return status;
}

NTSTATUS CommandHandler::WriteDspEeprom(const USHORT* data, ULONG words, ULONG offset, ULONG stagingAddress)
{
    TRACE_SCOPE(this, "CommandHandler::WriteDspEeprom", kTraceHighEnter, "words=%d, offset=%d, staging=0x%08x",
                static_cast<int>(words), static_cast<int>(offset), stagingAddress);
    if ((!data && words) || words > kEepromWords || offset > kEepromWords - words)
        return STATUS_INVALID_PARAMETER;
    ProtocolManagerReference manager(m_device);
    if (!manager)
        return STATUS_DEVICE_NOT_READY;
    NTSTATUS status = manager->ProgramDspMemory(reinterpret_cast<const UCHAR*>(data), stagingAddress, words * 2);
    if (!NT_SUCCESS(status))
        return status;
    Prepare(kCommandEeprom, offset);
    SetPayloadWord(1, stagingAddress);
    SetPayloadWord(2, words);
    SetPayloadBit0(3, true);
    status = SendCheckedCommand("CommandHandler::WriteDspEeprom", "DSP FAILED to respond to eeprom request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::WriteDspEeprom", kTraceErrors, MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE,
                     "DSP FAILED to write its eeprom.  Error code is 0x%d.", static_cast<int>(GetDspResult()));
        return MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE;
    }
    TRACE_LINE(this, "CommandHandler::WriteDspEeprom", kTraceHighs, "DSP successfully wrote its eeprom");
    return STATUS_SUCCESS;
}

bool CommandHandler::HardwareInstalled() const
{
    ProtocolManagerReference manager(m_device);
    return manager && manager->GetSettings().hardwareInstalled;
}

NTSTATUS CommandHandler::ReadFPGARegister(ULONG reg, ULONG* value)
{
    TRACE_SCOPE(this, "CommandHandler::ReadFPGARegister", kTraceHighEnter, "register=0x%08x", reg);
    if (!value)
        return STATUS_INVALID_PARAMETER;
    if (!HardwareInstalled()) {
        // Nothing to ask: the register number stands in for its value.
        *value = reg;
        SetDspResult(kDspResultSuccess);
        return STATUS_SUCCESS;
    }
    Prepare(kCommandReadFpgaRegister, reg);
    const NTSTATUS status =
        SendCheckedCommand("CommandHandler::ReadFPGARegister", "DSP FAILED to respond to read fpga register request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::ReadFPGARegister", kTraceErrors, MSG_FAILED_READ_FPGA_REGISTER_ERROR_CODE,
                     "Failed to READ FPGA register 0x%08x.  Error Code is 0x%08x.", reg, GetDspResult());
        return MSG_FAILED_READ_FPGA_REGISTER_ERROR_CODE;
    }
    *value = GetResultWordA();
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WriteFPGARegister(ULONG reg, ULONG value, ULONG mask, bool shadowWrite)
{
    TRACE_SCOPE(this, "CommandHandler::WriteFPGARegister", kTraceHighEnter,
                "register=0x%08x, value=0x%08x, mask=0x%08x, shadow=%d", reg, value, mask, shadowWrite ? 1 : 0);
    if (!HardwareInstalled()) {
        SetDspResult(kDspResultSuccess);
        return STATUS_SUCCESS;
    }
    Prepare(kCommandWriteFpgaRegister, reg);
    SetPayloadWord(1, value);
    SetPayloadWord(2, mask);
    SetPayloadWord(3, (GetPayloadWord(3) & 0xFFFF0000u) | (shadowWrite ? 1u : 0u));
    const NTSTATUS status = SendCheckedCommand("CommandHandler::WriteFPGARegister",
                                               "DSP FAILED to respond to write fpga register request.");
    if (!NT_SUCCESS(status))
        return status;
    if (GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::WriteFPGARegister", kTraceErrors, MSG_FAILED_WRITE_FPGA_REGISTER_ERROR_CODE,
                     "Failed to WRITE FPGA register 0x%08x.  Error Code is 0x%08x.", reg, GetDspResult());
        return MSG_FAILED_WRITE_FPGA_REGISTER_ERROR_CODE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::SetDspPerformanceParams()
{
    TRACE_SCOPE(this, "CommandHandler::SetDspPerformanceParams", kTraceHighEnter);
    ProtocolManagerReference manager(m_device);
    if (!manager)
        return STATUS_DEVICE_NOT_READY;
    const DspHostSettings& settings = manager->GetSettings();
    Prepare(kCommandPerformanceParams, settings.pciSDXferSize);
    SetPayloadWord(1, settings.pciHD720XferSize);
    SetPayloadWord(2, settings.pciHDOtherXferSize);
    SetPayloadWord(3, settings.edmaVideoPriority);
    SetPayloadWord(4, settings.edmaAudioPriority);
    SetPayloadWord(5, settings.edmaPciPriority);
    SetPayloadWord(6, settings.edmaCpuPriority);
    SetPayloadWord(7, settings.hd1080HalfScale);
    TRACE_LINE(
        this, "CommandHandler::SetDspPerformanceParams", kTraceHighs,
        "SDXferSize=0x%08x, HD720PXferSize=0x%08x, HDOtherXferSize=0x%08x, VideoEdmaPriority=0x%08x, "
        "AudioEdmaPriority=0x%08x, PciEdmaPriority==0x%08x, EdmaCpuPriority=0x%08x, HD1080HalfScale=0x%08x",
        settings.pciSDXferSize, settings.pciHD720XferSize, settings.pciHDOtherXferSize,
        settings.edmaVideoPriority, settings.edmaAudioPriority, settings.edmaPciPriority,
        settings.edmaCpuPriority, settings.hd1080HalfScale);
    return SendCommandAndWait();
}

NTSTATUS CommandHandler::SetAudioConfig(const ULONG* record, ULONG words)
{
    TRACE_SCOPE(this, "CommandHandler::SetAudioConfig", kTraceHighEnter);
    if (!record || words < kAudioConfigurationWords)
        return STATUS_INVALID_PARAMETER;
    Prepare(kCommandAudioConfig, record[7]);
    for (ULONG i = 0; i < 8; ++i)
        SetPayloadWord(i + 1, record[10 + i]);
    return SendCommandAndWait();
}

NTSTATUS CommandHandler::SetAnalogDCGain(UCHAR gain, UCHAR channel)
{
    TRACE_SCOPE(this, "CommandHandler::SetAnalogDCGain", kTraceHighEnter, "gain=%d, channel=%d",
                static_cast<int>(gain), static_cast<int>(channel));
    SetCommandId(kCommandAnalogDCGain);
    // Two bytes of parameter word 0; its upper half is left as the record carries it.
    m_commandArea[kParameterOffset] = gain;
    m_commandArea[kParameterOffset + 1] = channel;
    return SendCommandAndWait();
}

NTSTATUS CommandHandler::GetDCSignature(ULONG* signature)
{
    TRACE_SCOPE(this, "CommandHandler::GetDCSignature", kTraceHighEnter);
    if (!signature)
        return STATUS_INVALID_PARAMETER;
    *signature = kNoDCSignature;
    SetCommandId(kCommandDCSignature);
    const NTSTATUS status = SendCommandAndWait();
    // Without hardware nothing was asked: the response area holds no signature.
    if (NT_SUCCESS(status) && HardwareInstalled())
        *signature = GetResultWordA();
    return status;
}
