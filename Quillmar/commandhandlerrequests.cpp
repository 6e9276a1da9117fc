// CommandHandler: the private device-control requests. A record serves one request on a system
// thread of its own: it takes the request out of the device's cancel-safe queue, checks its buffers
// exactly, runs the request's handler on the board and completes it. Every size is computed in 64
// bits, and every address, offset and host buffer that comes from user mode is checked against
// what the device holds before the board is touched (docs/driver-private-requests.md).
#include "commandhandler.h"

#include "device.h"
#include "hostbuffertable.h"
#include "kernel/poolallocation.h"
#include "kernel/systemthread.h"
#include "km/kernel.h"
#include "km/mdl.h"
#include "km/thread.h"
#include "messages/Talvexon.h"
#include "tidewellprotocolmanager.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

ULONG ReadRecordWord(const UCHAR* record, ULONG index)
{
    ULONG value;
    memcpy(&value, record + 4 * index, sizeof(value));
    return value;
}

void WriteRecordWord(PUCHAR record, ULONG index, ULONG value)
{
    memcpy(record + 4 * index, &value, sizeof(value));
}

// Bytes of one value of a register width code; 0 for codes that do nothing.
ULONG RegisterWidthBytes(ULONG widthCode)
{
    switch (widthCode) {
    case 0:
    case 1:
    case 2:
        return 1;
    case 3:
        return 2;
    case 4:
        return 4;
    default:
        return 0;
    }
}

constexpr ULONG kEepromParts = 3; // 0 identity, 1 manufacturing, 2 everything

} // namespace

const char* CommandHandler::RequestName(ULONG code)
{
    switch (code) {
    case kIoctlGetDspMemoryInfo: return "GET DSP MEMORY INFO";
    case kIoctlReadDspMemory: return "READ DSP MEMORY";
    case kIoctlWriteDspMemory: return "WRITE DSP MEMORY";
    case kIoctlReadDspRegister: return "READ DSP REGISTER";
    case kIoctlWriteDspRegister: return "WRITE DSP REGISTER";
    case kIoctlWaitForDspInterrupt: return "WAIT FOR DSP INTERRUPT";
    case kIoctlReadFpgaRegister: return "READ FPGA REGISTER";
    case kIoctlWriteFpgaRegister: return "WRITE FPGA REGISTER";
    case kIoctlResetDsp: return "RESET DSP";
    case kIoctlAllocateMemory: return "ALLOCATE MEMORY";
    case kIoctlFreeMemory: return "FREE MEMORY";
    case kIoctlDspCopyMemory: return "DSP COPY MEMORY";
    case kIoctlReadDspEeprom: return "READ DSP EEPROM";
    case kIoctlWriteDspEeprom: return "WRITE DSP EEPROM";
    case kIoctlReadDeviceConfig: return "READ DEVICE CONFIG";
    default: return "UNKNOWN";
    }
}

// ---- The request thread ------------------------------------------------------------------------

NTSTATUS CommandHandler::ProcessIOCTL()
{
    TRACE_SCOPE(this, "CommandHandler::ProcessIOCTL", kTraceHighEnter);
    InitializeObjectAttributes(&m_objectAttributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    m_irp = nullptr;
    m_irpStack = nullptr;
    m_threadHandle = nullptr;
    m_pinnedHostBuffer = 0;
    KeInitializeEvent(&m_threadReadyEvent, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    const NTSTATUS status = PsCreateSystemThread(&handle, kSystemThreadAllAccess, &m_objectAttributes, nullptr, nullptr,
                                                 &CommandHandler::RequestThread, this);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CommandHandler::ProcessIOCTL", kTraceErrors, "The request thread could not start: 0x%08x",
                   static_cast<ULONG>(status));
        return status;
    }
    // The thread closes its own handle once it is stored here.
    m_threadHandle = handle;
    KeSetEvent(&m_threadReadyEvent, IO_NO_INCREMENT, FALSE);
    return STATUS_SUCCESS;
}

VOID NTAPI CommandHandler::RequestThread(PVOID context)
{
    auto* handler = static_cast<CommandHandler*>(context);
    Device* device = handler->m_device;
    KeWaitForSingleObject(&handler->m_threadReadyEvent, Executive, KernelMode, FALSE, nullptr);
    handler->ProcessIOCTLCommand();
    ZwClose(handler->m_threadHandle);
    handler->m_threadHandle = nullptr;
    device->FreeCommandHandler(handler);
    // The last touch of the device: its stop may go on from here.
    device->RequestThreadEnded();
    PsTerminateSystemThread(STATUS_SUCCESS);
}

bool CommandHandler::HeldForLateAnswer()
{
    ProtocolManagerReference manager(m_device);
    return manager && manager->IsHeldForLateAnswer(this);
}

void CommandHandler::ProcessIOCTLCommand()
{
    TRACE_SCOPE(this, "CommandHandler::ProcessIOCTLCommand", kTraceHighEnter);
    PIRP irp = IoCsqRemoveIrp(m_device->GetIrpQueue(), &m_queueContext);
    if (!irp) {
        TRACE_LINE(this, "CommandHandler::ProcessIOCTLCommand", kTraceLows,
                   "The request left the queue before its thread took it");
        m_device->RequestLeftBoard();
        return;
    }
    m_irp = irp;
    m_irpStack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = m_irpStack->Parameters.DeviceIoControl.IoControlCode;
    TRACE_LINE(this, "CommandHandler::ProcessIOCTLCommand", kTraceLows, "Request type %s", RequestName(code));
    ULONG bytes = 0;
    const NTSTATUS status = HandleRequest(code, &bytes);
    TRACE_LINE(this, "CommandHandler::ProcessIOCTLCommand", kTraceLows, "Request returned %d bytes",
               static_cast<int>(NT_SUCCESS(status) ? bytes : 0));
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? bytes : 0;
    m_irp = nullptr;
    m_irpStack = nullptr;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    // From here on the thread touches neither the board's registers nor its window.
    m_device->RequestLeftBoard();
    // A command that got no answer in time is still the DSP's: the record is given back only after
    // its late answer or the protocol manager's stop. So is a host buffer a copy goes through.
    if (HeldForLateAnswer()) {
        TRACE_LINE(this, "CommandHandler::ProcessIOCTLCommand", kTraceWarnings,
                   "Waiting for the DSP's late answer to record 0x%08x", m_hostTag);
        KeWaitForSingleObject(&m_completionEvent, Executive, KernelMode, FALSE, nullptr);
    }
    if (m_pinnedHostBuffer != 0) {
        m_device->GetHostBuffers()->Unpin(m_pinnedHostBuffer);
        m_pinnedHostBuffer = 0;
    }
}

NTSTATUS CommandHandler::HandleRequest(ULONG code, ULONG* bytes)
{
    switch (code) {
    case kIoctlGetDspMemoryInfo: return GetDspMemoryInfo(bytes);
    case kIoctlReadDspMemory: return ReadDspMemoryRequest(bytes);
    case kIoctlWriteDspMemory: return WriteDspMemoryRequest(bytes);
    case kIoctlReadDspRegister: return ReadDspRegisterRequest(bytes);
    case kIoctlWriteDspRegister: return WriteDspRegisterRequest(bytes);
    case kIoctlWaitForDspInterrupt: return WaitForDspInterruptRequest(bytes);
    case kIoctlReadFpgaRegister: return ReadFpgaRegisterRequest(bytes);
    case kIoctlWriteFpgaRegister: return WriteFpgaRegisterRequest(bytes);
    case kIoctlResetDsp: return ResetDspRequest(bytes);
    case kIoctlAllocateMemory: return AllocateMemoryRequest(bytes);
    case kIoctlFreeMemory: return FreeMemoryRequest(bytes);
    case kIoctlDspCopyMemory: return DspCopyMemoryRequest(bytes);
    case kIoctlReadDspEeprom: return ReadDspEepromRequest(bytes);
    case kIoctlWriteDspEeprom: return WriteDspEepromRequest(bytes);
    case kIoctlReadDeviceConfig: return ReadDeviceConfigRequest(bytes);
    default:
        // 0x22A01E is queued like the others and refused here.
        TRACE_LINE(this, "CommandHandler::ProcessIOCTLCommand", kTraceWarnings, "Unknown request 0x%08x", code);
        return STATUS_INVALID_PARAMETER;
    }
}

// ---- Buffers ----------------------------------------------------------------------------------

NTSTATUS CommandHandler::GetInputParameters(PVOID* input, ULONG* inputLength, PVOID* output, ULONG* outputLength,
                                            ULONG required)
{
    TRACE_SCOPE(this, "CommandHandler::GetInputParameters", kTraceHighEnter);
    *input = m_irp ? m_irp->AssociatedIrp.SystemBuffer : nullptr;
    *inputLength = m_irpStack ? m_irpStack->Parameters.DeviceIoControl.InputBufferLength : 0;
    *output = m_irp && m_irp->MdlAddress ? MmGetSystemAddressForMdlSafe(m_irp->MdlAddress, NormalPagePriority)
                                         : nullptr;
    *outputLength = *output ? m_irpStack->Parameters.DeviceIoControl.OutputBufferLength : 0;
    if (!*input)
        *inputLength = 0;
    if ((required & kNeedInput) && !*input) {
        TRACE_STATUS(this, "CommandHandler::GetInputParameters", kTraceErrors, MSG_SUPPLIED_IRP_INPUT_BUFFER_NULL,
                     "The supplied IRP input buffer is NULL.");
        return MSG_SUPPLIED_IRP_INPUT_BUFFER_NULL;
    }
    if ((required & kNeedOutput) && !*output) {
        TRACE_STATUS(this, "CommandHandler::GetInputParameters", kTraceErrors, MSG_SUPPLIED_IRP_OUTPUT_BUFFER_NULL,
                     "The supplied IRP output buffer is NULL.");
        return MSG_SUPPLIED_IRP_OUTPUT_BUFFER_NULL;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::VerifyBufferSizes(ULONG inputLength, ULONGLONG expectedInput, ULONG outputLength,
                                           ULONGLONG expectedOutput, ULONG* statusWord)
{
    TRACE_SCOPE(this, "CommandHandler::VerifyBufferSizes", kTraceHighEnter);
    if (inputLength != expectedInput) {
        TRACE_STATUS(this, "CommandHandler::VerifyBufferSizes", kTraceErrors, MSG_SUPPLIED_IRP_INPUT_BUFFER_SIZE_BYTES,
                     "The supplied IRP input buffer size of %u bytes is invalid.  Expected size is %I64u bytes.",
                     inputLength, expectedInput);
        if (statusWord)
            *statusWord = kRequestInputSizeWrong;
        return MSG_SUPPLIED_IRP_INPUT_BUFFER_SIZE_BYTES;
    }
    if (outputLength != expectedOutput) {
        TRACE_STATUS(this, "CommandHandler::VerifyBufferSizes", kTraceErrors,
                     MSG_SUPPLIED_IRP_OUTPUT_BUFFER_SIZE_BYTES,
                     "The supplied IRP output buffer size of %u bytes is invalid.  Expected size is %I64u bytes.",
                     outputLength, expectedOutput);
        if (statusWord)
            *statusWord = kRequestOutputSizeWrong;
        return MSG_SUPPLIED_IRP_OUTPUT_BUFFER_SIZE_BYTES;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::Buffers(ULONG required, RequestBuffers* io)
{
    PVOID in = nullptr;
    PVOID out = nullptr;
    const NTSTATUS status = GetInputParameters(&in, &io->inputLength, &out, &io->outputLength, required);
    io->input = static_cast<PUCHAR>(in);
    io->output = static_cast<PUCHAR>(out);
    return status;
}

NTSTATUS CommandHandler::FixedBuffers(ULONG required, ULONGLONG expectedInput, ULONGLONG expectedOutput,
                                      RequestBuffers* io)
{
    const NTSTATUS status = Buffers(required, io);
    if (!NT_SUCCESS(status))
        return status;
    return CheckSizes(*io, expectedInput, expectedOutput);
}

NTSTATUS CommandHandler::CheckSizes(const RequestBuffers& io, ULONGLONG expectedInput, ULONGLONG expectedOutput)
{
    ULONG statusWord = 0;
    const NTSTATUS status = VerifyBufferSizes(io.inputLength, expectedInput, io.outputLength, expectedOutput,
                                              &statusWord);
    if (!NT_SUCCESS(status) && io.output && io.outputLength >= sizeof(ULONG))
        WriteRecordWord(io.output, 0, statusWord);
    return status;
}

// ---- The handlers -----------------------------------------------------------------------------

NTSTATUS CommandHandler::GetDspMemoryInfo(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::GetDspMemoryInfo", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    // The input is not looked at.
    status = CheckSizes(io, io.inputLength, 12);
    if (!NT_SUCCESS(status))
        return status;
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    WriteRecordWord(io.output, 1, kDspMemoryInfoWord1);
    WriteRecordWord(io.output, 2, kDspMemoryInfoWord2);
    *bytes = 12;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadDspMemoryRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadDspMemoryRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedInput | kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    if (io.inputLength != sizeof(DspMemoryReadRequest))
        return CheckSizes(io, sizeof(DspMemoryReadRequest), io.outputLength);
    DspMemoryReadRequest request;
    memcpy(&request, io.input, sizeof(request));
    ProtocolManagerReference manager(m_device);
    // The range first: a length that would wrap the output size never reaches the size check.
    status = manager ? manager->CheckDspRange(request.dspAddress, request.length) : STATUS_DEVICE_NOT_READY;
    if (!NT_SUCCESS(status))
        return status;
    status = CheckSizes(io, sizeof(request), ULONGLONG{kDspMemoryReadDataOffset} + request.length);
    if (!NT_SUCCESS(status))
        return status;
    status = manager->ReadDspMemoryRequest(io.input, io.inputLength, io.output, io.outputLength);
    if (!NT_SUCCESS(status))
        return status;
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    WriteRecordWord(io.output, 1, 0);
    *bytes = io.outputLength;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WriteDspMemoryRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::WriteDspMemoryRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedInput | kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    // The record is 13 bytes: the header and the first data byte. The second buffer, exactly
    // length + 7 bytes, is the result header's room and then the other length - 1 data bytes.
    if (io.inputLength != kDspMemoryWriteRecordBytes)
        return CheckSizes(io, kDspMemoryWriteRecordBytes, io.outputLength);
    DspMemoryWriteRequestHeader request;
    memcpy(&request, io.input, sizeof(request));
    if (request.length == 0) {
        // Nothing to write, and no room for the result.
        TRACE_LINE(this, "CommandHandler::WriteDspMemoryRequest", kTraceErrors, "A write of 0 bytes is refused");
        return STATUS_INVALID_PARAMETER;
    }
    ProtocolManagerReference manager(m_device);
    status = manager ? manager->CheckDspRange(request.dspAddress, request.length) : STATUS_DEVICE_NOT_READY;
    if (!NT_SUCCESS(status))
        return status;
    status = CheckSizes(io, kDspMemoryWriteRecordBytes,
                        ULONGLONG{request.length} + kDspMemoryWriteBufferExtraBytes);
    if (!NT_SUCCESS(status))
        return status;
    // The window takes the header and all the data in one piece (at most a 4 MB page of it).
    const ULONG joinedBytes = kDspMemoryWriteDataOffset + request.length;
    auto* joined = static_cast<UCHAR*>(AllocatePoolOfType(joinedBytes, PagedPool));
    if (!joined)
        return STATUS_INSUFFICIENT_RESOURCES;
    memcpy(joined, io.input, kDspMemoryWriteRecordBytes);
    memcpy(joined + kDspMemoryWriteRecordBytes, io.output + sizeof(DspMemoryResultHeader),
           request.length - 1);
    status = manager->WriteDspMemoryRequest(joined, joinedBytes, io.output, io.outputLength);
    FreePool(joined);
    if (!NT_SUCCESS(status))
        return status;
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    WriteRecordWord(io.output, 1, 0);
    *bytes = io.outputLength;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadDspRegisterRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadDspRegisterRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedInput | kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    if (io.inputLength != 12)
        return CheckSizes(io, 12, io.outputLength);
    const ULONG offset = ReadRecordWord(io.input, 0);
    const ULONG widthCode = ReadRecordWord(io.input, 1);
    const ULONG count = ReadRecordWord(io.input, 2);
    const ULONG width = RegisterWidthBytes(widthCode);
    status = CheckSizes(io, 12, ULONGLONG{count} * width + 4);
    if (!NT_SUCCESS(status))
        return status;
    // What is read: a run of `count` bytes for codes 0 and 2, one value for the others.
    const ULONGLONG touched = (widthCode == 0 || widthCode == 2) ? count : width;
    ProtocolManagerReference manager(m_device);
    if (width != 0) {
        status = manager ? manager->CheckRegisterRange(offset, touched) : STATUS_DEVICE_NOT_READY;
        if (!NT_SUCCESS(status))
            return status;
    }
    PUCHAR values = io.output + 4;
    switch (widthCode) {
    case 0:
    case 2:
        status = manager->ReadDspRegisterValue(offset, values, count);
        break;
    case 1: {
        UCHAR value = 0;
        status = manager->ReadDspRegisterValue(offset, &value);
        if (io.outputLength >= 5)
            values[0] = value;
        break;
    }
    case 3: {
        USHORT value = 0;
        status = manager->ReadDspRegisterValue(offset, &value);
        if (io.outputLength >= 6)
            memcpy(values, &value, sizeof(value));
        break;
    }
    case 4: {
        ULONG value = 0;
        status = manager->ReadDspRegisterValue(offset, &value);
        if (io.outputLength >= 8)
            memcpy(values, &value, sizeof(value));
        break;
    }
    default:
        // Any other code reads nothing.
        status = STATUS_SUCCESS;
        break;
    }
    WriteRecordWord(io.output, 0, NT_SUCCESS(status) ? kDspResultSuccess : static_cast<ULONG>(status));
    if (!NT_SUCCESS(status))
        return status;
    *bytes = io.outputLength;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WriteDspRegisterRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::WriteDspRegisterRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedInput | kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    if (io.inputLength < 16)
        return CheckSizes(io, 16, 4);
    const ULONG offset = ReadRecordWord(io.input, 0);
    const bool validate = ReadRecordWord(io.input, 1) == 2;
    const ULONG widthCode = ReadRecordWord(io.input, 2);
    const ULONG count = ReadRecordWord(io.input, 3);
    const ULONG width = RegisterWidthBytes(widthCode);
    status = CheckSizes(io, ULONGLONG{count} * width + 16, 4);
    if (!NT_SUCCESS(status))
        return status;
    // What is written: a run of `count` bytes for codes 0 and 1, one value for the others, which the
    // record must then hold (a count of 0 leaves it without one).
    const ULONGLONG touched = (widthCode == 0 || widthCode == 1) ? count : width;
    if (touched > ULONGLONG{count} * width) {
        TRACE_LINE(this, "CommandHandler::WriteDspRegisterRequest", kTraceErrors,
                   "Width code %u with a count of %u carries no value to write", widthCode, count);
        return STATUS_INVALID_PARAMETER;
    }
    ProtocolManagerReference manager(m_device);
    if (width != 0) {
        status = manager ? manager->CheckRegisterRange(offset, touched) : STATUS_DEVICE_NOT_READY;
        if (!NT_SUCCESS(status))
            return status;
    }
    const UCHAR* values = io.input + 16;
    switch (widthCode) {
    case 0:
    case 1:
        status = manager->WriteDspRegisterValue(offset, values, count, validate);
        break;
    case 2:
        status = manager->WriteDspRegisterValue(offset, values[0], validate);
        break;
    case 3: {
        USHORT value;
        memcpy(&value, values, sizeof(value));
        status = manager->WriteDspRegisterValue(offset, value, validate);
        break;
    }
    case 4: {
        ULONG value;
        memcpy(&value, values, sizeof(value));
        status = manager->WriteDspRegisterValue(offset, value, validate);
        break;
    }
    default:
        status = STATUS_SUCCESS;
        break;
    }
    WriteRecordWord(io.output, 0, NT_SUCCESS(status) ? kDspResultSuccess : static_cast<ULONG>(status));
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WaitForDspInterruptRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::WaitForDspInterruptRequest", kTraceEnter);
    ProtocolManagerReference manager(m_device);
    if (!manager)
        return STATUS_DEVICE_NOT_READY;
    manager->UpdateDspRegisterBits(TidewellProtocolManager::kRegDspControl, 0x10, true);
    manager->UpdateDspRegisterBits(TidewellProtocolManager::kRegDspControl, 0x08, true);
    const bool came = manager->WaitForDspInterrupt();
    TRACE_LINE(this, "CommandHandler::WaitForDspInterruptRequest", kTraceHighs, "The DSP interrupt %s",
               came ? "came" : "did not come within 2 seconds");
    // A DSP that a reset held and the caller released is out of reset now.
    if (came)
        manager->EndResetHold();
    *bytes = 0;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadFpgaRegisterRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadFpgaRegisterRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 4, 8, &io);
    if (!NT_SUCCESS(status))
        return status;
    ULONG value = 0;
    status = ReadFPGARegister(ReadRecordWord(io.input, 0), &value);
    WriteRecordWord(io.output, 0, GetDspResult());
    WriteRecordWord(io.output, 1, value);
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 8;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WriteFpgaRegisterRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::WriteFpgaRegisterRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 16, 4, &io);
    if (!NT_SUCCESS(status))
        return status;
    status = WriteFPGARegister(ReadRecordWord(io.input, 0), ReadRecordWord(io.input, 1), ReadRecordWord(io.input, 2),
                               ReadRecordWord(io.input, 3) != 0);
    WriteRecordWord(io.output, 0, GetDspResult());
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ResetDspRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ResetDspRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 1, 4, &io);
    if (!NT_SUCCESS(status))
        return status;
    ProtocolManagerReference manager(m_device);
    // The DSP is left halted: no image is loaded again.
    status = manager ? manager->Reset(io.input[0]) : STATUS_DEVICE_NOT_READY;
    WriteRecordWord(io.output, 0, NT_SUCCESS(status) ? kDspResultSuccess : static_cast<ULONG>(status));
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::AllocateMemoryRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::AllocateMemoryRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 20, 16, &io);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG kind = ReadRecordWord(io.input, 0);
    const ULONG memoryType = ReadRecordWord(io.input, 1);
    const ULONG length = ReadRecordWord(io.input, 2);
    const ULONG flag = ReadRecordWord(io.input, 3);
    const ULONG value4 = ReadRecordWord(io.input, 4);
    memset(io.output, 0, 16);
    if (kind == kMemoryKindDsp) {
        status = AllocateDspMemory(length, memoryType, flag != 0, value4, 0);
        WriteRecordWord(io.output, 0, GetDspResult());
        WriteRecordWord(io.output, 1, GetResultWordA());
        WriteRecordWord(io.output, 2, GetResultWordB());
        if (!NT_SUCCESS(status))
            return status;
        *bytes = 16;
        return STATUS_SUCCESS;
    }
    // A host common buffer: user mode learns its bus address and a cookie, never its address.
    if (length == 0) {
        WriteRecordWord(io.output, 0, kRequestNoHostBuffer);
        return STATUS_INVALID_PARAMETER;
    }
    PHYSICAL_ADDRESS busAddress{};
    PVOID buffer = AllocateDmaMemory(length, &busAddress);
    ULONG cookie = 0;
    status = buffer ? m_device->GetHostBuffers()->Add(buffer, busAddress, length, &cookie)
                    : STATUS_INSUFFICIENT_RESOURCES;
    if (!NT_SUCCESS(status)) {
        if (buffer)
            FreeDmaMemory(length, busAddress, buffer);
        TRACE_LINE(this, "CommandHandler::AllocateMemoryRequest", kTraceErrors,
                   "No host buffer of %u bytes for the request", length);
        WriteRecordWord(io.output, 0, kRequestNoHostBuffer);
        return status;
    }
    memset(buffer, 0, length);
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    WriteRecordWord(io.output, 1, busAddress.u.LowPart);
    WriteRecordWord(io.output, 2, static_cast<ULONG>(busAddress.u.HighPart));
    WriteRecordWord(io.output, 3, cookie);
    *bytes = 16;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::FreeMemoryRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::FreeMemoryRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 20, 4, &io);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG kind = ReadRecordWord(io.input, 0);
    if (kind == kMemoryKindDsp) {
        status = FreeDspMemory(ReadRecordWord(io.input, 2));
        WriteRecordWord(io.output, 0, GetDspResult());
        if (!NT_SUCCESS(status))
            return status;
        *bytes = 4;
        return STATUS_SUCCESS;
    }
    PHYSICAL_ADDRESS busAddress;
    busAddress.u.LowPart = ReadRecordWord(io.input, 1);
    busAddress.u.HighPart = static_cast<LONG>(ReadRecordWord(io.input, 2));
    const ULONG cookie = ReadRecordWord(io.input, 3);
    const ULONG length = ReadRecordWord(io.input, 4);
    PVOID buffer = nullptr;
    // Only what an entry holds: bus address, cookie and length all as the allocation answered, and
    // no copy still going through it.
    status = m_device->GetHostBuffers()->Remove(busAddress, cookie, length, &buffer);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "CommandHandler::FreeMemoryRequest", kTraceErrors,
                   "%s host buffer of %u bytes at 0x%08x%08x with cookie 0x%08x",
                   status == STATUS_INVALID_DEVICE_STATE ? "A copy still goes through the" : "No", length,
                   static_cast<ULONG>(busAddress.u.HighPart), busAddress.u.LowPart, cookie);
        WriteRecordWord(io.output, 0, kRequestNoHostBuffer);
        return status;
    }
    FreeDmaMemory(length, busAddress, buffer);
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::DspCopyMemoryRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::DspCopyMemoryRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 16, 4, &io);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG direction = ReadRecordWord(io.input, 0);
    const ULONG source = ReadRecordWord(io.input, 1);
    const ULONG destination = ReadRecordWord(io.input, 2);
    const ULONG length = ReadRecordWord(io.input, 3);
    const bool toDsp = direction == kCopyHostToDsp;
    const char* sourceSide = toDsp ? "HOST" : "DSP";
    const char* destinationSide = toDsp ? "DSP" : "HOST";
    // The host side must be one of the buffers this device handed out for the requests; it stays
    // pinned until the record is given back, so that no free takes it while the DSP may copy.
    const ULONG hostAddress = toDsp ? source : destination;
    if (!m_device->GetHostBuffers()->PinRange(hostAddress, length, &m_pinnedHostBuffer)) {
        TRACE_LINE(this, "CommandHandler::DspCopyMemoryRequest", kTraceErrors,
                   "The host range of %u bytes at 0x%08x is no buffer of the requests", length, hostAddress);
        return STATUS_INVALID_PARAMETER;
    }
    SetTimeout(2 * kDefaultTimeout);
    status = CopyDspMemory(source, destination, length, direction);
    if (status == STATUS_UNSUCCESSFUL) {
        // No answer in time: the record stays the DSP's until its late answer or the stop.
        TRACE_STATUS(this, "CommandHandler::DspCopyMemoryRequest", kTraceErrors, MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING,
                     "DSP FAILED to respond to copy memory request.");
        SetDspResult(kDspResultNoAnswer);
    } else if (NT_SUCCESS(status) && GetDspResult() != kDspResultSuccess) {
        TRACE_STATUS(this, "CommandHandler::DspCopyMemoryRequest", kTraceErrors,
                     MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS,
                     "DSP FAILED to copy memory from %s address 0x%08x to %s address 0x%08x.  Error code is 0x%08x",
                     sourceSide, source, destinationSide, destination, GetDspResult());
        status = MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS;
    } else if (NT_SUCCESS(status)) {
        TRACE_LINE(this, "CommandHandler::DspCopyMemoryRequest", kTraceHighs,
                   "DSP successfully copied memory from %s address 0x%08x to %s address 0x%08x.", sourceSide, source,
                   destinationSide, destination);
    }
    WriteRecordWord(io.output, 0, GetDspResult());
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadDspEepromRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadDspEepromRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 4, 4 + kEepromImageBytes, &io);
    if (!NT_SUCCESS(status))
        return status;
    // ReadDspEeprom stages the part's words and copies them to their place in the image.
    status = ReadDspEeprom(ReadRecordWord(io.input, 0), io.output + 4, kEepromImageBytes);
    ULONG result = kDspResultSuccess;
    if (status == STATUS_UNSUCCESSFUL)
        result = kDspResultNoAnswer;
    else if (!NT_SUCCESS(status))
        result = static_cast<ULONG>(status);
    WriteRecordWord(io.output, 0, result);
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4 + kEepromImageBytes;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::WriteEepromParts(ULONG part, USHORT* image, ULONG stagingAddress, ULONG* dspResult)
{
    NTSTATUS status = STATUS_SUCCESS;
    *dspResult = kDspResultSuccess;
    if (part == 0 || part == 2) {
        // The check word over the identity words.
        USHORT check = 0xAAAA;
        for (ULONG i = 0; i < kEepromIdentityWords - 1; ++i)
            check ^= image[i];
        image[kEepromIdentityWords - 1] = check;
        status = WriteDspEeprom(image, kEepromIdentityWords, 0, stagingAddress);
        *dspResult = GetDspResult();
        if (!NT_SUCCESS(status))
            return status;
    }
    if (part == 1 || part == 2) {
        status = WriteDspEeprom(image + kEepromManufacturingOffset, kEepromManufacturingWords,
                                kEepromManufacturingOffset, stagingAddress);
        *dspResult = GetDspResult();
        if (!NT_SUCCESS(status))
            return status;
    }
    if (part == 2) {
        for (ULONG offset = kEepromRestOffset; offset < kEepromWords; offset += kEepromChunkWords) {
            const ULONG words = kEepromWords - offset < kEepromChunkWords ? kEepromWords - offset : kEepromChunkWords;
            status = WriteDspEeprom(image + offset, words, offset, stagingAddress);
            *dspResult = GetDspResult();
            // The first chunk the DSP does not confirm ends the write.
            if (!NT_SUCCESS(status))
                return status;
        }
    }
    return status;
}

NTSTATUS CommandHandler::WriteDspEepromRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::WriteDspEepromRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = FixedBuffers(kNeedInput | kNeedOutput, 4 + kEepromImageBytes, 4, &io);
    if (!NT_SUCCESS(status))
        return status;
    const ULONG part = ReadRecordWord(io.input, 0);
    if (part >= kEepromParts) {
        TRACE_LINE(this, "CommandHandler::WriteDspEepromRequest", kTraceErrors, "No EEPROM part %u", part);
        return STATUS_INVALID_PARAMETER;
    }
    auto* image = static_cast<USHORT*>(AllocatePool(kEepromImageBytes));
    if (!image)
        return STATUS_INSUFFICIENT_RESOURCES;
    memcpy(image, io.input + 4, kEepromImageBytes);

    ULONG dspResult = 0;
    status = AllocateDspMemory(kEepromStagingBytes, kDspMemoryExternal, true, 0, 0);
    if (NT_SUCCESS(status)) {
        const ULONG stagingAddress = GetResultWordA();
        const ULONG stagingHandle = GetResultWordB();
        status = WriteEepromParts(part, image, stagingAddress, &dspResult);
        const bool answered = status != STATUS_UNSUCCESSFUL && status != STATUS_CANCELLED;
        ReleaseDspBlock(stagingHandle, answered);
        // The device's copy follows what the EEPROM holds now.
        if (answered)
            m_device->ReadDspEprom();
    } else {
        dspResult = GetDspResult();
    }
    FreePool(image);
    if (status == STATUS_UNSUCCESSFUL)
        dspResult = kDspResultNoAnswer;
    WriteRecordWord(io.output, 0, dspResult);
    if (!NT_SUCCESS(status))
        return status;
    *bytes = 4;
    return STATUS_SUCCESS;
}

NTSTATUS CommandHandler::ReadDeviceConfigRequest(ULONG* bytes)
{
    TRACE_SCOPE(this, "CommandHandler::ReadDeviceConfigRequest", kTraceEnter);
    RequestBuffers io;
    NTSTATUS status = Buffers(kNeedOutput, &io);
    if (!NT_SUCCESS(status))
        return status;
    // The input is not looked at.
    status = CheckSizes(io, io.inputLength, 4 + Device::kDeviceConfigBytes);
    if (!NT_SUCCESS(status))
        return status;
    WriteRecordWord(io.output, 0, kDspResultSuccess);
    BrevicorDeviceConfigRecord record{};
    status = m_device->GetDeviceConfig(&record);
    if (!NT_SUCCESS(status))
        return status;
    memcpy(io.output + 4, &record, sizeof(record));
    *bytes = 4 + Device::kDeviceConfigBytes;
    return STATUS_SUCCESS;
}
