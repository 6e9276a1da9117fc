// TraceLogger: the driver-wide trace sink. It formats each line with the time, thread, object,
// source line, level letter, file and function; prints it to the kernel debugger; when the mask
// carries "LogTraceToFile" queues it (500 lines at most) for its writer thread, which appends it to
// the log file; and writes the event-log entries of failures (TraceStatus). One instance exists
// while the driver is loaded: created first at load, destroyed last at unload.
#pragma once
#include "kernel/driverheap.h"
#include "kernel/kernelfile.h"
#include "kernel/ringbuffer.h"
#include "kernel/systemthread.h"
#include "km/spinlock.h"
#include "km/sync.h"
#include "km/types.h"
#include "tracelevels.h"

#include <atomic>
#include <cstdarg>

class TraceLogger : public DriverAllocated {
public:
    // Lines the queue holds; lines printed while it is full are lost and counted in the file.
    static constexpr ULONG kQueueLength = 500;
    // Buffer of one formatted line; a line is cut to kMaximumLineCharacters and a line feed.
    static constexpr ULONG kLineBufferBytes = 2000;
    static constexpr ULONG kMaximumLineCharacters = 1998;
    // Characters of the full log file name ("\DosDevices\" + name), terminating zero included.
    static constexpr ULONG kLogFileNameCharacters = 260;
    // Wide characters of the inserts of one event-log entry, before the entry's own cap.
    static constexpr ULONG kInsertAreaCharacters = 1024;
    // Header of an error-log entry; the inserts follow it.
    static constexpr ULONG kErrorLogHeaderBytes = 48;

    // ioObject: the driver object the event-log entries are written for (none: no entries).
    // Starts the writer thread; Started() tells whether it runs.
    explicit TraceLogger(PVOID ioObject);
    // Stop, when it has not run yet.
    ~TraceLogger();
    TraceLogger(const TraceLogger&) = delete;
    TraceLogger& operator=(const TraceLogger&) = delete;

    // The driver's instance, used by every scope and print; null while none exists (everything
    // then does nothing). CreateInstance builds it at load (STATUS_INSUFFICIENT_RESOURCES when the
    // object or its writer thread cannot be had); DestroyInstance stops and frees it at unload.
    static TraceLogger* Instance() { return s_instance.load(std::memory_order_acquire); }
    static NTSTATUS CreateInstance(PVOID ioObject);
    static void DestroyInstance();

    bool Started() const { return m_writerStarted; }

    // One line at `level` (printf-style format with Windows' rules). A null logger does nothing.
    static void Trace(TraceLogger* logger, const void* object, const char* functionName, const char* sourceFile,
                      int line, ULONG level, const char* format, ...);
    static void TraceV(TraceLogger* logger, const void* object, const char* functionName, const char* sourceFile,
                       int line, ULONG level, const char* format, va_list args);
    // One event-log entry with message id `messageId` and the format's conversions as its inserts
    // (%2, %3, ...), and the same text as a trace line at `level`.
    static void TraceStatus(TraceLogger* logger, const void* object, const char* functionName, const char* sourceFile,
                            int line, ULONG level, NTSTATUS messageId, const char* format, ...);
    static void TraceStatusV(TraceLogger* logger, const void* object, const char* functionName,
                             const char* sourceFile, int line, ULONG level, NTSTATUS messageId, const char* format,
                             va_list args);

    void EnableOutput();
    void DisableOutput();
    bool OutputEnabled() const { return m_enabled.load(std::memory_order_relaxed); }
    // Replaces the mask; returns the previous one.
    ULONG SetTraceMask(ULONG mask);
    ULONG GetTraceMask() const { return m_traceMask.load(std::memory_order_relaxed); }
    // The log file becomes "\DosDevices\" + fileName (cut to fit kLogFileNameCharacters); the next
    // line written starts it anew, or with `append` (after an unclean shutdown) is added to what the
    // file holds. The name and that choice take effect together, so no line can come between them.
    NTSTATUS SetLogFileName(PCWSTR fileName, bool append = false);
    // Test seam: `hook` runs on the caller's thread each time SetLogFileName has made a name take
    // effect (no lock held), so a test can queue lines at that point; null removes it.
    using NameTakesEffectHook = void (*)(TraceLogger* logger);
    static void SetNameTakesEffectHook(NameTakesEffectHook hook);
    // Copies the full log file name ("\DosDevices\..."), terminated, into `buffer` of `capacity`
    // characters (cut to fit); returns the characters copied without the zero. Empty before
    // SetLogFileName.
    ULONG GetLogFileName(WCHAR* buffer, ULONG capacity) const;
    // Whether the log file has been created in this run (then lines are appended to it).
    void SetFileCreated(bool created);
    bool FileCreated() const;

    // Disables output, ends the writer thread and frees whatever is still queued. Later prints do
    // nothing.
    void Stop();

    // The sequence number the last queued (or lost) line took.
    ULONGLONG LastSequenceNumber() const;

private:
    struct QueueEntry {
        ULONGLONG sequenceNumber;
        char* text; // the line, ending in CR LF, NUL-terminated; in the entry's own block
    };

    // Formats the prefix and the caller's text into `buffer`; false when the line is not printed.
    bool FormatLine(char* buffer, const void* object, const char* functionName, const char* sourceFile, int line,
                    ULONG level, const char* format, va_list args) const;
    void Emit(const void* object, const char* functionName, const char* sourceFile, int line, ULONG level,
              const char* format, va_list args);
    void Queue(const char* line, size_t length);
    void WriteEventLogEntry(NTSTATUS messageId, const char* format, va_list args);
    bool Wants(ULONG level) const;

    static void WriterThread(PVOID context);
    void WriterLoop();
    void WriteEntry(const QueueEntry* entry, ULONGLONG* expectedSequence);
    bool PopEntry(QueueEntry** entry);
    void FreeQueued();
    KIRQL AcquireQueueLock();
    void ReleaseQueueLock(KIRQL previous);

    static std::atomic<TraceLogger*> s_instance;
    static std::atomic<NameTakesEffectHook> s_nameTakesEffectHook;

    std::atomic<bool> m_enabled{true};
    std::atomic<ULONG> m_traceMask{0};
    // File-created flag and log file name, guarded by the queue lock; the generation tells the
    // writer that the name changed while it wrote.
    bool m_fileCreated = false;
    ULONG m_nameGeneration = 0;
    WCHAR* m_logFileName = nullptr;
    PVOID m_ioObject = nullptr;
    SystemThread m_writer;
    bool m_writerStarted = false;
    KernelFile m_file;
    RingBuffer m_queue;
    KSPIN_LOCK m_queueLock = 0;
    std::atomic<bool> m_stop{false};
    bool m_stopped = false;
    KEVENT m_writerEvent{};
    ULONGLONG m_sequence = 0; // under the queue lock
};
