// The load sequence: every "Parameters" value completed with its default and type, the read-time
// clamps, a missing key, the clean-shutdown flag, the opened and closed entries, the timer
// resolution, and a load, unload and second load in one process.
#include "DriverTestSupport.h"
#include "tracelogger.h"
#include "standin/devices.h"
#include "standin/registry.h"
#include "standin/system.h"
#include "testsupport/WaitUntil.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace drivertest {
namespace {

struct Expected {
    const char16_t* name;
    ULONG type;
    ULONG dword;
    const char16_t* text;
};

const Expected kDefaults[] = {
    {u"ResetDSPOnStartup", REG_DWORD, 1, nullptr},
    {u"BypassLoadingFPGA", REG_DWORD, 0, nullptr},
    {u"FPGAImageName", REG_SZ, 0, u""},
    {u"FirmwareImageName", REG_SZ, 0, u""},
    {u"DSPMemoryTesterImageName", REG_SZ, 0, u""},
    {u"DSPPciTesterImageName", REG_SZ, 0, u""},
    {u"DriversPath", REG_SZ, 0, u""},
    {u"VideoAviFileName", REG_SZ, 0, u""},
    {u"AudioAviFileName", REG_SZ, 0, u""},
    {u"HardwareInstalled", REG_DWORD, 1, nullptr},
    {u"TraceGenerals", REG_DWORD, 0, nullptr},
    {u"TraceErrors", REG_DWORD, 0, nullptr},
    {u"TraceWarnings", REG_DWORD, 0, nullptr},
    {u"TraceDevelopers", REG_DWORD, 0, nullptr},
    {u"TraceHighs", REG_DWORD, 0, nullptr},
    {u"TraceLows", REG_DWORD, 0, nullptr},
    {u"TraceEnterExit", REG_DWORD, 0, nullptr},
    {u"TraceHighEnterExit", REG_DWORD, 0, nullptr},
    {u"TraceLowEnterExit", REG_DWORD, 0, nullptr},
    {u"TraceLocks", REG_DWORD, 0, nullptr},
    {u"TraceLocksEnterExit", REG_DWORD, 0, nullptr},
    {u"LogTraceToFile", REG_DWORD, 0, nullptr},
    {u"TraceTimeStamps", REG_DWORD, 0, nullptr},
    {u"LogFileName", REG_SZ, 0, u"c:\\Quillmar.log"},
    {u"DSPREG_EMIFA_GBLCTL", REG_DWORD, 0x521B8, nullptr},
    {u"DSPREG_EMIFA_CECTL0", REG_DWORD, 0xF0FFC3D3, nullptr},
    {u"DSPREG_EMIFA_CECTL1", REG_DWORD, 0xF0FFC3D3, nullptr},
    {u"DSPREG_EMIFA_CECTL2", REG_DWORD, 0xF0FFC3D3, nullptr},
    {u"DSPREG_EMIFA_CECTL3", REG_DWORD, 0xF0FFC3D3, nullptr},
    {u"DSPREG_EMIFA_SDTIM", REG_DWORD, 0x81B, nullptr},
    {u"DSPREG_EMIFA_SDEXT", REG_DWORD, 0x54E5B, nullptr},
    {u"DSPREG_EMIFA_CESEC0", REG_DWORD, 2, nullptr},
    {u"DSPREG_EMIFA_CESEC1", REG_DWORD, 2, nullptr},
    {u"DSPREG_EMIFA_CESEC2", REG_DWORD, 2, nullptr},
    {u"DSPREG_EMIFA_CESEC3", REG_DWORD, 2, nullptr},
    {u"DSPREG_EMIFA_SDCTL", REG_DWORD, 0x53227000, nullptr},
    {u"DspPciSDXferSize", REG_DWORD, 0xFF80, nullptr},
    {u"DspPciHD720XferSize", REG_DWORD, 0xFF80, nullptr},
    {u"DspPciHDOtherXferSize", REG_DWORD, 0xFF80, nullptr},
    {u"DspEdmaVideoPriority", REG_DWORD, 2, nullptr},
    {u"DspEdmaAudioPriority", REG_DWORD, 3, nullptr},
    {u"DspEdmaPciPriority", REG_DWORD, 2, nullptr},
    {u"DspEdmaCpuPriority", REG_DWORD, 2, nullptr},
    {u"DspAnalogDCGainMin", REG_DWORD, 0xFFFFFFFC, nullptr},
    {u"DspAnalogDCGainMax", REG_DWORD, 20, nullptr},
    {u"DspAnalogDCGainOffset", REG_DWORD, 5, nullptr},
    {u"VideoDMABuffers", REG_DWORD, 9, nullptr},
    {u"AudioDMABuffers", REG_DWORD, 9, nullptr},
    {u"VideoAlignmentDetectionEnable", REG_DWORD, 1, nullptr},
    {u"VideoAlignmentDetectionLine", REG_DWORD, 3, nullptr},
    {u"IgnoreReferenceClock", REG_DWORD, 0, nullptr},
    {u"DspHD1080HalfScale", REG_DWORD, 0, nullptr},
    {u"ForceCrossbarRequired", REG_DWORD, 1, nullptr},
    {u"DefaultFrameRate", REG_DWORD, 2997, nullptr},
    {u"PerfCaptureVideoScaling", REG_DWORD, 1, nullptr},
    {u"PerfCaptureVideoSize", REG_DWORD, 0, nullptr},
    {u"PerfCaptureVideoHeight", REG_DWORD, 480, nullptr},
    {u"PerfCaptureVideoWidth", REG_DWORD, 720, nullptr},
    {u"PerfCaptureVideoBuffer", REG_DWORD, 50, nullptr},
    {u"PerfPreviewVideoScaling", REG_DWORD, 1, nullptr},
    {u"PerfPreviewVideoSize", REG_DWORD, 0, nullptr},
    {u"PerfPreviewVideoHeight", REG_DWORD, 480, nullptr},
    {u"PerfPreviewVideoWidth", REG_DWORD, 720, nullptr},
    {u"PerfPreviewVideoBuffer", REG_DWORD, 50, nullptr},
    {u"PerfEnableHardwareDinterlacing", REG_DWORD, 1, nullptr},
    {u"PerfSDSDIClockAdjust", REG_DWORD, 0, nullptr},
    {u"PerfHDSDIClockAdjust", REG_DWORD, 80, nullptr},
    {u"PerfVBILineRemoval", REG_DWORD, 0, nullptr},
    {u"PerfMaximumVideoHeight", REG_DWORD, 1080, nullptr},
    {u"PerfMaximumVideoWidth", REG_DWORD, 1920, nullptr},
};

std::string Narrow(const char16_t* text)
{
    std::string s;
    for (; *text != 0; ++text)
        s += static_cast<char>(*text);
    return s;
}

TEST_F(DriverTest, AnEmptyParametersKeyIsCompletedWithEveryDefaultAndType)
{
    ImportService("");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    for (const Expected& expected : kDefaults) {
        const auto value = Read(expected.name);
        ASSERT_TRUE(value.has_value()) << Narrow(expected.name);
        EXPECT_EQ(value->type, expected.type) << Narrow(expected.name);
        if (expected.type == REG_DWORD)
            EXPECT_EQ(value->Dword(), expected.dword) << Narrow(expected.name);
        else
            EXPECT_EQ(value->Text(), std::u16string(expected.text)) << Narrow(expected.name);
    }
    // Missing counts as clean and is reset to 0 for the run.
    ASSERT_TRUE(Read(u"DriverShutdownSuccessfull").has_value());
    EXPECT_EQ(Read(u"DriverShutdownSuccessfull")->Dword(), 0u);
    EXPECT_TRUE(driver()->GetPreviousShutdownClean());
    EXPECT_TRUE(driver()->GetHardwareInstalled());
    EXPECT_EQ(driver()->GetDefaultFrameRate(), 2997u);
    EXPECT_EQ(driver()->GetFPGAImageName(), nullptr);
    EXPECT_EQ(TraceLogger::Instance()->GetTraceMask(), kTraceAlways);

    // The entry points are in place after the framework's own.
    EXPECT_EQ(driverObject_->DriverExtension->AddDevice, &AddDevice);
    EXPECT_EQ(driverObject_->MajorFunction[IRP_MJ_SHUTDOWN], &Driver::DispatchShutdown);
    EXPECT_NE(driverObject_->MajorFunction[IRP_MJ_PNP], &standin::InvalidDeviceRequest);
}

TEST_F(DriverTest, StoredValuesAreReadAndTheClampsAreNotWrittenBack)
{
    ImportService("\"DefaultFrameRate\"=dword:00000063\n"
                  "\"VideoAlignmentDetectionLine\"=dword:00000000\n"
                  "\"HardwareInstalled\"=dword:00000002\n"
                  "\"FirmwareImageName\"=\"dsp.out\"\n"
                  "\"DspAnalogDCGainMin\"=dword:fffffff6\n"
                  "\"TraceErrors\"=dword:00000001\n"
                  "\"TraceLowEnterExit\"=dword:00000001\n");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(driver()->GetDefaultFrameRate(), 2997u);
    EXPECT_EQ(Read(u"DefaultFrameRate")->Dword(), 99u);
    EXPECT_EQ(driver()->GetVideoAlignmentDetectionLine(), 3u);
    EXPECT_EQ(Read(u"VideoAlignmentDetectionLine")->Dword(), 0u);
    EXPECT_FALSE(driver()->GetHardwareInstalled());
    EXPECT_EQ(std::u16string(driver()->GetFirmwareImageName()), u"dsp.out");
    EXPECT_EQ(driver()->GetDspAnalogDCGainMin(), -10);
    EXPECT_EQ(TraceLogger::Instance()->GetTraceMask(), kTraceAlways | 0x2u | 0x400u | 0x1000u);
}

TEST_F(DriverTest, TheFrameRateAndAlignmentLineBoundaries)
{
    const struct {
        ULONG rate, expectedRate, line, expectedLine;
    } cases[] = {{100, 100, 3, 3}, {6000, 6000, 11, 11}, {6001, 2997, 20, 11}, {99, 2997, 2, 3}};
    for (const auto& c : cases) {
        standin::ResetRegistry();
        char text[200];
        std::snprintf(text, sizeof(text),
                      "\"DefaultFrameRate\"=dword:%08x\n\"VideoAlignmentDetectionLine\"=dword:%08x\n", c.rate,
                      c.line);
        ImportService(text);
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        EXPECT_EQ(driver()->GetDefaultFrameRate(), c.expectedRate) << c.rate;
        EXPECT_EQ(driver()->GetVideoAlignmentDetectionLine(), c.expectedLine) << c.line;
        Unload();
    }
}

TEST_F(DriverTest, WithoutParametersTheInitialValuesHoldAndTheDriverStillRegisters)
{
    ImportService("", false);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_FALSE(driver()->GetHardwareInstalled());
    EXPECT_TRUE(driver()->GetResetDSPOnStartup());
    EXPECT_EQ(driver()->GetDefaultFrameRate(), 2997u);
    EXPECT_EQ(driver()->GetVideoDMABuffers(), 9u);
    EXPECT_EQ(driver()->GetDspPciSDXferSize(), 0xFF80u);
    EXPECT_EQ(driver()->GetStoredPerformanceSettings(kPinKindPreview).maximumVideoWidth, 1920u);
    EXPECT_EQ(driverObject_->DriverExtension->AddDevice, &AddDevice);
    EXPECT_EQ(Events(0x40070005).size(), 0u);
}

TEST_F(DriverTest, TheShutdownFlagDecidesWhetherTheLogIsAppendedTo)
{
    ImportService("\"DriverShutdownSuccessfull\"=dword:00000000\n");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_FALSE(driver()->GetPreviousShutdownClean());
    EXPECT_TRUE(TraceLogger::Instance()->FileCreated());
    Unload();
    EXPECT_EQ(Read(u"DriverShutdownSuccessfull")->Dword(), 1u);

    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_TRUE(driver()->GetPreviousShutdownClean());
    EXPECT_FALSE(TraceLogger::Instance()->FileCreated());
    EXPECT_EQ(Read(u"DriverShutdownSuccessfull")->Dword(), 0u);
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// Waits (testsupport::WaitUntil) until the file holds `needle`.
bool WaitForText(const std::filesystem::path& path, const std::string& needle)
{
    return testsupport::WaitUntil([&] { return FileText(path).find(needle) != std::string::npos; });
}

std::filesystem::path g_seamLog;
constexpr const char* kSeamLine = "queued as the name took effect";

// At the moment the log name takes effect, a line is queued and the writer is let write it before
// the load goes on: whatever decides append or create must already have been decided.
void QueueALineAndLetTheWriterWriteIt(TraceLogger* logger)
{
    TraceLogger::Trace(logger, nullptr, "Seam", __FILE__, __LINE__, kTraceAlways, "%s", kSeamLine);
    EXPECT_TRUE(WaitForText(g_seamLog, kSeamLine));
}

TEST_F(DriverTest, ALineWrittenAsTheLogNameTakesEffectFollowsTheShutdownFlag)
{
    // After an unclean end the killed run's log is kept and appended to; after a clean one it starts
    // anew. The seam puts a written line exactly between the name and the rest of the load.
    for (const bool clean : {false, true}) {
        g_seamLog = root_ / "C" / "Quillmar.log";
        {
            std::ofstream old(g_seamLog, std::ios::binary | std::ios::trunc);
            old << "line of the previous run\r\n";
        }
        ImportService(std::string("\"LogTraceToFile\"=dword:00000001\n\"TraceLowEnterExit\"=dword:00000001\n"
                                  "\"DriverShutdownSuccessfull\"=dword:0000000") +
                      (clean ? "1" : "0") + "\n");
        TraceLogger::SetNameTakesEffectHook(&QueueALineAndLetTheWriterWriteIt);
        const NTSTATUS status = Load();
        TraceLogger::SetNameTakesEffectHook(nullptr);
        ASSERT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(driver()->GetPreviousShutdownClean(), clean);
        ASSERT_TRUE(WaitForText(g_seamLog, "Trace log file was opened"));
        const std::string text = FileText(g_seamLog);
        EXPECT_EQ(text.rfind("line of the previous run\r\n", 0) == 0, !clean) << text.substr(0, 200);
        EXPECT_EQ(text.find("line of the previous run") == std::string::npos, clean);
        EXPECT_NE(text.find(kSeamLine), std::string::npos);
        Unload();
    }
}

TEST_F(DriverTest, TheShutdownRequestRecordsACleanEndAndCompletes)
{
    ImportService("");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    ASSERT_EQ(Read(u"DriverShutdownSuccessfull")->Dword(), 0u);
    PDEVICE_OBJECT device = nullptr;
    ASSERT_EQ(IoCreateDevice(driverObject_, 0, nullptr, FILE_DEVICE_KS, 0, FALSE, &device), STATUS_SUCCESS);
    ASSERT_EQ(IoRegisterShutdownNotification(device), STATUS_SUCCESS);
    EXPECT_EQ(standin::SendShutdownNotifications(), 1u);
    IoUnregisterShutdownNotification(device);
    IoDeleteDevice(device);
    EXPECT_EQ(Read(u"DriverShutdownSuccessfull")->Dword(), 1u);
}

TEST_F(DriverTest, OpenedAndClosedEntriesCarryTheDateAndVersion)
{
    ImportService("");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const auto opened = Events(0x40070005);
    ASSERT_EQ(opened.size(), 1u);
    ASSERT_EQ(opened[0].inserts.size(), 7u);
    EXPECT_EQ(opened[0].inserts[3], u"2");
    EXPECT_EQ(opened[0].inserts[4], u"1");
    EXPECT_EQ(opened[0].inserts[5], u"0");
    EXPECT_EQ(opened[0].inserts[6], u"62");
    Unload();
    const auto closed = Events(0x40070006);
    ASSERT_EQ(closed.size(), 1u);
    ASSERT_EQ(closed[0].inserts.size(), 3u);
    EXPECT_EQ(closed[0].inserts[2], opened[0].inserts[2]);
}

TEST_F(DriverTest, TheTimerResolutionIsSetAtLoadAndGivenBackAtUnload)
{
    ImportService("");
    const size_t before = standin::TimerResolutionRequests().size();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    auto requests = standin::TimerResolutionRequests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().desiredTime, 10000u);
    EXPECT_TRUE(requests.back().setResolution);
    Unload();
    requests = standin::TimerResolutionRequests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests.back().desiredTime, 0u);
    EXPECT_FALSE(requests.back().setResolution);
}

TEST_F(DriverTest, LoadUnloadAndLoadAgainStartFromTheSameState)
{
    ImportService("\"ResetDSPOnStartup\"=dword:00000000\n");
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Load(), STATUS_SUCCESS) << round;
        ASSERT_NE(driver(), nullptr);
        EXPECT_FALSE(driver()->GetResetDSPOnStartup());
        ASSERT_NE(TraceLogger::Instance(), nullptr);
        Unload();
        EXPECT_EQ(TraceLogger::Instance(), nullptr);
    }
}

} // namespace
} // namespace drivertest
