// The main job's output folder: one that cannot be written stops the run with a clear error and
// exit status 1 before the machine boots (the machine folder is not even made); a missing one is
// made. The filters are found by the friendly names the property pages build.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string output; // standard output and error
};

Result RunMainJob(const std::string& arguments)
{
    Result result;
    const std::string command = std::string("'") + TALVEXON_RUN + "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr)
        result.output += buffer;
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class MainJobOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "main-job-out-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(folder_ / "locked", fs::perms::owner_all, ignored);
        fs::remove_all(folder_, ignored);
    }
    fs::path folder_;
};

TEST_F(MainJobOutputTest, AFolderThatCannotBeWrittenStopsTheRunBeforeItBoots)
{
    // A file where the folder should be.
    std::ofstream(folder_ / "plain-file") << "x";
    Result result = RunMainJob("--machine '" + (folder_ / "machine").string() + "' --out '" + (folder_ / "plain-file").string() +
                        "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_NE(result.output.find("the output folder cannot be written: " + (folder_ / "plain-file").string() +
                                 " is not a folder"),
              std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(folder_ / "machine"));
    // A folder to be made below a file.
    result = RunMainJob("--machine '" + (folder_ / "machine").string() + "' --out '" +
                        (folder_ / "plain-file" / "sub").string() + "'");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_NE(result.output.find("cannot create " + (folder_ / "plain-file" / "sub").string()), std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(folder_ / "machine"));

    // A folder without write permission (root writes anywhere: then the check has nothing to find).
    if (::geteuid() != 0) {
        fs::create_directory(folder_ / "locked");
        fs::permissions(folder_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        result = RunMainJob("--machine '" + (folder_ / "machine").string() + "' --out '" + (folder_ / "locked").string() + "'");
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find("cannot create a file in " + (folder_ / "locked").string()), std::string::npos)
            << result.output;
        // Nor can a folder be made below it.
        result = RunMainJob("--machine '" + (folder_ / "machine").string() + "' --out '" +
                     (folder_ / "locked" / "new").string() + "'");
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find("cannot create " + (folder_ / "locked" / "new").string()), std::string::npos)
            << result.output;
        EXPECT_FALSE(fs::exists(folder_ / "machine"));
    }
}

TEST_F(MainJobOutputTest, TheFiltersAreFoundByTheNamesThePropertyPagesBuild)
{
    const Result result = RunMainJob("--machine '" + (folder_ / "machine").string() + "' --out '" +
                                     (folder_ / "out").string() + "'");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(fs::is_directory(folder_ / "out"));
    for (const char* line : {"  name prefix \"Talvexon HD \", device number 1\n",
                             "  video capture filter     \"Talvexon HD Video Device 1\" found\n",
                             "  crossbar filter          \"Talvexon HD Crossbar Device 1\" found\n",
                             "  audio filter of input 0  \"SDI Audio 1 (Talvexon HD 1)\" found\n"})
        EXPECT_NE(result.output.find(line), std::string::npos) << line << result.output;
}

TEST_F(MainJobOutputTest, BadSecondsAreAUsageError)
{
    for (const char* seconds : {"0", "-2", "abc", "3601", "2x"}) {
        const Result result = RunMainJob(std::string("--seconds ") + seconds + " --out '" + folder_.string() + "'");
        EXPECT_EQ(result.status, 2) << seconds;
        EXPECT_NE(result.output.find("usage: talvexon-run"), std::string::npos) << seconds;
    }
}

} // namespace
