// The driver file as the machine loads it: installed from the build, loaded through its service,
// "Parameters" completed, unloaded without leaks, loaded again in the same process, and its
// event-log entries rendered through the message table it carries.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "BoardMachine.h"
#include "km/kernel.h"
#include "platform/machine/Machine.h"
#include "standin/registry.h"

namespace {

constexpr char16_t kService[] = u"Talvexon";
constexpr char16_t kParameters[] =
    u"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\Talvexon\\Parameters";

class DriverFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        folder_ = std::filesystem::temp_directory_path() / ("driverfile-" + std::to_string(random()));
        options_.driverFiles = toolboot::DriverPackageFiles({});
        options_.speedFactor = 20.0;
    }
    void TearDown() override
    {
        machine_.reset();
        std::filesystem::remove_all(folder_);
    }
    // The platform's base machine with the system's layer over it, as the main job boots.
    void Boot()
    {
        machine_ = toolboot::OpenMachine(folder_, options_);
    }

    static std::string Parameters()
    {
        std::string text;
        EXPECT_TRUE(standin::ExportRegistryText(kParameters, &text));
        return text;
    }

    std::filesystem::path folder_;
    platform::MachineOptions options_;
    std::unique_ptr<platform::Machine> machine_;
};

TEST_F(DriverFileTest, LoadsUnloadsAndLoadsAgainWithEverySymbolResolved)
{
    Boot();
    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    std::string text = Parameters();
    EXPECT_NE(text.find("\"DefaultFrameRate\"=dword:00000bb5"), std::string::npos) << text;
    EXPECT_NE(text.find("\"DriverShutdownSuccessfull\"=dword:00000000"), std::string::npos);
    EXPECT_NE(text.find("\"PerfMaximumVideoWidth\"=dword:00000780"), std::string::npos);

    platform::UnloadReport report;
    ASSERT_EQ(machine_->UnloadDriver(kService, &report), STATUS_SUCCESS);
    EXPECT_TRUE(report.leakChecksRun);
    EXPECT_EQ(report.leaks, 0u);
    EXPECT_TRUE(report.imagesUnmapped);
    EXPECT_NE(Parameters().find("\"DriverShutdownSuccessfull\"=dword:00000001"), std::string::npos);

    ASSERT_EQ(machine_->LoadDriver(kService), STATUS_SUCCESS);
    EXPECT_NE(Parameters().find("\"DriverShutdownSuccessfull\"=dword:00000000"), std::string::npos);
    report = machine_->Shutdown();
    EXPECT_EQ(report.leaks, 0u);

    std::ifstream log(folder_ / platform::Machine::kEventLogFile);
    std::stringstream events;
    events << log.rdbuf();
    EXPECT_NE(events.str().find("Trace log file was opened on"), std::string::npos);
    EXPECT_NE(events.str().find("Trace log file was closed on"), std::string::npos);
}

} // namespace
