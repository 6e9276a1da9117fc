// TidewellProtocolManager: register and window access, EMIF set-up, the interrupt routine and its
// DPCs, the DSP's start-up, reset and tear-down, and the mailbox exchange with its two threads.
#include "tidewellprotocolmanager.h"

#include "commandhandler.h"
#include "device.h"
#include "driver.h"
#include "kernel/findresource.h"
#include "kernel/poolallocation.h"
#include "km/hal.h"
#include "km/kernel.h"
#include "messages/Talvexon.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

constexpr NTSTATUS kMessageProgramFailed = MSG_FAILED_PROGRAM_ADAPTER_MEMORY_LOCATION_LENGTH;    // 0xC0071049
constexpr NTSTATUS kMessageMemoryResource = MSG_FAILED_ALLOCATE_PCI_MEMORY_RESOURCE_ERROR;       // 0xC007104A
constexpr NTSTATUS kMessageRegisterResource = MSG_FAILED_ALLOCATE_PCI_REGISTER_RESOURCE_ERROR;   // 0xC007104F
constexpr NTSTATUS kMessageInterruptResource = MSG_FAILED_ALLOCATE_PCI_IRQ_RESOURCE_ERROR;       // 0xC0071050
constexpr NTSTATUS kMessageFirmwareNotResponding = MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING;      // 0xC0071051
// "Setup EMIF failed" is logged under message id 0.
constexpr NTSTATUS kMessageSetupEmifFailed = 0;
// A program image that does not hold what its count byte and headers promise.
constexpr NTSTATUS kStatusInvalidImageFormat = STATUS_INVALID_IMAGE_FORMAT;

// Bytes one window copy moves through a buffer on the stack; a multiple of 4.
constexpr ULONG kChunkBytes = 512;
constexpr ULONG kChunkWords = kChunkBytes / 4;

constexpr UCHAR kEmifCheckWord1[4] = {'R', '!', 'R', '!'};

const char* BooleanText(bool value)
{
    return value ? "TRUE" : "FALSE";
}

ULONG ReadUnaligned32(const UCHAR* bytes)
{
    ULONG value;
    memcpy(&value, bytes, sizeof(value));
    return value;
}

} // namespace

TidewellProtocolManager::TidewellProtocolManager(Device* device) : m_device(device)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::TidewellProtocolManager", kTraceHighEnter);
    KeInitializeEvent(&m_interruptEvent, NotificationEvent, FALSE);
    KeInitializeEvent(&m_commandWakeEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_responseWakeEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_commandLifeEvent, SynchronizationEvent, FALSE);
    KeInitializeEvent(&m_responseLifeEvent, SynchronizationEvent, FALSE);
    m_interruptWaitTimeout.QuadPart = kInterruptWaitTimeout;
    m_pendingCommands.Initialize(CommandHandler::ListLinkOffset());
    m_responses.Initialize(CommandHandler::ListLinkOffset());
    m_mailboxCommands.Initialize(CommandHandler::ListLinkOffset());
}

TidewellProtocolManager::~TidewellProtocolManager()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::~TidewellProtocolManager", kTraceHighEnter);
    // A manager destroyed without its invalidation would leave its routine connected to the line
    // and its DPCs queued against freed memory.
    Invalidate();
    m_commandThread.Release();
    m_responseThread.Release();
}

bool TidewellProtocolManager::IsStarted() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_started), 0, 0) != 0;
}

bool TidewellProtocolManager::IsInvalidated() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_invalidated), 0, 0) != 0;
}

bool TidewellProtocolManager::IsInterruptForwarding() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_interruptForwarding), 0, 0) != 0;
}

void TidewellProtocolManager::Sleep(LONGLONG interval)
{
    LARGE_INTEGER delay;
    delay.QuadPart = interval;
    KeDelayExecutionThread(KernelMode, FALSE, &delay);
}

// ---- Register access --------------------------------------------------------------------------

NTSTATUS TidewellProtocolManager::CheckRegisterAccess(ULONG offset, ULONG bytes) const
{
    if (!RegistersMapped())
        return STATUS_DEVICE_NOT_READY;
    if (static_cast<ULONGLONG>(offset) + bytes > m_registers.Length())
        return STATUS_INVALID_PARAMETER;
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::CheckRegisterRange(ULONG offset, ULONGLONG bytes) const
{
    if (!RegistersMapped())
        return STATUS_DEVICE_NOT_READY;
    if (bytes > m_registers.Length() || offset > m_registers.Length() - bytes)
        return STATUS_INVALID_PARAMETER;
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::CheckDspRange(ULONG dspAddress, ULONGLONG length) const
{
    if (length > kWindowBytes)
        return WindowMapped() ? STATUS_INVALID_PARAMETER : STATUS_DEVICE_NOT_READY;
    return CheckWindowRange(dspAddress, static_cast<ULONG>(length));
}

void TidewellProtocolManager::ReadRegister(ULONG offset, ULONG* value) const
{
    *value = READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(RegisterAddress(offset)));
}

void TidewellProtocolManager::WriteRegister(ULONG offset, ULONG value) const
{
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(RegisterAddress(offset)), value);
}

NTSTATUS TidewellProtocolManager::ReadDspRegisterValue(ULONG offset, UCHAR* value)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspRegisterValue", kTraceEnter, "nOffset=0x%08x", offset);
    *value = 0xFF;
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(*value));
    if (NT_SUCCESS(status))
        *value = READ_REGISTER_UCHAR(RegisterAddress(offset));
    return status;
}

NTSTATUS TidewellProtocolManager::ReadDspRegisterValue(ULONG offset, USHORT* value)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspRegisterValue", kTraceEnter, "nOffset=0x%08x", offset);
    *value = 0xFFFF;
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(*value));
    if (NT_SUCCESS(status))
        *value = READ_REGISTER_USHORT(reinterpret_cast<volatile USHORT*>(RegisterAddress(offset)));
    return status;
}

NTSTATUS TidewellProtocolManager::ReadDspRegisterValue(ULONG offset, ULONG* value)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspRegisterValue", kTraceEnter, "nOffset=0x%08x", offset);
    *value = 0xFFFFFFFF;
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(*value));
    if (NT_SUCCESS(status))
        ReadRegister(offset, value);
    return status;
}

NTSTATUS TidewellProtocolManager::ReadDspRegisterValue(ULONG offset, PUCHAR values, ULONG count)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspRegisterValue", kTraceEnter, "nOffset=0x%08x, nCount=%d",
                offset, count);
    if (count == 0)
        return STATUS_SUCCESS;
    if (!values)
        return STATUS_INVALID_PARAMETER;
    memset(values, 0xFF, count);
    const NTSTATUS status = CheckRegisterAccess(offset, count);
    if (NT_SUCCESS(status))
        READ_REGISTER_BUFFER_UCHAR(RegisterAddress(offset), values, count);
    return status;
}

NTSTATUS TidewellProtocolManager::WriteDspRegisterValue(ULONG offset, UCHAR value, bool validate)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspRegisterValue", kTraceEnter,
                "nOffset=0x%08x, nValue=0x%02x, bValidate=%s", offset, value, BooleanText(validate));
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(value));
    if (!NT_SUCCESS(status))
        return status;
    WRITE_REGISTER_UCHAR(RegisterAddress(offset), value);
    if (validate && READ_REGISTER_UCHAR(RegisterAddress(offset)) != value)
        return STATUS_UNSUCCESSFUL;
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::WriteDspRegisterValue(ULONG offset, USHORT value, bool validate)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspRegisterValue", kTraceEnter,
                "nOffset=0x%08x, nValue=0x%04x, bValidate=%s", offset, value, BooleanText(validate));
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(value));
    if (!NT_SUCCESS(status))
        return status;
    auto* address = reinterpret_cast<volatile USHORT*>(RegisterAddress(offset));
    WRITE_REGISTER_USHORT(address, value);
    if (validate && READ_REGISTER_USHORT(address) != value)
        return STATUS_UNSUCCESSFUL;
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::WriteDspRegisterValue(ULONG offset, ULONG value, bool validate)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspRegisterValue", kTraceEnter,
                "nOffset=0x%08x, nValue=0x%08x, bValidate=%s", offset, value, BooleanText(validate));
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(value));
    if (!NT_SUCCESS(status))
        return status;
    WriteRegister(offset, value);
    if (validate) {
        ULONG readBack;
        ReadRegister(offset, &readBack);
        if (readBack != value)
            return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::WriteDspRegisterValue(ULONG offset, const UCHAR* values, ULONG count, bool validate)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspRegisterValue", kTraceEnter,
                "nOffset=0x%08x, pValue=0x%08x, nCount=%d, bValidate=%s", offset,
                static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(values)), count, BooleanText(validate));
    if (count == 0)
        return STATUS_SUCCESS;
    if (!values)
        return STATUS_INVALID_PARAMETER;
    const NTSTATUS status = CheckRegisterAccess(offset, count);
    if (!NT_SUCCESS(status))
        return status;
    WRITE_REGISTER_BUFFER_UCHAR(RegisterAddress(offset), const_cast<PUCHAR>(values), count);
    if (!validate)
        return STATUS_SUCCESS;
    auto* readBack = static_cast<PUCHAR>(AllocatePoolOfType(count, PagedPool));
    if (!readBack)
        return STATUS_NO_MEMORY;
    READ_REGISTER_BUFFER_UCHAR(RegisterAddress(offset), readBack, count);
    const bool equal = memcmp(readBack, values, count) == 0;
    FreePool(readBack);
    return equal ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

NTSTATUS TidewellProtocolManager::UpdateDspRegisterBits(ULONG offset, ULONG bits, bool set)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::UpdateDspRegisterBits", kTraceEnter,
                "nOffset=0x%08x, nBits=0x%08x, bSet=%s", offset, bits, BooleanText(set));
    const NTSTATUS status = CheckRegisterAccess(offset, sizeof(ULONG));
    if (!NT_SUCCESS(status))
        return status;
    ULONG value;
    ReadRegister(offset, &value);
    value = set ? (value | bits) : (value & ~bits);
    WriteRegister(offset, value);
    return STATUS_SUCCESS;
}

// ---- Window access ----------------------------------------------------------------------------

NTSTATUS TidewellProtocolManager::CheckWindowRange(ULONG dspAddress, ULONG length) const
{
    if (!WindowMapped() || !RegistersMapped())
        return STATUS_DEVICE_NOT_READY;
    // The window shows one page at a time: a range may neither run into the next page nor wrap.
    const ULONGLONG windowOffset = dspAddress & kWindowOffsetMask;
    if (static_cast<ULONGLONG>(dspAddress) + length > 0x100000000ULL)
        return STATUS_INVALID_PARAMETER;
    if (windowOffset + length > kWindowBytes || windowOffset + length > m_window.Length())
        return STATUS_INVALID_PARAMETER;
    return STATUS_SUCCESS;
}

void TidewellProtocolManager::SelectPage(ULONG dspAddress)
{
    const ULONG page = (dspAddress >> kPageShift) & kPageMask;
    ULONG current;
    ReadRegister(kRegDspPage, &current);
    if ((current & kPageMask) != page)
        WriteRegister(kRegDspPage, page);
}

void TidewellProtocolManager::ResetPage()
{
    WriteRegister(kRegDspPage, 0);
}

void TidewellProtocolManager::MoveToWindow(const UCHAR* data, ULONG dspAddress, ULONG length, WindowMove move)
{
    // Whole 32-bit words first, then the tail bytes; each goes through an aligned buffer of ours,
    // since the caller's data may sit anywhere.
    ULONG chunk[kChunkWords];
    if (move == WindowMove::Zero)
        memset(chunk, 0, sizeof(chunk));
    const ULONG wordBytes = length & ~3U;
    ULONG done = 0;
    while (done < wordBytes) {
        const ULONG bytes = wordBytes - done < kChunkBytes ? wordBytes - done : kChunkBytes;
        if (move != WindowMove::Zero)
            memcpy(chunk, data + done, bytes);
        WRITE_REGISTER_BUFFER_ULONG(reinterpret_cast<volatile ULONG*>(WindowAddress(dspAddress + done)), chunk,
                                    bytes / 4);
        done += bytes;
    }
    if (done < length) {
        UCHAR tail[4] = {};
        if (move != WindowMove::Zero)
            memcpy(tail, data + done, length - done);
        WRITE_REGISTER_BUFFER_UCHAR(WindowAddress(dspAddress + done), tail, length - done);
    }
}

void TidewellProtocolManager::MoveFromWindow(PUCHAR buffer, ULONG dspAddress, ULONG length)
{
    ULONG chunk[kChunkWords];
    const ULONG wordBytes = length & ~3U;
    ULONG done = 0;
    while (done < wordBytes) {
        const ULONG bytes = wordBytes - done < kChunkBytes ? wordBytes - done : kChunkBytes;
        READ_REGISTER_BUFFER_ULONG(reinterpret_cast<volatile ULONG*>(WindowAddress(dspAddress + done)), chunk,
                                   bytes / 4);
        memcpy(buffer + done, chunk, bytes);
        done += bytes;
    }
    if (done < length) {
        UCHAR tail[4];
        READ_REGISTER_BUFFER_UCHAR(WindowAddress(dspAddress + done), tail, length - done);
        memcpy(buffer + done, tail, length - done);
    }
}

bool TidewellProtocolManager::WindowEquals(const UCHAR* data, ULONG dspAddress, ULONG length)
{
    UCHAR window[kChunkBytes];
    for (ULONG done = 0; done < length;) {
        const ULONG bytes = length - done < kChunkBytes ? length - done : kChunkBytes;
        MoveFromWindow(window, dspAddress + done, bytes);
        if (memcmp(window, data + done, bytes) != 0)
            return false;
        done += bytes;
    }
    return true;
}

NTSTATUS TidewellProtocolManager::WindowOperation(const UCHAR* data, PUCHAR buffer, ULONG dspAddress, ULONG length,
                                                  WindowMove move, bool verify, bool* equal)
{
    if (equal)
        *equal = true;
    if (length == 0)
        return STATUS_SUCCESS;
    if ((move == WindowMove::In && !data) || (move == WindowMove::Out && !buffer))
        return STATUS_INVALID_PARAMETER;
    const NTSTATUS status = CheckWindowRange(dspAddress, length);
    if (!NT_SUCCESS(status))
        return status;

    KPLXFastStackLock lock(&m_windowLock, this, "TidewellProtocolManager::WindowOperation", __LINE__);
    SelectPage(dspAddress);
    if (move == WindowMove::Out)
        MoveFromWindow(buffer, dspAddress, length);
    else
        MoveToWindow(data, dspAddress, length, move);
    if (verify && equal)
        *equal = WindowEquals(move == WindowMove::Out ? buffer : data, dspAddress, length);
    ResetPage();
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::ProgramDspMemory(const UCHAR* data, ULONG dspAddress, ULONG length)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ProgramDspMemory", kTraceHighEnter,
                "nDspAddress=0x%08x, nLength=%d", dspAddress, length);
    bool equal = true;
    const NTSTATUS status = WindowOperation(data, nullptr, dspAddress, length, WindowMove::In, true, &equal);
    if (!NT_SUCCESS(status))
        return status;
    if (!equal) {
        TRACE_STATUS(this, "TidewellProtocolManager::ProgramDspMemory", kTraceErrors, kMessageProgramFailed,
                     "DSP Memory Failure:  Address=%8.8X, length=%d", dspAddress, length);
        return kMessageProgramFailed;
    }
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::ReadDspMemory(PUCHAR buffer, ULONG dspAddress, ULONG length)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspMemory", kTraceHighEnter, "nDspAddress=0x%08x, nLength=%d",
                dspAddress, length);
    return WindowOperation(nullptr, buffer, dspAddress, length, WindowMove::Out, false, nullptr);
}

NTSTATUS TidewellProtocolManager::WriteDspMemory(const UCHAR* data, ULONG dspAddress, ULONG length)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspMemory", kTraceHighEnter, "nDspAddress=0x%08x, nLength=%d",
                dspAddress, length);
    return WindowOperation(data, nullptr, dspAddress, length, WindowMove::In, false, nullptr);
}

NTSTATUS TidewellProtocolManager::ZeroDspMemory(ULONG dspAddress, ULONG length)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ZeroDspMemory", kTraceHighEnter, "nDspAddress=0x%08x, nLength=%d",
                dspAddress, length);
    return WindowOperation(nullptr, nullptr, dspAddress, length, WindowMove::Zero, false, nullptr);
}

NTSTATUS TidewellProtocolManager::WriteDspMemoryRequest(const UCHAR* request, ULONG requestBytes, UCHAR* result,
                                                        ULONG resultBytes)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WriteDspMemoryRequest", kTraceHighEnter,
                "nRequestBytes=%d, nResultBytes=%d", requestBytes, resultBytes);
    if (!request || requestBytes < sizeof(DspMemoryWriteRequestHeader))
        return STATUS_INVALID_PARAMETER;
    DspMemoryWriteRequestHeader header;
    memcpy(&header, request, sizeof(header));
    if (static_cast<ULONGLONG>(kDspMemoryWriteDataOffset) + header.length > requestBytes)
        return STATUS_INVALID_PARAMETER;
    if (!result || resultBytes < sizeof(DspMemoryResultHeader))
        return STATUS_BUFFER_TOO_SMALL;

    const UCHAR* data = request + kDspMemoryWriteDataOffset;
    const bool verify = header.mode == kDspMemoryWriteVerify;
    bool equal = true;
    const NTSTATUS status =
        WindowOperation(data, nullptr, header.dspAddress, header.length, WindowMove::In, verify, &equal);
    if (!NT_SUCCESS(status))
        return status;
    if (!equal) {
        const DspMemoryResultHeader failure{kDspMemoryCompareFailed, header.dspAddress};
        memcpy(result, &failure, sizeof(failure));
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::ReadDspMemoryRequest(const UCHAR* request, ULONG requestBytes, UCHAR* result,
                                                       ULONG resultBytes)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReadDspMemoryRequest", kTraceHighEnter,
                "nRequestBytes=%d, nResultBytes=%d", requestBytes, resultBytes);
    if (!request || requestBytes < sizeof(DspMemoryReadRequest))
        return STATUS_INVALID_PARAMETER;
    DspMemoryReadRequest header;
    memcpy(&header, request, sizeof(header));
    if (!result || static_cast<ULONGLONG>(kDspMemoryReadDataOffset) + header.length > resultBytes)
        return STATUS_BUFFER_TOO_SMALL;

    bool equal = true;
    const NTSTATUS status = WindowOperation(nullptr, result + kDspMemoryReadDataOffset, header.dspAddress,
                                            header.length, WindowMove::Out, true, &equal);
    if (!NT_SUCCESS(status))
        return status;
    if (!equal) {
        const DspMemoryResultHeader failure{kDspMemoryCompareFailed, header.dspAddress};
        memcpy(result, &failure, sizeof(failure));
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

// ---- EMIF -------------------------------------------------------------------------------------

void TidewellProtocolManager::OutputEmifSettings()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::OutputEmifSettings", kTraceHighEnter);
    struct Named {
        ULONG offset;
        const char* format;
    };
    static constexpr Named kRegisters[] = {
        {kRegEmifaGblctl, "DSPREG_EMIFA_GBLCTL = 0x%08x"}, {kRegEmifaCectl0, "DSPREG_EMIFA_CECTL0 = 0x%08x"},
        {kRegEmifaCectl1, "DSPREG_EMIFA_CECTL1 = 0x%08x"}, {kRegEmifaCectl2, "DSPREG_EMIFA_CECTL2 = 0x%08x"},
        {kRegEmifaCectl3, "DSPREG_EMIFA_CECTL3 = 0x%08x"}, {kRegEmifaSdtim, "DSPREG_EMIFA_SDTIM = 0x%08x"},
        {kRegEmifaSdext, "DSPREG_EMIFA_SDEXT = 0x%08x"},   {kRegEmifaCesec0, "DSPREG_EMIFA_CESEC0 = 0x%08x"},
        {kRegEmifaCesec1, "DSPREG_EMIFA_CESEC1 = 0x%08x"}, {kRegEmifaCesec2, "DSPREG_EMIFA_CESEC2 = 0x%08x"},
        {kRegEmifaCesec3, "DSPREG_EMIFA_CESEC3 = 0x%08x"}, {kRegEmifaSdctl, "DSPREG_EMIFA_SDCTL = 0x%08x"},
    };
    if (!RegistersMapped())
        return;
    for (const Named& named : kRegisters) {
        ULONG value;
        ReadRegister(named.offset, &value);
        TRACE_LINE(this, "TidewellProtocolManager::OutputEmifSettings", kTraceHighs, named.format, value);
    }
}

NTSTATUS TidewellProtocolManager::SetupEmif()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::SetupEmif", kTraceHighEnter);
    if (!RegistersMapped())
        return STATUS_SUCCESS;
    const DspHostSettings& settings = m_settings;
    const ULONG sdctl = settings.emifSdctl;
    const struct {
        ULONG offset;
        ULONG value;
    } writes[] = {
        {kRegEmifaGblctl, settings.emifGblctl},   {kRegEmifaCectl0, settings.emifCectl[0]},
        {kRegEmifaCectl1, settings.emifCectl[1]}, {kRegEmifaCectl2, settings.emifCectl[2]},
        {kRegEmifaCectl3, settings.emifCectl[3]}, {kRegEmifaSdtim, settings.emifSdtim},
        {kRegEmifaSdext, settings.emifSdext},     {kRegEmifaCesec0, settings.emifCesec[0]},
        {kRegEmifaCesec1, settings.emifCesec[1]}, {kRegEmifaCesec2, settings.emifCesec[2]},
        {kRegEmifaCesec3, settings.emifCesec[3]}, {kRegEmifaSdctl, sdctl},
    };
    for (const auto& write : writes)
        WriteRegister(write.offset, write.value);
    TRACE_LINE(this, "TidewellProtocolManager::SetupEmif", kTraceHighs, "DSPREG_EMIFA_SDCTL=0x%08x", sdctl);
    WriteRegister(kRegEmifaSdctl, sdctl);
    const ULONG toggled = sdctl ^ kSdctlToggleBit;
    TRACE_LINE(this, "TidewellProtocolManager::SetupEmif", kTraceHighs, "DSPREG_EMIFA_SDCTL=0x%08x", toggled);
    WriteRegister(kRegEmifaSdctl, toggled);
    return STATUS_SUCCESS;
}

// ---- Initialization ---------------------------------------------------------------------------

namespace {

struct InterruptSearch {
    const void* object;
    PCM_PARTIAL_RESOURCE_DESCRIPTOR interrupt;
};

bool TraceAndFindInterrupt(PCM_PARTIAL_RESOURCE_DESCRIPTOR descriptor, PVOID context)
{
    auto* search = static_cast<InterruptSearch*>(context);
    if (descriptor->Type == CmResourceTypeInterrupt) {
        TRACE_LINE(search->object, "TidewellProtocolManager::Initialize", kTraceHighs,
                   "  type=%u flags=%08X level=0x%X vec=0x%X aff=%u", descriptor->Type, descriptor->Flags,
                   descriptor->u.Interrupt.Level, descriptor->u.Interrupt.Vector,
                   static_cast<ULONG>(descriptor->u.Interrupt.Affinity));
        if (!search->interrupt)
            search->interrupt = descriptor;
    } else {
        TRACE_LINE(search->object, "TidewellProtocolManager::Initialize", kTraceHighs, "  type=%u",
                   descriptor->Type);
    }
    return true;
}

} // namespace

NTSTATUS TidewellProtocolManager::Initialize(PCM_RESOURCE_LIST rawResources,
                                             PCM_RESOURCE_LIST translatedResources,
                                             const DspHostSettings& settings)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::Initialize", kTraceHighEnter);
    (void)rawResources; // the processor's view is the translated one; memory translates unchanged
    if (IsInvalidated() || RegistersMapped() || WindowMapped() || m_interrupt)
        return STATUS_INVALID_DEVICE_STATE;
    m_settings = settings;

    NTSTATUS status = m_registers.FromResources(translatedResources, 1, true);
    if (NT_SUCCESS(status) && m_registers.Length() < kMinimumRegisterRangeBytes) {
        // Too short to reach the host-port registers: every start-up access would miss the board.
        m_registers.Unmap();
        status = STATUS_RESOURCE_TYPE_NOT_FOUND;
    }
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, "TidewellProtocolManager::Initialize", kTraceErrors, kMessageRegisterResource,
                     "Failed to allocate register resources:  %8.8X", status);
        Invalidate();
        return kMessageRegisterResource;
    }
    status = m_window.FromResources(translatedResources, 0, true);
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, "TidewellProtocolManager::Initialize", kTraceErrors, kMessageMemoryResource,
                     "Failed to allocate memory resources:  %8.8X", status);
        Invalidate();
        return kMessageMemoryResource;
    }
    TRACE_LINE(this, "TidewellProtocolManager::Initialize", kTraceHighs, "registers.m_pBaseAddress=%p",
               m_registers.Address());
    TRACE_LINE(this, "TidewellProtocolManager::Initialize", kTraceHighs, "memory.m_pBaseAddress=%p",
               m_window.Address());
    m_mailbox = m_window.Address() + kMailboxAddress;

    UpdateDspRegisterBits(kRegDspControl, kDspControlRun, true);

    status = ConnectInterrupt(translatedResources);
    if (!NT_SUCCESS(status)) {
        TRACE_STATUS(this, "TidewellProtocolManager::Initialize", kTraceErrors, kMessageInterruptResource,
                     "Failed to allocate IRQ resources:  %8.8X", status);
        Invalidate();
        return kMessageInterruptResource;
    }
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::ConnectInterrupt(PCM_RESOURCE_LIST translatedResources)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ConnectInterrupt", kTraceHighEnter);
    InterruptSearch search{this, nullptr};
    ForEachResource(translatedResources, &TraceAndFindInterrupt, &search);
    if (!search.interrupt)
        return STATUS_RESOURCE_TYPE_NOT_FOUND;
    m_interruptVector = search.interrupt->u.Interrupt.Vector;
    m_interruptLevel = static_cast<KIRQL>(search.interrupt->u.Interrupt.Level);
    m_processorAffinity = search.interrupt->u.Interrupt.Affinity;

    for (KDPC& dpc : m_dpcs)
        KeInitializeDpc(&dpc, &DpcRoutine, this);
    TRACE_LINE(this, "TidewellProtocolManager::Initialize", kTraceHighs,
               "cNumberOfProcessors=%d, m_kProcessorAffinity = 0x%08x", static_cast<int>(KeNumberProcessors),
               static_cast<ULONG>(m_processorAffinity));

    return IoConnectInterrupt(&m_interrupt, &InterruptService, this, nullptr, m_interruptVector, m_interruptLevel,
                              m_interruptLevel, LevelSensitive, TRUE, m_processorAffinity, FALSE);
}

// ---- Start-up ---------------------------------------------------------------------------------

bool TidewellProtocolManager::IsDspRunning(ULONG milliseconds)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::IsDspRunning", kTraceHighEnter, "nMilliseconds=%d", milliseconds);
    if (m_settings.resetDspOnStartup && !IsStarted())
        return false;
    UCHAR before[4];
    UCHAR after[4];
    if (!NT_SUCCESS(ReadDspMemory(before, kMailboxHeartbeat, sizeof(before))))
        return false;
    Sleep(-static_cast<LONGLONG>(milliseconds) * 10'000);
    if (!NT_SUCCESS(ReadDspMemory(after, kMailboxHeartbeat, sizeof(after))))
        return false;
    return memcmp(before, after, sizeof(before)) != 0;
}

NTSTATUS TidewellProtocolManager::ValidateImage(const UCHAR* image, ULONG imageBytes, ImageFault* fault)
{
    ImageFault ignored;
    ImageFault& found = fault != nullptr ? *fault : ignored;
    found = ImageFault{};
    if (!image || imageBytes < 1) {
        found.kind = ImageFault::kEmpty;
        return kStatusInvalidImageFormat;
    }
    const ULONG sections = image[0];
    found.sections = sections;
    ULONGLONG position = 1;
    for (ULONG i = 0; i < sections; ++i) {
        found.section = i + 1;
        if (position + kImageSectionHeaderBytes > imageBytes) {
            found.kind = ImageFault::kHeaderCut;
            found.spare = imageBytes - position;
            return kStatusInvalidImageFormat;
        }
        const ULONG address = ReadUnaligned32(image + position);
        const ULONG length = ReadUnaligned32(image + position + 4);
        found.address = address;
        found.length = length;
        position += kImageSectionHeaderBytes;
        found.spare = imageBytes - position;
        // Where the section would go is judged before whether the file holds it: a section no DSP
        // memory page can take marks bytes that are no image at all, one that merely lacks its
        // end marks a cut file.
        if (static_cast<ULONGLONG>(address) + length > 0x100000000ULL ||
            (address & kWindowOffsetMask) + static_cast<ULONGLONG>(length) > kWindowBytes) {
            found.kind = ImageFault::kOutsideWindowPage;
            return kStatusInvalidImageFormat;
        }
        if (position + length > imageBytes) {
            found.kind = ImageFault::kSectionCut;
            return kStatusInvalidImageFormat;
        }
        position += length;
    }
    // Nothing follows the last section: bytes left over mean the count and the file disagree.
    if (position != imageBytes) {
        found.kind = ImageFault::kTrailingBytes;
        found.section = sections;
        found.spare = imageBytes - position;
        return kStatusInvalidImageFormat;
    }
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::ProgramImage(const UCHAR* image)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ProgramImage", kTraceHighEnter);
    const ULONG sections = image[0];
    const UCHAR* section = image + 1;
    for (ULONG i = 0; i < sections; ++i) {
        const ULONG address = ReadUnaligned32(section);
        const ULONG length = ReadUnaligned32(section + 4);
        const NTSTATUS status = ProgramDspMemory(section + kImageSectionHeaderBytes, address, length);
        if (!NT_SUCCESS(status))
            return status;
        section += kImageSectionHeaderBytes + length;
    }
    return STATUS_SUCCESS;
}

void TidewellProtocolManager::TakeOverRunningDsp()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::TakeOverRunningDsp", kTraceHighEnter);
    // The firmware runs from an earlier load: it is asked, in one write, to forget any exchange
    // that was half done. It clears the flags and counters itself and then the request; until
    // then the mailbox threads leave the mailbox alone (ServeMailbox).
    const ULONG request = kMailboxRestartRequest;
    UCHAR requestBytes[4];
    memcpy(requestBytes, &request, sizeof(requestBytes));
    {
        KPLXFastStackLock lock(&m_windowLock, this, "TidewellProtocolManager::TakeOverRunningDsp", __LINE__);
        WriteDspMemory(requestBytes, kMailboxRestart, sizeof(requestBytes));
        ResetPage();
    }
    EndResetHold();
    UpdateDspRegisterBits(kRegDspControl, kDspControlRun, true);
    WriteRegister(kRegHostStatus, 0);
    // Started as on the loading path, so that Stop ends the mailbox threads this path starts.
    InterlockedExchange(&m_started, 1);
}

void TidewellProtocolManager::ReleaseDsp()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ReleaseDsp", kTraceHighEnter);
    // The start suspended the mailbox when its threads run: the doorbell below is the only one.
    EndResetHold();
    UpdateDspRegisterBits(kRegDspControl, kDspControlRun, true);
    WriteRegister(kRegHostStatus, 0);
    {
        KPLXFastStackLock lock(&m_windowLock, this, "TidewellProtocolManager::ReleaseDsp", __LINE__);
        ResetPage();
    }
    // Only an interrupt raised after this doorbell may count as the DSP coming out of reset.
    KeClearEvent(&m_interruptEvent);
    WriteRegister(kRegHostToDspControl, kHostToDspDoorbell);
}

NTSTATUS TidewellProtocolManager::Start(const UCHAR* image, ULONG imageBytes, bool testerImage)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::Start", kTraceHighEnter, "nImageBytes=%d, bTesterImage=%s",
                imageBytes, BooleanText(testerImage));
    if (IsInvalidated() || !RegistersMapped() || !WindowMapped())
        return STATUS_DEVICE_NOT_READY;
    NTSTATUS status = ValidateImage(image, imageBytes);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "TidewellProtocolManager::Start", kTraceErrors,
                   "The DSP image of %d bytes is malformed", imageBytes);
        return status;
    }

    // Whatever the DSP held is lost to the reset or the take-over; a tester image overlays the
    // mailbox and must not be read as one.
    if (testerImage || HasMailboxThreads())
        SuspendMailbox();
    InterlockedExchange(&m_interruptForwarding, 0);
    // A running tester image is no firmware to take over.
    if (IsDspRunning(kRunningCheckMilliseconds) && !testerImage && !m_testerImageLoaded) {
        TakeOverRunningDsp();
    } else {
        ULONG tries = 1;
        for (;;) {
            status = WarmReset();
            if (!NT_SUCCESS(status))
                return status;
            Sleep(kReloadPause);
            status = ZeroDspMemory(0, kZeroedBytes);
            if (!NT_SUCCESS(status))
                return status;
            status = ProgramImage(image);
            if (!NT_SUCCESS(status))
                return status;
            ReleaseDsp();
            if (WaitForDspInterrupt())
                break;
            if (tries >= kStartTries) {
                TRACE_STATUS(this, "TidewellProtocolManager::Start", kTraceErrors, kMessageFirmwareNotResponding,
                             "The adapter firmware has stopped responding.");
                return kMessageFirmwareNotResponding;
            }
            ++tries;
        }
        TRACE_LINE(this, "TidewellProtocolManager::Start", kTraceHighs,
                   "Device %s took %d tries to get the DSP to come out of reset",
                   m_device ? m_device->GetDeviceName() : "", static_cast<int>(tries));
        InterlockedExchange(&m_started, 1);
    }

    OutputEmifSettings();
    InterlockedExchange(&m_interruptForwarding, 1);
    m_testerImageLoaded = testerImage;
    if (!testerImage) {
        ResumeMailbox();
        if (!HasMailboxThreads()) {
            status = StartMailboxThreads();
            if (!NT_SUCCESS(status))
                return status;
        }
    }
    Sleep(kStartSettle);
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::WarmReset()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WarmReset", kTraceHighEnter);
    if (!m_settings.hardwareInstalled)
        return STATUS_SUCCESS;
    if (!RegistersMapped() || !WindowMapped())
        return STATUS_DEVICE_NOT_READY;

    // Before the reset: a round of the command thread that began earlier ends, doorbell and all,
    // before the hold is in place, and none rings after it.
    BeginResetHold();
    WriteRegister(kRegHostToDspControl, kHostToDspWarmReset);
    Sleep(kWarmResetSettle);
    {
        KPLXFastStackLock lock(&m_windowLock, this, "TidewellProtocolManager::WarmReset", __LINE__);
        ResetPage();
    }
    // An interrupt from before the reset is not the DSP coming out of it.
    KeClearEvent(&m_interruptEvent);

    // Through a local: the driver file may hold no unique symbols, which an odr-used class
    // constant would become.
    const ULONG checkWord2 = kEmifCheckWord2;
    UCHAR word2[4];
    memcpy(word2, &checkWord2, sizeof(word2));
    for (ULONG round = 0; round < kEmifCheckRounds; ++round) {
        SetupEmif();
        WriteDspMemory(kEmifCheckWord1, kEmifCheckAddress1, sizeof(kEmifCheckWord1));
        WriteDspMemory(word2, kEmifCheckAddress2, sizeof(word2));
        UCHAR read1[4] = {};
        UCHAR read2[4] = {};
        ReadDspMemory(read1, kEmifCheckAddress1, sizeof(read1));
        ReadDspMemory(read2, kEmifCheckAddress2, sizeof(read2));
        if (memcmp(read1, kEmifCheckWord1, 4) == 0 && memcmp(read2, word2, 4) == 0)
            return STATUS_SUCCESS;
    }
    TRACE_STATUS(this, "TidewellProtocolManager::WarmReset", kTraceErrors, kMessageSetupEmifFailed,
                 "Setup EMIF failed");
    return STATUS_SUCCESS;
}

NTSTATUS TidewellProtocolManager::Reset(UCHAR clearStatus)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::Reset", kTraceHighEnter, "bClearStatus=%d", clearStatus);
    const NTSTATUS status = WarmReset();
    if (!NT_SUCCESS(status))
        return status;
    if (!RegistersMapped())
        return STATUS_SUCCESS;
    {
        KPLXFastStackLock lock(&m_windowLock, this, "TidewellProtocolManager::Reset", __LINE__);
        ResetPage();
    }
    if (clearStatus != 0)
        WriteRegister(kRegHostStatus, 0);
    return STATUS_SUCCESS;
}

// ---- Tear-down --------------------------------------------------------------------------------

void TidewellProtocolManager::Invalidate()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::Invalidate", kTraceHighEnter);
    if (InterlockedExchange(&m_invalidated, 1) != 0)
        return;
    InterlockedExchange(&m_stop, 1);
    Stop();
    if (m_interrupt) {
        IoDisconnectInterrupt(m_interrupt);
        m_interrupt = nullptr;
    }
    // The routine can queue no more DPCs; wait for those it queued, which use this manager.
    KeFlushQueuedDpcs();
    m_mailbox = nullptr;
    m_registers.Unmap();
    m_window.Unmap();
}

void TidewellProtocolManager::MarkBoardRemoved()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::MarkBoardRemoved", kTraceHighEnter);
    {
        // Under the lock: no round of the command thread is in progress once it is set, and none
        // begins; senders are refused from here on.
        KPLXFastStackLock pending(&m_pendingLock, this, "TidewellProtocolManager::MarkBoardRemoved", __LINE__);
        InterlockedExchange(&m_boardRemoved, 1);
        InterlockedExchange(&m_stop, 1);
    }
    StopMailboxThreads();
    KPLXFastStackLock lock(&m_stopLock, this, "TidewellProtocolManager::MarkBoardRemoved", __LINE__);
    CompleteInFlight(CommandHandler::kDspResultCancelled, true);
}

bool TidewellProtocolManager::IsBoardRemoved() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_boardRemoved), 0, 0) != 0;
}

void TidewellProtocolManager::Stop()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::Stop", kTraceHighEnter);
    {
        // Refuses new commands from here on.
        KPLXFastStackLock pending(&m_pendingLock, this, "TidewellProtocolManager::Stop", __LINE__);
        InterlockedExchange(&m_stop, 1);
    }
    // Whenever the threads exist, also when the start took over a running DSP.
    StopMailboxThreads();
    if (IsStarted() && RegistersMapped() && !IsBoardRemoved())
        WriteRegister(kRegHostToDspControl, kHostToDspWarmReset);
    KPLXFastStackLock lock(&m_stopLock, this, "TidewellProtocolManager::Stop", __LINE__);
    CompleteInFlight(CommandHandler::kDspResultCancelled, true);
}

// ---- Interrupt side ---------------------------------------------------------------------------

bool TidewellProtocolManager::WaitForDspInterrupt()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WaitForDspInterrupt", kTraceHighEnter);
    LARGE_INTEGER timeout = m_interruptWaitTimeout;
    if (KeWaitForSingleObject(&m_interruptEvent, Executive, KernelMode, FALSE, &timeout) != STATUS_SUCCESS)
        return false;
    KeClearEvent(&m_interruptEvent);
    return true;
}

BOOLEAN NTAPI TidewellProtocolManager::InterruptService(PKINTERRUPT interrupt, PVOID context)
{
    (void)interrupt;
    return static_cast<TidewellProtocolManager*>(context)->OnInterrupt();
}

// Runs at the device level: no trace scope here, since tracing takes pool and spin locks that
// this level does not allow.
BOOLEAN TidewellProtocolManager::OnInterrupt()
{
    if (!RegistersMapped())
        return FALSE;
    ULONG status;
    ReadRegister(kRegHostStatus, &status);
    if ((status & kHostStatusInterrupt) == 0)
        return FALSE;
    WriteRegister(kRegHostStatus, kHostStatusAcknowledge);
    QueueDpc();
    return TRUE;
}

bool TidewellProtocolManager::QueueDpc()
{
    // Called from the interrupt routine: no trace scope (see OnInterrupt).
    for (KDPC& dpc : m_dpcs) {
        if (KeInsertQueueDpc(&dpc, nullptr, nullptr))
            return true;
    }
    return false;
}

VOID NTAPI TidewellProtocolManager::DpcRoutine(PKDPC dpc, PVOID context, PVOID argument1, PVOID argument2)
{
    (void)dpc;
    (void)argument1;
    (void)argument2;
    static_cast<TidewellProtocolManager*>(context)->OnDpc();
}

void TidewellProtocolManager::OnDpc()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::DpcRoutine", kTraceHighEnter);
    if (IsInterruptForwarding())
        KeSetEvent(&m_commandWakeEvent, 0, FALSE);
    KeSetEvent(&m_interruptEvent, 0, FALSE);
}

// ---- The mailbox exchange -----------------------------------------------------------------------

bool TidewellProtocolManager::IsStopping() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_stop), 0, 0) != 0;
}

bool TidewellProtocolManager::IsMailboxSuspended() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_mailboxSuspended), 0, 0) != 0;
}

bool TidewellProtocolManager::IsHeldInReset() const
{
    return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_heldInReset), 0, 0) != 0;
}

bool TidewellProtocolManager::HasMailboxThreads() const
{
    return m_commandThread.HoldsThread() || m_responseThread.HoldsThread();
}

NTSTATUS TidewellProtocolManager::QueueCommand(CommandHandler* handler)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::QueueCommand", kTraceHighEnter, "nTag=0x%08x",
                handler ? handler->GetHostTag() : 0);
    if (!handler)
        return STATUS_INVALID_PARAMETER;
    KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::QueueCommand", __LINE__);
    if (handler->Exchange().IsQueued()) {
        // Already on one of the manager's lists: queueing it again would tangle them.
        TRACE_LINE(this, "TidewellProtocolManager::QueueCommand", kTraceErrors,
                   "Command record 0x%08x is queued already", handler->GetHostTag());
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (IsStopping() || IsMailboxSuspended() || IsHeldInReset()) {
        // Nothing would ever take it: the sender learns at once.
        TRACE_LINE(this, "TidewellProtocolManager::QueueCommand", kTraceWarnings,
                   "Command %d refused: the mailbox is %s", static_cast<int>(handler->GetCommandId()),
                   IsBoardRemoved()       ? "gone with its board"
                   : IsStopping()         ? "stopped"
                   : IsMailboxSuspended() ? "held by a tester image"
                                          : "held by a DSP reset");
        handler->Exchange().Answer();
        handler->Complete(CommandHandler::kDspResultCancelled);
        return STATUS_CANCELLED;
    }
    const bool wasEmpty = m_pendingCommands.IsEmpty();
    handler->Exchange().Queue();
    m_pendingCommands.InsertTail(handler);
    if (wasEmpty)
        KeSetEvent(&m_commandWakeEvent, IO_NO_INCREMENT, FALSE);
    return STATUS_SUCCESS;
}

bool TidewellProtocolManager::WithdrawCommand(CommandHandler* handler)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::WithdrawCommand", kTraceHighEnter, "nTag=0x%08x",
                handler->GetHostTag());
    KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::WithdrawCommand", __LINE__);
    switch (handler->Exchange().Withdraw()) {
    case CommandExchange::Withdrawal::FromPendingList:
        m_pendingCommands.Remove(handler);
        return true;
    case CommandExchange::Withdrawal::FromMailbox:
        // The DSP may still answer this tag: the record must not be reused before that.
        if (m_device)
            m_device->AbandonCommandHandler(handler);
        return true;
    default:
        return false;
    }
}

bool TidewellProtocolManager::IsHeldForLateAnswer(CommandHandler* handler)
{
    KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::IsHeldForLateAnswer", __LINE__);
    return handler->Exchange().IsAbandoned();
}

void TidewellProtocolManager::CompleteInFlight(ULONG dspResult, bool answered)
{
    TRACE_SCOPE(this, "TidewellProtocolManager::CompleteInFlight", kTraceHighEnter, "nResult=0x%08x", dspResult);
    IntrusiveList unowned(CommandHandler::ListLinkOffset());
    {
        KPLXFastStackLock pending(&m_pendingLock, this, "TidewellProtocolManager::CompleteInFlight", __LINE__);
        while (auto* handler = static_cast<CommandHandler*>(m_pendingCommands.RemoveHead())) {
            handler->Exchange().Answer();
            handler->Complete(dspResult);
        }
        while (auto* handler = static_cast<CommandHandler*>(m_mailboxCommands.RemoveHead())) {
            if (handler->Exchange().ReleaseAbandoned()) {
                // A request thread may wait for the answer that will not come now.
                KeSetEvent(handler->CompletionEvent(), IO_NO_INCREMENT, FALSE);
                if (m_device)
                    m_device->ReleaseAbandonedCommandHandler(handler);
                continue;
            }
            handler->Exchange().Answer();
            handler->Complete(dspResult);
        }
        if (answered) {
            KPLXFastStackLock responses(&m_responseLock, this, "TidewellProtocolManager::CompleteInFlight", __LINE__);
            while (auto* handler = static_cast<CommandHandler*>(m_responses.RemoveHead())) {
                if (handler->IsWaited())
                    handler->Complete(dspResult);
                else
                    unowned.InsertTail(handler);
            }
        }
    }
    // Answers nobody will dispatch any more: back to the pool, outside the manager's locks.
    while (auto* handler = static_cast<CommandHandler*>(unowned.RemoveHead()))
        handler->ReturnUnowned("An answer left at the stop");
}

void TidewellProtocolManager::SuspendMailbox()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::SuspendMailbox", kTraceHighEnter);
    {
        // Once this is set under the lock no round of the command thread is in progress or begins.
        KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::SuspendMailbox", __LINE__);
        InterlockedExchange(&m_mailboxSuspended, 1);
    }
    CompleteInFlight(CommandHandler::kDspResultCancelled, false);
}

void TidewellProtocolManager::ResumeMailbox()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ResumeMailbox", kTraceHighEnter);
    KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::ResumeMailbox", __LINE__);
    InterlockedExchange(&m_mailboxSuspended, 0);
}

void TidewellProtocolManager::BeginResetHold()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::BeginResetHold", kTraceHighEnter);
    {
        // As the suspension: once set under the lock, no round is in progress or begins.
        KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::BeginResetHold", __LINE__);
        InterlockedExchange(&m_heldInReset, 1);
    }
    // The reset loses whatever the firmware held: no answer comes to these any more. Before the
    // first start no thread has served the mailbox, and commands queued for it wait for it.
    if (HasMailboxThreads())
        CompleteInFlight(CommandHandler::kDspResultCancelled, false);
}

void TidewellProtocolManager::EndResetHold()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::EndResetHold", kTraceHighEnter);
    KPLXFastStackLock lock(&m_pendingLock, this, "TidewellProtocolManager::EndResetHold", __LINE__);
    InterlockedExchange(&m_heldInReset, 0);
}

void TidewellProtocolManager::RingDoorbellAfterRound()
{
    KPLXFastStackLock pending(&m_pendingLock, this, "TidewellProtocolManager::ProcessDPCThread", __LINE__);
    if (IsMailboxSuspended() || IsHeldInReset())
        return; // the DSP was reset or handed to a tester since the round: it is not to be woken
    WriteRegister(kRegHostToDspControl, kHostToDspDoorbell);
}

NTSTATUS TidewellProtocolManager::StartMailboxThreads()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::StartMailboxThreads", kTraceHighEnter);
    NTSTATUS status = m_responseThread.Start(&ProcessResponseThread, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "TidewellProtocolManager::Start", kTraceErrors,
                   "The response thread could not be started: 0x%08x", static_cast<ULONG>(status));
        return status;
    }
    KeWaitForSingleObject(&m_responseLifeEvent, Executive, KernelMode, FALSE, nullptr);
    status = m_commandThread.Start(&ProcessDPCThread, this, kSystemThreadAllAccess);
    if (!NT_SUCCESS(status)) {
        TRACE_LINE(this, "TidewellProtocolManager::Start", kTraceErrors,
                   "The command thread could not be started: 0x%08x", static_cast<ULONG>(status));
        return status;
    }
    KeSetPriorityThread(m_commandThread.ThreadObject(), kCommandThreadPriority);
    KeWaitForSingleObject(&m_commandLifeEvent, Executive, KernelMode, FALSE, nullptr);
    return STATUS_SUCCESS;
}

void TidewellProtocolManager::StopMailboxThreads()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::StopMailboxThreads", kTraceHighEnter);
    SystemThread* threads[] = {&m_commandThread, &m_responseThread};
    PKEVENT lifeEvents[] = {&m_commandLifeEvent, &m_responseLifeEvent};
    KeSetEvent(&m_commandWakeEvent, IO_NO_INCREMENT, FALSE);
    KeSetEvent(&m_responseWakeEvent, IO_NO_INCREMENT, FALSE);
    for (int i = 0; i < 2; ++i) {
        if (!threads[i]->HoldsThread())
            continue;
        KeWaitForSingleObject(lifeEvents[i], Executive, KernelMode, FALSE, nullptr);
        // The life event comes just before the routine returns; its wrapper is touched after that.
        KeWaitForSingleObject(threads[i]->ThreadObject(), Executive, KernelMode, FALSE, nullptr);
        threads[i]->Release();
    }
}

void TidewellProtocolManager::ProcessDPCThread(PVOID context)
{
    static_cast<TidewellProtocolManager*>(context)->RunCommandThread();
}

void TidewellProtocolManager::ProcessResponseThread(PVOID context)
{
    static_cast<TidewellProtocolManager*>(context)->RunResponseThread();
}

void TidewellProtocolManager::RunCommandThread()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ProcessDPCThread", kTraceHighEnter);
    KeSetEvent(&m_commandLifeEvent, IO_NO_INCREMENT, FALSE);
    ULONG previousA = 0xFFFFFFFF;
    ULONG previousB = 0xFFFFFFFF;
    for (;;) {
        KeWaitForSingleObject(&m_commandWakeEvent, Executive, KernelMode, FALSE, nullptr);
        if (IsStopping())
            break;
        for (;;) {
            if (IsStopping())
                break;
            bool absent = false;
            ULONG counterA = 0;
            ULONG counterB = 0;
            const bool moved = ServeMailbox(&absent, &counterA, &counterB);
            if (absent)
                break; // the DSP is gone, or a tester image holds it: wait for the next wake-up
            if (!moved && counterA == previousA && counterB == previousB && (counterA != 0 || counterB != 0)) {
                // The DSP is busy with something: poll briefly rather than sleep.
                KeStallExecutionProcessor(kPollStallMicroseconds);
                continue;
            }
            previousA = counterA;
            previousB = counterB;
            RingDoorbellAfterRound();
            break;
        }
        if (IsStopping())
            break;
    }
    KeSetEvent(&m_commandLifeEvent, IO_NO_INCREMENT, FALSE);
}

bool TidewellProtocolManager::ServeMailbox(bool* absent, ULONG* counterA, ULONG* counterB)
{
    // The whole round holds the pending-list lock: senders, withdrawals, a suspension and the stop
    // all see the mailbox either before or after it.
    KPLXFastStackLock pending(&m_pendingLock, this, "TidewellProtocolManager::ProcessDPCThread", __LINE__);
    if (IsMailboxSuspended() || IsHeldInReset()) {
        *absent = true;
        return false;
    }
    alignas(4) UCHAR mailbox[kMailboxBytes];
    if (!NT_SUCCESS(ReadDspMemory(mailbox, kMailboxAddress, kMailboxBytes)) ||
        ReadUnaligned32(mailbox + kMailboxFirstWordOffset) == kMailboxAbsent) {
        *absent = true;
        return false;
    }
    *counterA = ReadUnaligned32(mailbox + kMailboxCounterAOffset);
    *counterB = ReadUnaligned32(mailbox + kMailboxCounterBOffset);
    bool moved = false;

    if (ReadUnaligned32(mailbox + kMailboxRestartOffset) != 0) {
        // The firmware has not yet carried out the take-over's restart: the slots still hold the
        // earlier load's exchange. Its answer is stale (its tag may even be one of ours, as tags
        // start from the same numbers every load) and its command slot about to be cleared, so
        // nothing is taken or put until the firmware has cleared the request.
        return false;
    }

    if (ReadUnaligned32(mailbox + kMailboxResponseValidOffset) == 1) {
        TakeResponse(mailbox + kMailboxResponseSlotOffset);
        static constexpr UCHAR kZero[4] = {};
        WriteDspMemory(kZero, kMailboxResponseId, sizeof(kZero));
        WriteDspMemory(kZero, kMailboxResponseValid, sizeof(kZero));
        KeSetEvent(&m_responseWakeEvent, IO_NO_INCREMENT, FALSE);
        moved = true;
    }

    if (ReadUnaligned32(mailbox + kMailboxCommandBusyOffset) == 0) {
        if (auto* handler = static_cast<CommandHandler*>(m_pendingCommands.RemoveHead())) {
            // On the mailbox list before the DSP can answer it.
            handler->Exchange().EnterMailbox();
            m_mailboxCommands.InsertTail(handler);
            static constexpr UCHAR kBusy[4] = {1, 0, 0, 0};
            WriteDspMemory(handler->CommandArea(), kMailboxCommandSlot, CommandHandler::kCommandAreaBytes);
            WriteDspMemory(kBusy, kMailboxCommandBusy, sizeof(kBusy));
            moved = true;
        }
    }
    return moved;
}

void TidewellProtocolManager::TakeResponse(const UCHAR* responseSlot)
{
    // Pending-list lock held (the round).
    const ULONG tag = ReadUnaligned32(responseSlot + CommandHandler::kTagOffset);
    const ULONG responseId = ReadUnaligned32(responseSlot + CommandHandler::kResponseIdOffset);
    CommandHandler* handler = nullptr;
    if (tag == 0) {
        // A message the DSP sent on its own: it gets a record of its own.
        handler = m_device ? m_device->AllocateCommandHandler() : nullptr;
        if (!handler) {
            TRACE_LINE(this, "TidewellProtocolManager::ProcessDPCThread", kTraceErrors,
                       "No command record for the DSP's message %d: dropped", static_cast<int>(responseId));
            return;
        }
    } else {
        for (void* element = m_mailboxCommands.First(); element; element = m_mailboxCommands.Next(element)) {
            auto* candidate = static_cast<CommandHandler*>(element);
            if (candidate->GetHostTag() == tag) {
                handler = candidate;
                break;
            }
        }
        if (!handler) {
            TRACE_LINE(this, "TidewellProtocolManager::ProcessDPCThread", kTraceErrors,
                       "Answer %d with unknown tag 0x%08x%08x dropped", static_cast<int>(responseId),
                       ReadUnaligned32(responseSlot + CommandHandler::kTagOffset + 4), tag);
            return;
        }
        m_mailboxCommands.Remove(handler);
        if (handler->Exchange().ReleaseAbandoned()) {
            // Its sender gave up: the answer goes nowhere, and the record may now be reused.
            TRACE_LINE(this, "TidewellProtocolManager::ProcessDPCThread", kTraceWarnings,
                       "Late answer %d to tag 0x%08x discarded", static_cast<int>(responseId), tag);
            // A request thread may wait for this late answer before it gives the record back.
            KeSetEvent(handler->CompletionEvent(), IO_NO_INCREMENT, FALSE);
            if (m_device)
                m_device->ReleaseAbandonedCommandHandler(handler);
            return;
        }
    }
    memcpy(handler->ResponseArea(), responseSlot, CommandHandler::kResponseAreaBytes);
    handler->Exchange().Answer();
    KPLXFastStackLock responses(&m_responseLock, this, "TidewellProtocolManager::ProcessDPCThread", __LINE__);
    m_responses.InsertTail(handler);
}

void TidewellProtocolManager::RunResponseThread()
{
    TRACE_SCOPE(this, "TidewellProtocolManager::ProcessResponseThread", kTraceHighEnter);
    KeSetEvent(&m_responseLifeEvent, IO_NO_INCREMENT, FALSE);
    KeWaitForSingleObject(&m_responseWakeEvent, Executive, KernelMode, FALSE, nullptr);
    while (!IsStopping()) {
        CommandHandler* handler;
        {
            KPLXFastStackLock lock(&m_responseLock, this, "TidewellProtocolManager::ProcessResponseThread", __LINE__);
            handler = IsStopping() ? nullptr : static_cast<CommandHandler*>(m_responses.RemoveHead());
        }
        if (handler) {
            handler->ProcessCommandResponse();
            continue;
        }
        KeWaitForSingleObject(&m_responseWakeEvent, Executive, KernelMode, FALSE, nullptr);
    }
    KeSetEvent(&m_responseLifeEvent, IO_NO_INCREMENT, FALSE);
}
