// The machine's event log file: entries appended as written, its maximum size kept by dropping the
// oldest entries whole (with their continuation lines), the newest entry always kept, and a file
// left larger by an earlier, larger setting cut at once.
#include "EventLogFile.h"

#include "MachineFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

using machinetest::TemporaryFolder;

std::string ReadFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(EventLogFile, EntriesReachTheFileAsWrittenAfterTheEarlierRuns)
{
    TemporaryFolder folder;
    const auto file = folder.Path() / "eventlog.txt";
    std::ofstream(file, std::ios::binary) << "old 1\n";
    platform::EventLogFile log(file, 1000);
    log.Append("new 1\n");
    EXPECT_EQ(ReadFile(file), "old 1\nnew 1\n");
    log.Append("new 2\n\tcontinued\n");
    EXPECT_EQ(ReadFile(file), "old 1\nnew 1\nnew 2\n\tcontinued\n");
    EXPECT_TRUE(log.Save());
    EXPECT_TRUE(log.Save());
    EXPECT_EQ(ReadFile(file), "old 1\nnew 1\nnew 2\n\tcontinued\n");
}

TEST(EventLogFile, OldestEntriesGoFirstEachWholeWithItsContinuationLines)
{
    TemporaryFolder folder;
    const auto file = folder.Path() / "eventlog.txt";
    std::ofstream(file, std::ios::binary) << "aaaa\n\tcont a\nbbbb\n";
    platform::EventLogFile log(file, 24);
    log.Append("cccc\n"); // 18 + 5 = 23: fits
    EXPECT_EQ(ReadFile(file), "aaaa\n\tcont a\nbbbb\ncccc\n");
    log.Append("dddd\n"); // 28: the first entry, with its continuation, goes
    EXPECT_EQ(ReadFile(file), "bbbb\ncccc\ndddd\n");
    log.Append("eeee\n\teeee\n"); // 26: one more goes
    EXPECT_EQ(ReadFile(file), "cccc\ndddd\neeee\n\teeee\n");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "eventlog.txt.new"));
}

TEST(EventLogFile, AnEntryLargerThanTheFileIsKeptAlone)
{
    TemporaryFolder folder;
    const auto file = folder.Path() / "eventlog.txt";
    platform::EventLogFile log(file, 8);
    log.Append("one\n");
    log.Append("a long entry\n");
    EXPECT_EQ(ReadFile(file), "a long entry\n");
    log.Append("two\n");
    EXPECT_EQ(ReadFile(file), "two\n");
}

TEST(EventLogFile, AFileLargerThanALoweredSizeIsCutAtOnce)
{
    TemporaryFolder folder;
    const auto file = folder.Path() / "eventlog.txt";
    std::ofstream(file, std::ios::binary) << "first\nsecond\nthird\n";
    platform::EventLogFile log(file, 14);
    EXPECT_TRUE(log.Save());
    EXPECT_EQ(ReadFile(file), "second\nthird\n");
}

} // namespace
