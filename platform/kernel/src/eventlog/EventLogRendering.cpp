// The event log as text: one entry through its source's message table, and the whole log as the
// lines of a text file.
#include "MessageTables.h"
#include "Utf8.h"
#include "km/eventlog.h"
#include "km/time.h"
#include "standin/eventlog.h"

#include <cstdio>
#include <string>

namespace standin {
namespace {

// "2024-05-01 13:04:05.067" in local time.
std::string LocalTimeText(LONGLONG systemTime)
{
    LARGE_INTEGER system;
    system.QuadPart = systemTime;
    LARGE_INTEGER local;
    ExSystemTimeToLocalTime(&system, &local);
    TIME_FIELDS fields;
    RtlTimeToTimeFields(&local, &fields);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", fields.Year, fields.Month,
                  fields.Day, fields.Hour, fields.Minute, fields.Second, fields.Milliseconds);
    return text;
}

// Each line break of the text starts a continuation line with a tab; breaks at the end go.
std::string IndentContinuations(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n'))
        --end;
    std::string out;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < end && text[i + 1] == '\n')
                ++i;
            out += "\n\t";
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

const char* EventSeverityName(ULONG messageId)
{
    static const char* const names[] = {"Success", "Information", "Warning", "Error"};
    return names[messageId >> 30];
}

std::string RenderEventLogEntry(const EventLogEntry& entry)
{
    std::vector<std::u16string> inserts;
    inserts.reserve(entry.inserts.size() + 1);
    inserts.push_back(entry.objectName);
    inserts.insert(inserts.end(), entry.inserts.begin(), entry.inserts.end());

    if (const auto message = MessageTables::Instance().Find(entry.source, entry.messageId))
        return FormatEventMessage(*message, inserts);

    char id[16];
    std::snprintf(id, sizeof id, "0x%08X", entry.messageId);
    std::string text = std::string("The description for Event ID ") + id + " from source " + entry.source +
                       " cannot be found. The following information was included with the event:";
    for (const auto& insert : inserts)
        text += "\r\n" + Utf8Text(insert);
    return text;
}

std::string EventLogEntryText(const EventLogEntry& entry)
{
    char id[16];
    std::snprintf(id, sizeof id, "0x%08X", entry.messageId);
    return LocalTimeText(entry.timeWritten) + " " + entry.source + " " + EventSeverityName(entry.messageId) + " " +
           id + " " + IndentContinuations(RenderEventLogEntry(entry)) + "\n";
}

std::string EventLogText()
{
    std::string text;
    for (const auto& entry : EventLogEntries())
        text += EventLogEntryText(entry);
    return text;
}

} // namespace standin
