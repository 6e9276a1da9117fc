// Device: the diagnostics operations of the diagnostics property set (DSP reset and restart, the
// DSP memory and PCI testers, DSP memory fills and reads, FPGA register access).
#include "device.h"
#include "streamprocessormanager.h"

#include "commandhandler.h"
#include "driver.h"
#include "kernel/poolallocation.h"
#include "km/status.h"
#include "tidewellprotocolmanager.h"
#include "tracelogger.h"
#include "tracescope.h"

#include <cstring>

namespace {

// Where the diagnostics window lives in DSP memory, and where the PCI tester finds its buffer.
constexpr ULONG kDiagnosticsWindowAddress = 0x20;
constexpr ULONG kPciTesterPhysicalAddress = 128;
constexpr ULONG kPciTesterCookieAddress = 136;

} // namespace

NTSTATUS Device::GetDiagnostics(BrevicorDiagnosticsRecord* record)
{
    TRACE_SCOPE(this, "Device::GetDiagnostics", kTraceLowEnter, "command %u", static_cast<unsigned>(record->command));
    const bool hardware = m_driver->GetHardwareInstalled();
    switch (record->command) {
    case kDiagnosticsReadWindow:
    case kDiagnosticsReadWindowAgain: {
        ProtocolManagerReference manager(this);
        if (!hardware || !manager)
            return STATUS_UNSUCCESSFUL;
        return manager->ReadDspMemory(record->window, kDiagnosticsWindowAddress, kDiagnosticsWindowBytes);
    }
    case kDiagnosticsFpgaRegister: {
        CommandHandler* handler = AllocateCommandHandler();
        if (handler == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        ULONG value = 0;
        const NTSTATUS status = handler->ReadFPGARegister(record->address, &value);
        FreeCommandHandler(handler);
        if (NT_SUCCESS(status))
            record->value = value;
        return status;
    }
    default:
        return STATUS_SUCCESS;
    }
}

NTSTATUS Device::SetDiagnostics(BrevicorDiagnosticsRecord* record)
{
    TRACE_SCOPE(this, "Device::SetDiagnostics", kTraceLowEnter, "command %u", static_cast<unsigned>(record->command));
    // Each direct use of the host port below holds it for its own scope.
    const bool hardware = m_driver->GetHardwareInstalled();
    // A reset or another firmware personality would pull the DSP from under a stream: a stream
    // processor exists exactly while a pin of its kind is past Stop.
    const bool restartsTheDsp =
        record->command == kDiagnosticsReset || record->command == kDiagnosticsMemoryTester ||
        record->command == kDiagnosticsPciTester || record->command == kDiagnosticsEndPciTester;
    if (restartsTheDsp && m_streamProcessorManager != nullptr &&
        (m_streamProcessorManager->GetVideoStreamProcessor(0) != nullptr ||
         m_streamProcessorManager->GetAudioStreamProcessor(0) != nullptr)) {
        TRACE_LINE(this, "Device::SetDiagnostics", kTraceErrors, "Diagnostics %u refused while pins stream",
                   static_cast<unsigned>(record->command));
        return STATUS_INVALID_DEVICE_STATE;
    }
    switch (record->command) {
    case kDiagnosticsReset: {
        if (!hardware)
            return STATUS_SUCCESS;
        NTSTATUS status;
        {
            ProtocolManagerReference manager(this);
            status = manager ? manager->WarmReset() : STATUS_DEVICE_NOT_READY;
        }
        if (NT_SUCCESS(status) && record->fillByte != 0)
            status = StartTheDSPAndFPGA();
        return status;
    }
    case kDiagnosticsMemoryTester: {
        NTSTATUS status = StartTheDSPMemoryTester();
        if (NT_SUCCESS(status) && hardware) {
            ProtocolManagerReference manager(this);
            status = manager ? manager->ProgramDspMemory(record->window, kDiagnosticsWindowAddress,
                                                         kDiagnosticsWindowBytes)
                             : STATUS_DEVICE_NOT_READY;
        }
        return status;
    }
    case kDiagnosticsFill:
        return FillDspMemory(record->address, record->length, record->fillByte);
    case kDiagnosticsWriteFpgaRegister: {
        CommandHandler* handler = AllocateCommandHandler();
        if (handler == nullptr)
            return STATUS_INSUFFICIENT_RESOURCES;
        const NTSTATUS status = handler->WriteFPGARegister(record->address, record->value, record->mask, record->flag != 0);
        FreeCommandHandler(handler);
        return status;
    }
    case kDiagnosticsPciTester:
        return StartPciTest(record);
    case kDiagnosticsEndPciTester: {
        NTSTATUS status = StartTheDSPPciTester();
        if (!NT_SUCCESS(status) || !hardware)
            return status;
        ReleaseDiagnosticsBuffer();
        ProtocolManagerReference manager(this);
        return manager ? manager->WarmReset() : STATUS_DEVICE_NOT_READY;
    }
    default:
        return STATUS_SUCCESS;
    }
}

NTSTATUS Device::FillDspMemory(ULONG address, ULONG length, UCHAR fill)
{
    ProtocolManagerReference manager(this);
    if (!m_driver->GetHardwareInstalled() || !manager)
        return STATUS_UNSUCCESSFUL;
    if (length > kDiagnosticsFillLimit) {
        TRACE_LINE(this, "Device::FillDspMemory", kTraceErrors, "A fill of %u bytes is refused", static_cast<unsigned>(length));
        return STATUS_INVALID_PARAMETER;
    }
    if (length == 0)
        return STATUS_SUCCESS;
    auto* buffer = static_cast<UCHAR*>(AllocatePoolOfType(length, PagedPool));
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(buffer, fill, length);
    const NTSTATUS status = manager->ProgramDspMemory(buffer, address, length);
    FreePool(buffer);
    return status;
}

NTSTATUS Device::StartPciTest(BrevicorDiagnosticsRecord* record)
{
    NTSTATUS status = StartTheDSPPciTester();
    if (!NT_SUCCESS(status) || !m_driver->GetHardwareInstalled())
        return status;
    // A buffer of an earlier start that was never ended goes first.
    ReleaseDiagnosticsBuffer();
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    PHYSICAL_ADDRESS physical{};
    PVOID buffer = handler->AllocateDmaMemory(kPciTesterBufferBytes, &physical);
    FreeCommandHandler(handler);
    if (buffer == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    ULONG cookie = 0;
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::StartPciTest", __LINE__);
        cookie = ++m_diagnosticsCookie;
        if (cookie == 0)
            cookie = ++m_diagnosticsCookie;
        m_diagnosticsBuffer = DiagnosticsBuffer{buffer, physical, cookie};
    }
    UCHAR* bytes = reinterpret_cast<UCHAR*>(record);
    std::memcpy(bytes + kDiagnosticsTestBufferPhysicalOffset, &physical.QuadPart, 8);
    std::memcpy(bytes + kDiagnosticsTestBufferAddressOffset, &cookie, 4);
    ProtocolManagerReference manager(this);
    if (!manager)
        return STATUS_DEVICE_NOT_READY;
    status = manager->ProgramDspMemory(bytes + kDiagnosticsTestBufferPhysicalOffset, kPciTesterPhysicalAddress, 8);
    if (NT_SUCCESS(status))
        status = manager->ProgramDspMemory(bytes + kDiagnosticsTestBufferAddressOffset, kPciTesterCookieAddress, 4);
    return status;
}

void Device::ReleaseDiagnosticsBuffer()
{
    DiagnosticsBuffer kept{};
    {
        KPLXFastStackLock hold(&m_deviceLock, this, "Device::ReleaseDiagnosticsBuffer", __LINE__);
        kept = m_diagnosticsBuffer;
        m_diagnosticsBuffer = DiagnosticsBuffer{};
    }
    if (kept.buffer == nullptr)
        return;
    CommandHandler* handler = AllocateCommandHandler();
    if (handler == nullptr) {
        TRACE_LINE(this, "Device::ReleaseDiagnosticsBuffer", kTraceErrors, "No command record to free the PCI test buffer");
        return;
    }
    handler->FreeDmaMemory(kPciTesterBufferBytes, kept.physical, kept.buffer);
    FreeCommandHandler(handler);
}

bool Device::HasDiagnosticsBuffer()
{
    KPLXFastStackLock hold(&m_deviceLock, this, "Device::HasDiagnosticsBuffer", __LINE__);
    return m_diagnosticsBuffer.buffer != nullptr;
}
