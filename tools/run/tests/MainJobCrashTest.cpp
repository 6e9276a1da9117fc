// The main job killed: a run of talvexon-run is killed (SIGKILL, nothing of it runs after) once the
// driver has loaded, once the board is up and once everything is shown; the next run must report
// the previous run as ended without shutdown and append to the killed run's trace log, and the
// killed run's event-log entries must be in the machine's file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "testsupport/WaitUntil.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
    std::string output;
    bool killed = false; // stopped at the point asked for and killed there
    int status = 0;      // waitpid's status
};

// A state another process brings about.
using testsupport::WaitUntil;

// Runs the main job on `folder`; with `stopAt`, kills it with SIGKILL once it says it stopped there
// and `readyToKill` (when given) holds.
RunResult RunMainJob(const fs::path& folder, const std::string& stopAt = {},
                     const std::function<bool()>& readyToKill = {})
{
    RunResult result;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return result;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        const std::string machine = folder.string();
        // A whole run captures too: one second of it, into the machine's folder.
        const std::string out = (folder / "capture").string();
        if (stopAt.empty())
            execl(TALVEXON_RUN, TALVEXON_RUN, "--machine", machine.c_str(), "--seconds", "1", "--out", out.c_str(),
                  static_cast<char*>(nullptr));
        else
            execl(TALVEXON_RUN, TALVEXON_RUN, "--machine", machine.c_str(), "--stop-at", stopAt.c_str(),
                  static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    const std::string marker = "stopped at " + stopAt + ":";
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
        if (!stopAt.empty() && !result.killed && result.output.find(marker) != std::string::npos) {
            if (readyToKill && !WaitUntil(readyToKill))
                result.output += "\n(test: the state to kill in never came)\n";
            kill(child, SIGKILL);
            result.killed = true;
        }
    }
    close(pipeEnds[0]);
    waitpid(child, &result.status, 0);
    return result;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Count(const std::string& text, const std::string& needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

class MainJobCrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/talvexon-main-job-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = fs::path(pattern) / "machine";
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(folder_.parent_path(), error);
    }

    // The driver's trace log: "c:\Quillmar.log", found without regard to case.
    fs::path TraceLog() const
    {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(folder_, error)) {
            std::string name = entry.path().filename().string();
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            if (name == "quillmar.log")
                return entry.path();
        }
        return {};
    }

    fs::path folder_;
};

TEST_F(MainJobCrashTest, AKilledRunIsReportedByTheNextAndItsLogsAreKept)
{
    const RunResult first = RunMainJob(folder_);
    ASSERT_TRUE(WIFEXITED(first.status) && WEXITSTATUS(first.status) == 0) << first.output;
    ASSERT_NE(first.output.find("previous run: none recorded"), std::string::npos) << first.output;

    for (const std::string point : {"loaded", "plugged", "shown"}) {
        SCOPED_TRACE("killed at " + point);
        const std::string eventsBefore = ReadFile(folder_ / "eventlog.txt");
        // The driver's writer thread puts queued trace lines into the file some time after they
        // are traced: the kill waits until the run has started its log anew and the load's line
        // is in it, as lines written before a crash are what a crash must keep.
        const std::string logBefore = ReadFile(TraceLog());
        const RunResult killed = RunMainJob(folder_, point, [&] {
            const std::string now = ReadFile(TraceLog());
            return now != logBefore && now.find("Trace log file was opened on") != std::string::npos;
        });
        ASSERT_TRUE(killed.killed) << killed.output;
        ASSERT_TRUE(WIFSIGNALED(killed.status) && WTERMSIG(killed.status) == SIGKILL);
        // A clean end before: the killed run started its log anew.
        EXPECT_NE(killed.output.find("previous run: ended cleanly"), std::string::npos) << killed.output;

        // What the killed run left on disk: the flag it flushed, its log, its events.
        EXPECT_NE(ReadFile(folder_ / "registry.reg").find("\"DriverShutdownSuccessfull\"=dword:00000000"),
                  std::string::npos);
        const fs::path log = TraceLog();
        ASSERT_FALSE(log.empty());
        const std::string killedLog = ReadFile(log);
        EXPECT_NE(killedLog.find("Trace log file was opened on"), std::string::npos) << killedLog;
        const std::string events = ReadFile(folder_ / "eventlog.txt");
        ASSERT_GT(events.size(), eventsBefore.size());
        EXPECT_EQ(events.compare(0, eventsBefore.size(), eventsBefore), 0) << "the earlier runs' entries stay";
        if (point != "loaded") {
            EXPECT_EQ(Count(events, "is starting"), Count(eventsBefore, "is starting") + 1);
            EXPECT_EQ(Count(events, "started"), Count(eventsBefore, "started") + 1) << events;
        }

        const RunResult next = RunMainJob(folder_);
        ASSERT_TRUE(WIFEXITED(next.status) && WEXITSTATUS(next.status) == 0) << next.output;
        EXPECT_NE(next.output.find("previous run: ended without shutdown (\"DriverShutdownSuccessfull\" = 0): the "
                                   "trace log is appended to"),
                  std::string::npos)
            << next.output;
        const std::string nextLog = ReadFile(TraceLog());
        ASSERT_GT(nextLog.size(), killedLog.size());
        EXPECT_EQ(nextLog.compare(0, killedLog.size(), killedLog), 0) << "the killed run's log was replaced";
        EXPECT_EQ(Count(nextLog, "Trace log file was opened on"), Count(killedLog, "Trace log file was opened on") + 1);
        EXPECT_EQ(ReadFile(folder_ / "eventlog.txt").compare(0, events.size(), events), 0);
    }
}

} // namespace
