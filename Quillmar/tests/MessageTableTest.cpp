// The driver's compiled message table: every message the driver's sources name by id is in it,
// ids are unique and carry the driver's facility, texts end in CR LF, the symbolic names match
// the table, and the event log renders a TraceStatus entry through it.
#include "TraceTestSupport.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>

#include "messages/Talvexon.h"
#include "standin/eventlog.h"

extern "C" const standin::MessageTableEntry StandinMessageTable[];
extern "C" const size_t StandinMessageTableCount;

namespace {

using tracetest::TraceTest;

std::map<ULONG, std::string> Table()
{
    std::map<ULONG, std::string> table;
    for (size_t i = 0; i < StandinMessageTableCount; ++i)
        EXPECT_TRUE(table.emplace(StandinMessageTable[i].id, StandinMessageTable[i].text).second)
            << std::hex << StandinMessageTable[i].id;
    return table;
}

TEST(MessageTable, HoldsTheDriverMessagesWithExactTexts)
{
    const auto table = Table();
    EXPECT_EQ(table.size(), 172u);
    for (const auto& [id, text] : table) {
        EXPECT_TRUE((id & 0xFFFF0000u) == 0x40070000u || (id & 0xFFFF0000u) == 0xC0070000u) << std::hex << id;
        ASSERT_GE(text.size(), 2u);
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << std::hex << id;
    }
    EXPECT_EQ(table.at(0x40070000u), "Device %2 is starting\r\n");
    EXPECT_EQ(table.at(0x40070005u), "Trace log file was opened on %2/%3/%4.\r\n");
    EXPECT_EQ(table.at(0xC0071012u), "Attempt to update registry field %2\\\\%3 with a value of %4 failed with return code %5\r\n");
    EXPECT_EQ(table.at(0xC0071094u), "Audio input name %2 is invalid.  \r\n");
    EXPECT_EQ(table.at(0xC007109Bu), "Video field 0 input size=%2x%3, Video field 1 input size=%4x%5\r\n");
    EXPECT_EQ(static_cast<ULONG>(MSG_UNLOCK_REQUESTED_FAILED_LOCK_HELD), 0xC0071017u);
    EXPECT_EQ(static_cast<ULONG>(MSG_TRACE_LOG_FILE_CLOSED), 0x40070006u);
    EXPECT_EQ(static_cast<ULONG>(MSG_INVALID_TRACE_OPTIONS_BITS_SPECIFIED), 0xC0071056u);
    EXPECT_EQ(FACILITY_TALVEXON, 7u);
}

// Every facility-7 id written in a driver source, as a number or as a symbolic name of the message
// file, has an entry.
TEST(MessageTable, CoversEveryIdTheDriverSourcesUse)
{
    const auto table = Table();
    std::set<std::string> symbols;
    {
        std::ifstream header(QUILLMAR_MESSAGE_HEADER);
        ASSERT_TRUE(header.good());
        std::string line;
        const std::regex constant(R"(^inline constexpr NTSTATUS (\w+) = static_cast<NTSTATUS>\(0x([0-9A-F]{8})u\);$)");
        while (std::getline(header, line)) {
            std::smatch m;
            if (std::regex_match(line, m, constant)) {
                symbols.insert(m[1]);
                EXPECT_TRUE(table.count(std::stoul(m[2], nullptr, 16))) << m[1];
            }
        }
    }
    EXPECT_EQ(symbols.size(), table.size());
    const std::regex numeric(R"(0x([4Cc]007[0-9A-Fa-f]{4})\b)");
    const std::regex symbolic(R"(\bMSG_[A-Z0-9_]+\b)");
    size_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QUILLMAR_SOURCE_DIR)) {
        const auto ext = entry.path().extension();
        if (ext != ".cpp" && ext != ".h")
            continue;
        if (entry.path().string().find("/tests/") != std::string::npos)
            continue;
        ++files;
        std::ifstream in(entry.path());
        std::stringstream all;
        all << in.rdbuf();
        const std::string text = all.str();
        for (std::sregex_iterator it(text.begin(), text.end(), numeric), end; it != end; ++it)
            EXPECT_TRUE(table.count(std::stoul((*it)[1], nullptr, 16))) << entry.path() << ": " << (*it)[0];
        for (std::sregex_iterator it(text.begin(), text.end(), symbolic), end; it != end; ++it)
            EXPECT_TRUE(symbols.count((*it)[0])) << entry.path() << ": " << (*it)[0];
    }
    EXPECT_GT(files, 0u);
}

// The message of every event-log entry a driver source writes (the fourth argument of each
// TRACE_STATUS) is one of the table's, named or held in a constant; never a status code, which the
// event log would show as an id it cannot find.
TEST(MessageTable, EveryEventLogEntryOfTheDriverSourcesNamesAMessage)
{
    size_t calls = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(QUILLMAR_SOURCE_DIR)) {
        const auto ext = entry.path().extension();
        if ((ext != ".cpp" && ext != ".h") || entry.path().string().find("/tests/") != std::string::npos)
            continue;
        std::ifstream in(entry.path());
        std::stringstream all;
        all << in.rdbuf();
        const std::string text = all.str();
        for (size_t at = text.find("TRACE_STATUS("); at != std::string::npos; at = text.find("TRACE_STATUS(", at + 1)) {
            // The fourth argument, at depth 0 of the call's parentheses.
            size_t i = at + 13;
            int depth = 0;
            int commas = 0;
            std::string argument;
            for (; i < text.size() && commas < 4; ++i) {
                const char c = text[i];
                if (c == '(' || c == '[')
                    ++depth;
                else if ((c == ')' || c == ']') && depth-- == 0)
                    break;
                if (c == ',' && depth == 0)
                    ++commas;
                else if (commas == 3 && !std::isspace(static_cast<unsigned char>(c)))
                    argument += c;
            }
            if (commas < 4)
                continue; // the macro's own definition
            ++calls;
            const size_t line = static_cast<size_t>(std::count(text.begin(), text.begin() + at, '\n')) + 1;
            EXPECT_EQ(argument.rfind("STATUS_", 0), std::string::npos) << entry.path() << ":" << line << ": " << argument;
        }
    }
    EXPECT_GT(calls, 100u);
}

TEST_F(TraceTest, EventLogRendersTraceStatusThroughTheTable)
{
    standin::RegisterMessageTable("Talvexon", StandinMessageTable, StandinMessageTableCount);
    logger->SetTraceMask(kTraceAlways | kTraceErrors);
    TraceLogger::TraceStatus(logger, nullptr, "Crop::Set", "crop.cpp", 1, kTraceErrors,
                             MSG_SPECIFIED_CROP_HEIGHT_EXCEEDS_ALLOWED_MAXIMUM,
                             "Specified crop height of %d exceeds allowed maximum of %d.", 1200, 1080);
    const auto entries = standin::EventLogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].inserts, (std::vector<std::u16string>{u"1200", u"1080"}));
    const std::string rendered = standin::RenderEventLogEntry(entries[0]);
    standin::UnregisterMessageTable("Talvexon");
    EXPECT_EQ(rendered.substr(0, rendered.find_last_not_of("\r\n") + 1),
              "Specified crop height of 1200 exceeds allowed maximum of 1080.");
}

} // namespace
