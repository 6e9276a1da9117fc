// CommandHandler: construction and readying of a command record, its two ways of sending, and the
// dispatch of answers that nobody waits for.
#include "commandhandler.h"

#include "device.h"
#include "driver.h"
#include "km/kernel.h"
#include "messages/Talvexon.h"
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
    m_stream = nullptr;
    m_timeout.QuadPart = kDefaultTimeout;
    m_exchange = Exchange::Idle;
}

NTSTATUS CommandHandler::SendCommand()
{
    TRACE_SCOPE(this, "CommandHandler::SendCommand", kTraceHighEnter, "nCommand=%d, nTag=0x%08x",
                static_cast<int>(GetCommandId()), m_hostTag);
    KeResetEvent(&m_completionEvent);
    KeResetEvent(&m_secondEvent);
    TidewellProtocolManager* manager = m_device ? m_device->GetProtocolManager() : nullptr;
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
    Driver* driver = m_device ? m_device->GetDriver() : nullptr;
    if (!driver)
        driver = Driver::Instance();
    if (!driver || driver->GetHardwareInstalled() != 1)
        return STATUS_SUCCESS;
    NTSTATUS status = SendCommand();
    if (!NT_SUCCESS(status))
        return status;
    LARGE_INTEGER timeout = m_timeout;
    status = KeWaitForSingleObject(&m_completionEvent, Executive, KernelMode, FALSE, &timeout);
    if (status == STATUS_SUCCESS)
        return STATUS_SUCCESS;
    if (status == STATUS_TIMEOUT) {
        TidewellProtocolManager* manager = m_device->GetProtocolManager();
        if (manager && !manager->WithdrawCommand(this)) {
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
    case kResponseFilledBuffer:
        // A stream the device still knows takes the record through LogicalStream::OnFrameReady;
        // until the stream engine exists the device knows none, and the record goes back.
        if (!m_stream) {
            ReturnUnowned("A filled buffer without a stream");
        } else if (!m_device || !m_device->ValidateLogicalStream(m_stream)) {
            ReturnUnowned("A filled buffer for a stream that is gone");
        } else {
            ReturnUnowned("A filled buffer with no frame-ready path");
        }
        break;
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
