// Shared by the trace and lock tests: a machine root with drive C, a driver object for the
// event-log entries, the driver's trace logger created for each test, and helpers to read what
// reached the debugger and the log file.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "km/debug.h"
#include "km/eventlog.h"
#include "km/iodevice.h"
#include "km/status.h"
#include "km/string.h"
#include "standin/debugger.h"
#include "standin/drives.h"
#include "standin/eventlog.h"
#include "standin/filefaults.h"
#include "testsupport/WaitUntil.h"
#include "tracelogger.h"

namespace tracetest {

namespace fs = std::filesystem;

using testsupport::WaitUntil;

class TraceTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "trace-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        fs::create_directory(root / "C");
        standin::SetMachineRoot(root.string());
        driver.Type = IO_TYPE_DRIVER;
        driver.Size = sizeof(DRIVER_OBJECT);
        RtlInitUnicodeString(&driver.DriverName, u"\\Driver\\Talvexon");
        standin::DebugOutputClear();
        standin::EventLogClear();
        ASSERT_EQ(TraceLogger::CreateInstance(&driver), STATUS_SUCCESS);
        logger = TraceLogger::Instance();
    }
    void TearDown() override
    {
        TraceLogger::DestroyInstance();
        standin::ClearFileFailures();
        standin::SetMachineRoot("");
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    std::string LogText(const char* name = "t.log") const
    {
        std::ifstream in(root / "C" / name, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }
    bool LogExists(const char* name = "t.log") const { return fs::exists(root / "C" / name); }

    // Lines printed to the debugger that contain `needle`.
    static std::vector<std::string> DebugLinesWith(const std::string& needle)
    {
        std::vector<std::string> found;
        for (const auto& line : standin::DebugOutput())
            if (line.find(needle) != std::string::npos)
                found.push_back(line);
        return found;
    }

    fs::path root;
    DRIVER_OBJECT driver{};
    TraceLogger* logger = nullptr;
};

} // namespace tracetest
