// TraceLogger: line formatting, debugger output, the line queue and its writer thread with the log
// file, and the event-log entries of failures.
#include "tracelogger.h"

#include "kernel/widelength.h"

#include "kernel/poolallocation.h"
#include "km/debug.h"
#include "km/eventlog.h"
#include "km/file.h"
#include "km/format.h"
#include "km/irql.h"
#include "km/status.h"
#include "km/thread.h"
#include "km/time.h"

#include <cstring>

std::atomic<TraceLogger*> TraceLogger::s_instance{nullptr};
std::atomic<TraceLogger::NameTakesEffectHook> TraceLogger::s_nameTakesEffectHook{nullptr};

namespace {

constexpr char16_t kDosDevicesPrefix[] = u"\\DosDevices\\";
constexpr size_t kDosDevicesPrefixLength = sizeof(kDosDevicesPrefix) / sizeof(char16_t) - 1;
constexpr char kFileHeader[] = "*****";

const char* BaseName(const char* path)
{
    if (!path)
        return "";
    // The build names sources with either separator; the trace line shows the file name alone.
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    return name;
}

} // namespace

TraceLogger::TraceLogger(PVOID ioObject)
    : m_ioObject(ioObject), m_queue(sizeof(QueueEntry*), kQueueLength, NonPagedPool)
{
    KeInitializeSpinLock(&m_queueLock);
    KeInitializeEvent(&m_writerEvent, SynchronizationEvent, FALSE);
    if (m_queue.IsValid())
        m_writerStarted = NT_SUCCESS(m_writer.Start(&TraceLogger::WriterThread, this, kSystemThreadAllAccess));
}

TraceLogger::~TraceLogger()
{
    Stop();
}

NTSTATUS TraceLogger::CreateInstance(PVOID ioObject)
{
    if (Instance())
        return STATUS_SUCCESS;
    void* block = DriverAllocateNoRaise(sizeof(TraceLogger));
    if (!block)
        return STATUS_INSUFFICIENT_RESOURCES;
    auto* logger = ::new (block) TraceLogger(ioObject);
    if (!logger->Started()) {
        delete logger;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    s_instance.store(logger, std::memory_order_release);
    return STATUS_SUCCESS;
}

void TraceLogger::DestroyInstance()
{
    TraceLogger* logger = s_instance.exchange(nullptr, std::memory_order_acq_rel);
    if (!logger)
        return;
    logger->Stop();
    delete logger;
}

// ---- Settings ---------------------------------------------------------------------------------

void TraceLogger::EnableOutput()
{
    if (!m_stopped)
        m_enabled.store(true, std::memory_order_relaxed);
}

void TraceLogger::DisableOutput()
{
    m_enabled.store(false, std::memory_order_relaxed);
}

ULONG TraceLogger::SetTraceMask(ULONG mask)
{
    return m_traceMask.exchange(mask, std::memory_order_relaxed);
}

NTSTATUS TraceLogger::SetLogFileName(PCWSTR fileName, bool append)
{
    auto* name = static_cast<WCHAR*>(AllocatePool(kLogFileNameCharacters * sizeof(WCHAR)));
    if (!name)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(name, 0, kLogFileNameCharacters * sizeof(WCHAR));
    memcpy(name, kDosDevicesPrefix, kDosDevicesPrefixLength * sizeof(WCHAR));
    if (fileName) {
        // A name too long for the buffer is cut rather than written past it.
        const size_t room = kLogFileNameCharacters - 1 - kDosDevicesPrefixLength;
        size_t length = WideLength(fileName);
        if (length > room)
            length = room;
        memcpy(name + kDosDevicesPrefixLength, fileName, length * sizeof(WCHAR));
    }
    KIRQL previous = AcquireQueueLock();
    WCHAR* old = m_logFileName;
    m_logFileName = name;
    m_fileCreated = append;
    ++m_nameGeneration;
    ReleaseQueueLock(previous);
    FreePool(old);
    if (NameTakesEffectHook hook = s_nameTakesEffectHook.load(std::memory_order_acquire))
        hook(this);
    return STATUS_SUCCESS;
}

void TraceLogger::SetNameTakesEffectHook(NameTakesEffectHook hook)
{
    s_nameTakesEffectHook.store(hook, std::memory_order_release);
}

ULONG TraceLogger::GetLogFileName(WCHAR* buffer, ULONG capacity) const
{
    if (!buffer || capacity == 0)
        return 0;
    auto* self = const_cast<TraceLogger*>(this);
    KIRQL previous = self->AcquireQueueLock();
    ULONG length = 0;
    if (m_logFileName) {
        while (length + 1 < capacity && m_logFileName[length]) {
            buffer[length] = m_logFileName[length];
            ++length;
        }
    }
    buffer[length] = 0;
    self->ReleaseQueueLock(previous);
    return length;
}

void TraceLogger::SetFileCreated(bool created)
{
    KIRQL previous = AcquireQueueLock();
    m_fileCreated = created;
    ReleaseQueueLock(previous);
}

bool TraceLogger::FileCreated() const
{
    auto* self = const_cast<TraceLogger*>(this);
    KIRQL previous = self->AcquireQueueLock();
    const bool created = m_fileCreated;
    self->ReleaseQueueLock(previous);
    return created;
}

ULONGLONG TraceLogger::LastSequenceNumber() const
{
    auto* self = const_cast<TraceLogger*>(this);
    KIRQL previous = self->AcquireQueueLock();
    const ULONGLONG sequence = m_sequence;
    self->ReleaseQueueLock(previous);
    return sequence;
}

// The queue lock is taken from passive or dispatch level; each release matches its acquisition.
KIRQL TraceLogger::AcquireQueueLock()
{
    if (KeGetCurrentIrql() >= DISPATCH_LEVEL) {
        KeAcquireSpinLockAtDpcLevel(&m_queueLock);
        return DISPATCH_LEVEL + 1; // marks "taken at dispatch level"
    }
    KIRQL previous;
    KeAcquireSpinLock(&m_queueLock, &previous);
    return previous;
}

void TraceLogger::ReleaseQueueLock(KIRQL previous)
{
    if (previous == DISPATCH_LEVEL + 1)
        KeReleaseSpinLockFromDpcLevel(&m_queueLock);
    else
        KeReleaseSpinLock(&m_queueLock, previous);
}

// ---- Lines ------------------------------------------------------------------------------------

bool TraceLogger::Wants(ULONG level) const
{
    if (!m_enabled.load(std::memory_order_relaxed))
        return false;
    if (level == kTraceLogToFile || TraceLevelLetter(level) == 0)
        return false;
    return (GetTraceMask() & level) == level;
}

bool TraceLogger::FormatLine(char* buffer, const void* object, const char* functionName, const char* sourceFile,
                             int line, ULONG level, const char* format, va_list args) const
{
    LARGE_INTEGER systemTime;
    LARGE_INTEGER localTime;
    TIME_FIELDS fields;
    KeQuerySystemTime(&systemTime);
    ExSystemTimeToLocalTime(&systemTime, &localTime);
    RtlTimeToTimeFields(&localTime, &fields);

    const size_t limit = kLineBufferBytes - 1; // 1,999 bytes of text at most
    const char* prefix = format ? "%02d:%02d:%02d.%03d 0x%p 0x%p %06d %c %s %s: " : "%02d:%02d:%02d.%03d 0x%p 0x%p %06d %c %s %s";
    int written = _snprintf(buffer, limit, prefix, fields.Hour, fields.Minute, fields.Second, fields.Milliseconds,
                            static_cast<PVOID>(KeGetCurrentThread()), object, line, TraceLevelLetter(level),
                            BaseName(sourceFile), functionName ? functionName : "");
    size_t length = written < 0 ? limit : static_cast<size_t>(written);
    if (format && length < limit) {
        va_list copy;
        va_copy(copy, args);
        written = _vsnprintf(buffer + length, limit - length, format, copy);
        va_end(copy);
        length = written < 0 ? limit : length + static_cast<size_t>(written);
    }
    if (length > kMaximumLineCharacters)
        length = kMaximumLineCharacters;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(buffer[i]);
        if (c < 0x20 || c > 0x7E)
            return false; // unprintable: the whole line is dropped
    }
    buffer[length] = '\n';
    buffer[length + 1] = 0;
    return true;
}

void TraceLogger::Emit(const void* object, const char* functionName, const char* sourceFile, int line, ULONG level,
                       const char* format, va_list args)
{
    if (!Wants(level))
        return;
    auto* buffer = static_cast<char*>(AllocatePool(kLineBufferBytes));
    if (!buffer)
        return;
    memset(buffer, 0, kLineBufferBytes);
    if (FormatLine(buffer, object, functionName, sourceFile, line, level, format, args)) {
        DbgPrint("%s", buffer);
        if (GetTraceMask() & kTraceLogToFile)
            Queue(buffer, strlen(buffer));
    }
    FreePool(buffer);
}

void TraceLogger::Queue(const char* line, size_t length)
{
    // The entry and its text (the line feed becomes CR LF) in one block.
    const size_t textBytes = length + 2;
    auto* entry = static_cast<QueueEntry*>(AllocatePool(sizeof(QueueEntry) + textBytes));
    bool queued = false;
    if (entry) {
        entry->text = reinterpret_cast<char*>(entry + 1);
        memcpy(entry->text, line, length - 1);
        entry->text[length - 1] = '\r';
        entry->text[length] = '\n';
        entry->text[length + 1] = 0;
    }
    // The number is taken under the lock so that numbers reach the ring in order; a line that
    // finds the ring full (or no memory) still uses its number, and the writer reports the gap.
    KIRQL previous = AcquireQueueLock();
    const ULONGLONG sequence = ++m_sequence;
    if (entry && !m_stop.load(std::memory_order_relaxed) && m_queue.Count() < kQueueLength) {
        entry->sequenceNumber = sequence;
        queued = m_queue.Write(&entry, 1) == 1;
    }
    ReleaseQueueLock(previous);
    if (queued)
        KeSetEvent(&m_writerEvent, 0, FALSE);
    else
        FreePool(entry);
}

void TraceLogger::Trace(TraceLogger* logger, const void* object, const char* functionName, const char* sourceFile,
                        int line, ULONG level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    TraceV(logger, object, functionName, sourceFile, line, level, format, args);
    va_end(args);
}

void TraceLogger::TraceV(TraceLogger* logger, const void* object, const char* functionName, const char* sourceFile,
                         int line, ULONG level, const char* format, va_list args)
{
    if (logger)
        logger->Emit(object, functionName, sourceFile, line, level, format, args);
}

void TraceLogger::TraceStatus(TraceLogger* logger, const void* object, const char* functionName,
                              const char* sourceFile, int line, ULONG level, NTSTATUS messageId, const char* format,
                              ...)
{
    va_list args;
    va_start(args, format);
    TraceStatusV(logger, object, functionName, sourceFile, line, level, messageId, format, args);
    va_end(args);
}

void TraceLogger::TraceStatusV(TraceLogger* logger, const void* object, const char* functionName,
                               const char* sourceFile, int line, ULONG level, NTSTATUS messageId, const char* format,
                               va_list args)
{
    if (!logger || !logger->OutputEnabled())
        return;
    va_list copy;
    va_copy(copy, args);
    logger->WriteEventLogEntry(messageId, format, copy);
    va_end(copy);
    logger->Emit(object, functionName, sourceFile, line, level, format, args);
}

// ---- Event log --------------------------------------------------------------------------------

namespace {

// Builds the inserts of an event-log entry from a printf-style format and its arguments: each
// conversion, rebuilt as a wide conversion, formats its argument into one zero-terminated insert.
class InsertBuilder {
public:
    InsertBuilder(WCHAR* area, size_t capacity) : m_area(area), m_capacity(capacity) {}

    void Build(const char* format, va_list arguments)
    {
        if (!format)
            return;
        va_list args;
        va_copy(args, arguments);
        Walk(format, &args);
        va_end(args);
    }

    size_t Count() const { return m_count; }
    size_t Used() const { return m_used; }

private:
    void Walk(const char* format, va_list* ap)
    {
        for (const char* p = format; *p; ++p) {
            if (*p != '%')
                continue;
            ++p;
            if (*p == '%')
                continue; // a literal percent sign
            if (*p == 0)
                break;
            char conversionText[48];
            size_t n = 0;
            conversionText[n++] = '%';
            auto keep = [&](char c) {
                if (n + 1 < sizeof(conversionText))
                    conversionText[n++] = c;
            };
            auto keepNumber = [&](int value) {
                char digits[16];
                const int count = _snprintf(digits, sizeof(digits), "%d", value);
                for (int i = 0; i < count; ++i)
                    keep(digits[i]);
            };
            while (*p == ' ' || *p == '#' || *p == '+' || *p == '-' || *p == '0')
                keep(*p++);
            if (*p == '*') {
                keepNumber(va_arg(*ap, int));
                ++p;
            } else {
                while (*p >= '0' && *p <= '9')
                    keep(*p++);
            }
            if (*p == '.') {
                keep(*p++);
                if (*p == '*') {
                    keepNumber(va_arg(*ap, int));
                    ++p;
                } else {
                    while (*p >= '0' && *p <= '9')
                        keep(*p++);
                }
            }
            enum class Size { None, Short, Long, Wide, Int32, Int64, Pointer } size = Size::None;
            if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
                size = Size::Int64;
                p += 3;
            } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
                size = Size::Int32;
                p += 3;
            } else if (*p == 'I') {
                size = Size::Pointer;
                ++p;
            } else if (*p == 'h') {
                size = Size::Short;
                ++p;
            } else if (*p == 'l') {
                size = Size::Long;
                ++p;
                if (*p == 'l') { // ll: 64 bits, as I64
                    size = Size::Int64;
                    ++p;
                }
            } else if (*p == 'w') {
                size = Size::Wide;
                ++p;
            }
            const char conversion = *p;
            if (conversion == 0)
                break;
            FormatOne(conversionText, n, size == Size::Int64 ? "I64" : size == Size::Pointer ? "I64" : size == Size::Short ? "h" : "",
                      conversion, size == Size::Long || size == Size::Wide, ap);
        }
    }

    void FormatOne(char* conversionText, size_t n, const char* intSize, char conversion, bool wideText, va_list* ap)
    {
        WCHAR wideConversion[64];
        size_t w = 0;
        auto put = [&](char c) {
            if (w + 1 < sizeof(wideConversion) / sizeof(WCHAR))
                wideConversion[w++] = static_cast<WCHAR>(c);
        };
        for (size_t i = 0; i < n; ++i)
            put(conversionText[i]);
        WCHAR text[kTextCharacters];
        text[0] = 0;
        switch (conversion) {
        case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': {
            for (const char* s = intSize; *s; ++s)
                put(*s);
            put(conversion);
            wideConversion[w] = 0;
            if (intSize[0] == 'I')
                _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, long long));
            else
                _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, int));
            break;
        }
        case 'c': case 'C': {
            // In the wide form, 'hc' is a narrow character and 'c' a wide one.
            const bool wide = conversion == 'C' || wideText;
            if (!wide)
                put('h');
            put('c');
            wideConversion[w] = 0;
            _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, int));
            break;
        }
        case 's': case 'S': {
            const bool wide = conversion == 'S' || wideText;
            if (!wide)
                put('h');
            put('s');
            wideConversion[w] = 0;
            _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, const void*));
            break;
        }
        case 'e': case 'E': case 'f': case 'g': case 'G': case 'a': case 'A': {
            put(conversion);
            wideConversion[w] = 0;
            _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, double));
            break;
        }
        case 'p': {
            put('p');
            wideConversion[w] = 0;
            _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, void*));
            break;
        }
        case 'Z': {
            put(wideText ? 'w' : 'h');
            put('Z');
            wideConversion[w] = 0;
            _snwprintf(text, kTextCharacters - 1, wideConversion, va_arg(*ap, void*));
            break;
        }
        default:
            return; // not a conversion: no argument is taken
        }
        text[kTextCharacters - 1] = 0;
        Append(text);
    }

    // Empty inserts are kept, so that every later insert keeps its number.
    void Append(const WCHAR* text)
    {
        size_t length = WideLength(text);
        if (m_used >= m_capacity)
            return;
        if (m_used + length + 1 > m_capacity)
            length = m_capacity - m_used - 1;
        memcpy(m_area + m_used, text, length * sizeof(WCHAR));
        m_area[m_used + length] = 0;
        m_used += length + 1;
        ++m_count;
    }

    static constexpr size_t kTextCharacters = 512;
    WCHAR* m_area;
    size_t m_capacity;
    size_t m_used = 0;
    size_t m_count = 0;
};

} // namespace

void TraceLogger::WriteEventLogEntry(NTSTATUS messageId, const char* format, va_list args)
{
    if (!m_ioObject)
        return;
    auto* area = static_cast<WCHAR*>(AllocatePool(kInsertAreaCharacters * sizeof(WCHAR)));
    if (!area)
        return;
    // The entry's size is one byte wide and the I/O manager grants at most ERROR_LOG_MAXIMUM_SIZE:
    // the inserts are cut to what fits after the header, so the size can neither wrap nor be refused.
    constexpr size_t kInsertRoom = (ERROR_LOG_MAXIMUM_SIZE - kErrorLogHeaderBytes) / sizeof(WCHAR);
    static_assert(kInsertRoom <= kInsertAreaCharacters);
    InsertBuilder inserts(area, kInsertRoom);
    inserts.Build(format, args);

    const size_t entrySize = kErrorLogHeaderBytes + inserts.Used() * sizeof(WCHAR);
    KIRQL previous;
    KeRaiseIrql(DISPATCH_LEVEL, &previous);
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(m_ioObject, static_cast<UCHAR>(entrySize)));
    if (packet) {
        packet->MajorFunctionCode = 0;
        packet->RetryCount = 0;
        packet->DumpDataSize = 0;
        packet->NumberOfStrings = static_cast<USHORT>(inserts.Count());
        packet->StringOffset = static_cast<USHORT>(kErrorLogHeaderBytes);
        packet->ErrorCode = messageId;
        packet->UniqueErrorValue = static_cast<ULONG>(messageId) & 0xFFFF;
        packet->FinalStatus = 0;
        packet->SequenceNumber = 0;
        packet->IoControlCode = 0;
        memcpy(reinterpret_cast<UCHAR*>(packet) + kErrorLogHeaderBytes, area, inserts.Used() * sizeof(WCHAR));
        IoWriteErrorLogEntry(packet);
    }
    KeLowerIrql(previous);
    FreePool(area);
}

// ---- Writer thread ----------------------------------------------------------------------------

void TraceLogger::WriterThread(PVOID context)
{
    static_cast<TraceLogger*>(context)->WriterLoop();
}

bool TraceLogger::PopEntry(QueueEntry** entry)
{
    KIRQL previous = AcquireQueueLock();
    const bool popped = m_queue.Read(entry, 1) == 1;
    ReleaseQueueLock(previous);
    return popped;
}

void TraceLogger::WriterLoop()
{
    ULONGLONG expected = 1;
    for (;;) {
        const bool stopping = m_stop.load(std::memory_order_acquire);
        // Every line queued before the stop is written: the stop ends only the waiting, so the
        // last lines of an unload (the log's closing line among them) reach the file.
        QueueEntry* entry = nullptr;
        while (PopEntry(&entry)) {
            WriteEntry(entry, &expected);
            FreePool(entry);
        }
        if (stopping)
            break;
        // Every push and the stop signal the event: the writer sleeps until there is work.
        KeWaitForSingleObject(&m_writerEvent, Executive, KernelMode, FALSE, nullptr);
    }
    FreeQueued();
}

void TraceLogger::WriteEntry(const QueueEntry* entry, ULONGLONG* expected)
{
    WCHAR name[kLogFileNameCharacters];
    KIRQL previous = AcquireQueueLock();
    const bool haveName = m_logFileName != nullptr;
    if (haveName)
        memcpy(name, m_logFileName, sizeof(name));
    bool created = m_fileCreated;
    const ULONG generation = m_nameGeneration;
    ReleaseQueueLock(previous);
    if (!haveName)
        return; // no log file named yet: the line reached the debugger only

    auto markCreated = [&] {
        KIRQL irql = AcquireQueueLock();
        if (m_nameGeneration == generation)
            m_fileCreated = true;
        ReleaseQueueLock(irql);
    };
    auto createFile = [&]() -> bool {
        NTSTATUS status = m_file.Create(name, nullptr, FILE_GENERIC_WRITE, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_OVERWRITE_IF,
                                        FILE_SYNCHRONOUS_IO_NONALERT, nullptr);
        if (!NT_SUCCESS(status))
            return false;
        markCreated();
        ULONG written = 0;
        m_file.Write(kFileHeader, sizeof(kFileHeader) - 1, &written);
        return true;
    };

    if (!created) {
        if (createFile())
            m_file.Close();
    }
    NTSTATUS status = m_file.Create(name, nullptr, FILE_APPEND_DATA | SYNCHRONIZE,
                                    OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ,
                                    FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr);
    if (!NT_SUCCESS(status) && !createFile())
        return; // the file cannot be had: the line is lost, the numbering goes on
    ULONG written = 0;
    if (entry->sequenceNumber != *expected) {
        char lost[80];
        const int length = _snprintf(lost, sizeof(lost), "***** %d trace lines have been lost *****",
                                     static_cast<int>(entry->sequenceNumber - *expected));
        if (length > 0)
            m_file.Write(lost, static_cast<ULONG>(length), &written);
    }
    m_file.Write(entry->text, static_cast<ULONG>(strlen(entry->text)), &written);
    *expected = entry->sequenceNumber + 1;
    m_file.Close();
}

void TraceLogger::FreeQueued()
{
    QueueEntry* entry = nullptr;
    while (PopEntry(&entry))
        FreePool(entry);
}

void TraceLogger::Stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    DisableOutput();
    m_stop.store(true, std::memory_order_release);
    if (m_writerStarted) {
        KeSetEvent(&m_writerEvent, 0, FALSE);
        if (PKTHREAD thread = m_writer.ThreadObject())
            KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        m_writer.Release();
    }
    FreeQueued();
    KIRQL previous = AcquireQueueLock();
    WCHAR* name = m_logFileName;
    m_logFileName = nullptr;
    ReleaseQueueLock(previous);
    FreePool(name);
}
