// The filters' property sets as applications and the property pages send them, on a simulated
// board plugged into the machine: the device-wide sets on every filter that lists them, the
// crossbar, the audio capture filters of both layouts, and the notifications the video capture
// filters deliver.
#include "FilterFixture.h"
#include "../pins/PinFixture.h"

#include "shared/ksaudiorecords.h"
#include "shared/kspinrecords.h"
#include "shared/ksvidcaprecords.h"

#include "board/MemoryTester.h"
#include "platform/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace filtertest {
namespace {

// The crossbar filter's reference, which also names the crossbar's output medium.
const GUID kCrossbarReference = {0x0120854B, 0xD745, 0x400B, {0x92, 0xE9, 0xC0, 0xD1, 0x06, 0x12, 0xAE, 0xCC}};

constexpr ULONG kGet = KSPROPERTY_TYPE_GET;
constexpr ULONG kSet = KSPROPERTY_TYPE_SET;
constexpr ULONG kNodeGet = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG kNodeSet = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG kNodeSupport = KSPROPERTY_TYPE_BASICSUPPORT | KSPROPERTY_TYPE_TOPOLOGY;

const std::u16string kVideo = u"Talvexon HD Video Device 1";
const std::u16string kCrossbar = u"Talvexon HD Crossbar Device 1";
const std::u16string kCombinedAudio = u"Talvexon HD Audio Device 1";
const std::u16string kAudio1 = u"SDI Audio 1 (Talvexon HD 1)";
const std::u16string kAudio2 = u"SDI Audio 2 (Talvexon HD 1)";

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

// A registry path of the machine as .reg text names it.
std::string RegPath(const std::u16string& path)
{
    std::string narrow = Narrow(path);
    narrow.replace(0, std::string("\\Registry\\Machine").size(), "HKEY_LOCAL_MACHINE");
    return narrow;
}

// Writes the low half of FPGA register 20 through the diagnostics set (command 5, mask 0xFFFF)
// and reads it back (command 4).
void ExpectRegisterWriteReadsBack(HANDLE filter, ULONG value)
{
    Record write(PROPSETID_BREVICOR_DIAGNOSTICS, 0, KSPROPERTY_TYPE_SET, 1849);
    write.Put<ULONG>(60, 5);
    write.Put<ULONG>(40, 20);
    write.Put<ULONG>(48, value);
    write.Put<ULONG>(52, 0xFFFF);
    ASSERT_EQ(FilterTest::Send(filter, write).error, 0u);
    Record read(PROPSETID_BREVICOR_DIAGNOSTICS, 0, KSPROPERTY_TYPE_GET, 1849);
    read.Put<ULONG>(60, 4);
    read.Put<ULONG>(40, 20);
    ASSERT_EQ(FilterTest::Send(filter, read).error, 0u);
    EXPECT_EQ(read.Get<ULONG>(48) & 0xFFFF, value & 0xFFFF);
}

// ---- device-wide sets ---------------------------------------------------------------------------

TEST_F(FilterTest, InterfaceVersionAndDeviceConfigAreTheSameOnVideoAndAudioFiltersAndRefusedOnTheCrossbar)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    HANDLE crossbar = Open(KSCATEGORY_CROSSBAR, kCrossbar);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    ASSERT_NE(crossbar, INVALID_HANDLE_VALUE);

    Record version(PROPSETID_BREVICOR_INTERFACE_VERSION, 0, kGet, 28), audioVersion = version, crossbarVersion = version;
    Result result = Send(video, version);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 28u);
    EXPECT_EQ(version.Get<ULONG>(24), 1u);
    ASSERT_EQ(Send(audio, audioVersion).error, 0u);
    EXPECT_EQ(audioVersion.Bytes(), version.Bytes());
    EXPECT_EQ(Send(crossbar, crossbarVersion).error, Win32Of(STATUS_NOT_FOUND));

    Record config(PROPSETID_BREVICOR_DEVICE_CONFIG, 0, kGet, 628), audioConfig = config, crossbarConfig = config;
    result = Send(video, config);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 628u);
    EXPECT_EQ(config.Get<ULONG>(24), 2u);
    EXPECT_EQ(config.Get<ULONG>(28), 1u);
    EXPECT_EQ(config.Get<ULONG>(32), 62u);
    EXPECT_EQ(config.Get<ULONG>(36), 0u);
    EXPECT_EQ(config.Get<USHORT>(48), 1u); // the board's "InstanceId"
    EXPECT_EQ(config.Text(116), u"Talvexon HD ");
    ASSERT_EQ(Send(audio, audioConfig).error, 0u);
    EXPECT_EQ(audioConfig.Bytes(), config.Bytes());
    EXPECT_EQ(Send(crossbar, crossbarConfig).error, Win32Of(STATUS_NOT_FOUND));

    // A set of the configuration is accepted and changes nothing.
    Record setConfig(PROPSETID_BREVICOR_DEVICE_CONFIG, 0, kSet, 628);
    EXPECT_EQ(Send(audio, setConfig).error, 0u);
    EXPECT_EQ(Send(video, setConfig).error, 0u);
    Record again(PROPSETID_BREVICOR_DEVICE_CONFIG, 0, kGet, 628);
    ASSERT_EQ(Send(video, again).error, 0u);
    EXPECT_EQ(again.Bytes(), config.Bytes());

    Record information(PROPSETID_BREVICOR_DRIVER_INFORMATION, 0, kGet, 100), audioInformation = information;
    ASSERT_EQ(Send(video, information).error, 0u);
    ASSERT_EQ(Send(audio, audioInformation).error, 0u);
    EXPECT_EQ(information.Bytes(), audioInformation.Bytes());
    EXPECT_EQ(information.Get<GUID>(24), kBrevicorManufacturerGuid);
    EXPECT_EQ(information.Get<ULONG>(96), 1u);
}

TEST_F(FilterTest, DiagnosticsEchoTheirRecordAndRefuseWhatTheBoardCannotDo)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    Record echo(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    for (ULONG i = 24; i < 1849; ++i)
        echo.Bytes()[i] = static_cast<UCHAR>(i * 7);
    echo.Put<ULONG>(60, 6);
    const std::vector<UCHAR> sent = echo.Bytes();
    const Result result = Send(video, echo);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 1849u);
    EXPECT_EQ(echo.Bytes(), sent);

    // A fill beyond the DSP's 4 MB is refused before anything is allocated.
    Record fill(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    fill.Put<ULONG>(60, 3);
    fill.Put<ULONG>(40, 0x1000);
    fill.Put<ULONG>(44, 4 * 1024 * 1024 + 1);
    const Result refused = Send(video, fill);
    EXPECT_EQ(refused.error, Win32Of(STATUS_INVALID_PARAMETER));
    EXPECT_EQ(refused.bytes, 0u);

    // An FPGA register written through the mask reads back.
    ExpectRegisterWriteReadsBack(video, 0x1234);
}

TEST_F(FilterTest, ThePciTestBufferIsTheBoardsOwnWhateverTheRecordSays)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    Record start(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    start.Put<ULONG>(60, 7);
    ASSERT_EQ(Send(video, start).error, 0u);
    const ULONGLONG bus = start.Get<ULONGLONG>(160);
    const ULONG cookie = start.Get<ULONG>(168);
    EXPECT_NE(bus, 0u);
    EXPECT_NE(cookie, 0u);
    // A second start lets the first buffer go and hands out another cookie.
    Record again(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    again.Put<ULONG>(60, 7);
    ASSERT_EQ(Send(video, again).error, 0u);
    EXPECT_NE(again.Get<ULONG>(168), cookie);
    // The end frees the kept buffer; the addresses the caller sends are not used.
    Record end(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    end.Put<ULONG>(60, 8);
    end.Put<ULONGLONG>(160, 0x12345678);
    end.Put<ULONG>(168, 0xDEADBEEF);
    EXPECT_EQ(Send(video, end).error, 0u);
    // TearDown's shutdown reports any buffer left behind.
}

TEST_F(FilterTest, WithoutHardwareTheFillFailsAndTheRegisterReadEchoesItsNumber)
{
    Start("\"HardwareInstalled\"=dword:00000000");
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record fill(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    fill.Put<ULONG>(60, 3);
    fill.Put<ULONG>(44, 16);
    const Result result = Send(audio, fill);
    EXPECT_EQ(result.error, Win32Of(STATUS_UNSUCCESSFUL));
    EXPECT_EQ(result.bytes, 0u);
    for (ULONG command : {0u, 1u, 7u, 8u}) {
        Record nothing(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
        nothing.Put<ULONG>(60, command);
        EXPECT_EQ(Send(audio, nothing).error, 0u) << command;
    }
    Record read(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kGet, 1849);
    read.Put<ULONG>(60, 4);
    read.Put<ULONG>(40, 34);
    ASSERT_EQ(Send(audio, read).error, 0u);
    EXPECT_EQ(read.Get<ULONG>(48), 34u);
    Record window(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kGet, 1849);
    window.Put<ULONG>(60, 2);
    EXPECT_EQ(Send(audio, window).error, Win32Of(STATUS_UNSUCCESSFUL));
}

// The diagnostics window's fields as the memory tester keeps them (record offsets: the window
// starts at 64 and lies at DSP 0x20).
constexpr size_t kWindow = 64;
constexpr size_t WindowField(uint32_t dspAddress)
{
    return kWindow + dspAddress - board::MemoryTester::kBlockAddress;
}

TEST_F(FilterTest, TheMemoryTesterStartsWithTheWindowItIsGivenAndReportsThroughTheWindowReads)
{
    board::BoardConfiguration configuration;
    configuration.testerSpan = board::MemoryTester::kChunkBytes; // a pass a tick
    board::CaptureBoard& board = Start({}, configuration);
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);

    // A window without the tester's start word: the tester waits, and the window stays as sent.
    Record held(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    held.Put<ULONG>(60, 1);
    for (size_t i = kWindow; i < kWindow + kDiagnosticsWindowBytes; ++i)
        held.Bytes()[i] = static_cast<UCHAR>(i * 13 + 1);
    held.Put<ULONG>(WindowField(board::MemoryTester::kCommandWord), 0x11111111);
    const Result started = Send(video, held);
    ASSERT_EQ(started.error, 0u);
    EXPECT_EQ(started.bytes, 1849u);
    EXPECT_EQ(board.CurrentPersonality(), board::Personality::MemoryTester);
    std::vector<UCHAR> dsp(kDiagnosticsWindowBytes);
    board.ReadDspMemory(board::MemoryTester::kBlockAddress, dsp.data(), dsp.size());
    EXPECT_EQ(std::memcmp(dsp.data(), held.data() + kWindow, dsp.size()), 0);
    for (ULONG command : {2u, 9u}) {
        Record read(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kGet, 1849);
        read.Put<ULONG>(60, command);
        const Result result = Send(video, read);
        ASSERT_EQ(result.error, 0u) << command;
        EXPECT_EQ(result.bytes, 1849u);
        EXPECT_EQ(std::memcmp(read.data() + kWindow, held.data() + kWindow, kDiagnosticsWindowBytes), 0) << command;
        EXPECT_EQ(read.Get<ULONG>(60), command);
    }

    // Started again with the start word on a board whose external memory keeps nothing: the
    // errors of the patterns that are not zero come back through the window.
    board.SetExternalMemoryBroken(true);
    Record run(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    run.Put<ULONG>(60, 1);
    run.Put<ULONG>(WindowField(board::MemoryTester::kCommandWord), board::MemoryTester::kStartCommand);
    ASSERT_EQ(Send(video, run).error, 0u);
    // The tester counts a pass after its start delay on the board's clock; the wait is for that
    // state, the deadline only ends a test whose board never gets there.
    Record report(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kGet, 1849);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    for (;;) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the memory tester never completed a pass";
        report = Record(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kGet, 1849);
        report.Put<ULONG>(60, 9);
        ASSERT_EQ(Send(video, report).error, 0u);
        if (report.Get<ULONG>(WindowField(board::MemoryTester::kIterations)) > 0)
            break;
        Sleep(1);
    }
    EXPECT_EQ(report.Get<ULONG>(WindowField(board::MemoryTester::kCommandWord)), board::MemoryTester::kStartCommand);
    EXPECT_EQ(report.Get<ULONG>(WindowField(board::MemoryTester::kMaskErrors)), 0u); // zeros read back as written
    EXPECT_GT(report.Get<ULONG>(WindowField(board::MemoryTester::kMaskErrors + 4)), 0u);
    EXPECT_GT(report.Get<ULONG>(WindowField(board::MemoryTester::kMaskTotal)), 0u);
    EXPECT_GT(report.Get<ULONG>(WindowField(board::MemoryTester::kErrorCount)), 0u);
    EXPECT_LE(report.Get<ULONG>(WindowField(board::MemoryTester::kErrorCount)), board::MemoryTester::kMaxListedErrors);
    EXPECT_EQ(report.Get<ULONG>(WindowField(board::MemoryTester::kErrorAddresses)), board::MemoryTester::kExternalBase);
    EXPECT_EQ(report.Get<ULONG>(WindowField(board::MemoryTester::kErrorValues)), 0u);

    // A reset with the restart flag ends the test and brings the firmware back.
    Record restart(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    restart.Put<ULONG>(60, 0);
    restart.Put<UCHAR>(1848, 1);
    ASSERT_EQ(Send(video, restart).error, 0u);
    EXPECT_EQ(board.CurrentPersonality(), board::Personality::MainFirmware);
}

TEST_F(FilterTest, AResetHaltsTheDspAndItsRestartBringsTheFirmwareBack)
{
    board::CaptureBoard& board = Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    ASSERT_EQ(board.CurrentPersonality(), board::Personality::MainFirmware);

    Record reset(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    reset.Put<ULONG>(60, 0);
    const Result halted = Send(audio, reset);
    ASSERT_EQ(halted.error, 0u);
    EXPECT_EQ(halted.bytes, 1849u);
    EXPECT_FALSE(board.IsBooted());
    EXPECT_EQ(board.CurrentPersonality(), board::Personality::None);

    // DSP memory still takes a fill while the DSP is held: exactly the bytes asked for.
    constexpr ULONG kAddress = 0x4000;
    constexpr ULONG kLength = 100;
    const std::vector<UCHAR> around(kLength + 8, 0x33);
    board.WriteDspMemory(kAddress - 4, around.data(), around.size());
    Record fill(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    fill.Put<ULONG>(60, 3);
    fill.Put<ULONG>(40, kAddress);
    fill.Put<ULONG>(44, kLength);
    fill.Put<UCHAR>(1848, 0x5A);
    ASSERT_EQ(Send(audio, fill).error, 0u);
    std::vector<UCHAR> dsp(kLength + 8);
    board.ReadDspMemory(kAddress - 4, dsp.data(), dsp.size());
    for (size_t i = 0; i < dsp.size(); ++i)
        ASSERT_EQ(dsp[i], i < 4 || i >= 4 + kLength ? 0x33 : 0x5A) << i;

    // With the restart flag the firmware and the FPGA come back and answer the board's commands.
    Record restart(PROPSETID_BREVICOR_DIAGNOSTICS, 0, kSet, 1849);
    restart.Put<ULONG>(60, 0);
    restart.Put<UCHAR>(1848, 1);
    ASSERT_EQ(Send(audio, restart).error, 0u);
    EXPECT_TRUE(board.IsBooted());
    EXPECT_EQ(board.CurrentPersonality(), board::Personality::MainFirmware);
    ExpectRegisterWriteReadsBack(audio, 0x4321);
}

TEST_F(FilterTest, TraceOptionsAreCheckedSavedAndReadBack)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    const auto generals = standin::ReadRegistryDword(lifecycletest::kParameters, u"TraceGenerals");

    Record bad(PROPSETID_BREVICOR_TRACE, 0, kSet, 552);
    bad.Put<ULONG>(28, 0x00020000);
    const Result refused = Send(video, bad);
    EXPECT_EQ(refused.error, 0x1056u); // the driver's own code, as its low word
    EXPECT_EQ(refused.bytes, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"TraceGenerals"), generals);

    Record good(PROPSETID_BREVICOR_TRACE, 0, kSet, 552);
    good.Put<ULONG>(28, 0x80000003);
    good.PutText(32, u"c:\\x.log");
    const Result accepted = Send(video, good);
    ASSERT_EQ(accepted.error, 0u);
    EXPECT_EQ(accepted.bytes, 552u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"TraceGenerals"), 1u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"TraceErrors"), 1u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"TraceWarnings"), 0u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"LogTraceToFile"), 1u);
    EXPECT_EQ(standin::ReadRegistryString(lifecycletest::kParameters, u"LogFileName"), u"c:\\x.log");

    Record get(PROPSETID_BREVICOR_TRACE, 0, kGet, 552);
    ASSERT_EQ(Send(video, get).error, 0u);
    EXPECT_EQ(get.Get<ULONG>(28), 0xC0000003u);
    EXPECT_EQ(get.Text(32), u"c:\\x.log");

    // A name that fills its field without ending is refused and changes nothing.
    Record unterminated(PROPSETID_BREVICOR_TRACE, 0, kSet, 552);
    unterminated.Put<ULONG>(28, 0x00000001);
    for (size_t i = 32; i < 552; i += 2)
        unterminated.Put<USHORT>(i, u'y');
    EXPECT_EQ(Send(video, unterminated).error, Win32Of(STATUS_INVALID_PARAMETER));
    EXPECT_EQ(standin::ReadRegistryString(lifecycletest::kParameters, u"LogFileName"), u"c:\\x.log");
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"LogTraceToFile"), 1u);
}

TEST_F(FilterTest, PerformanceForBothPinsReachesEveryVideoFilterOfEveryBoard)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& first = MakeBoard(0);
    board::CaptureBoard& second = MakeBoard(1);
    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(second), STATUS_SUCCESS);
    HANDLE videos[2] = {Open(KSCATEGORY_VIDEO, kVideo), Open(KSCATEGORY_VIDEO, u"Talvexon HD Video Device 2")};
    ASSERT_NE(videos[0], INVALID_HANDLE_VALUE);
    ASSERT_NE(videos[1], INVALID_HANDLE_VALUE);
    NotificationBlock blocks[2]{};
    EnableNotification(videos[0], &blocks[0]);
    EnableNotification(videos[1], &blocks[1]);

    // The pin's record as stored (a get answers the whole stored record), sent back changed.
    Record stored(PROPSETID_BREVICOR_PERFORMANCE, 0, kGet, 72);
    stored.Put<ULONG>(24, 1);
    ASSERT_EQ(Send(videos[0], stored).error, 0u);
    Record record(PROPSETID_BREVICOR_PERFORMANCE, 0, kSet, 72);
    std::memcpy(record.data() + 24, stored.data() + 24, 72 - 24);
    record.Put<ULONG>(24, 255);
    record.Put<ULONG>(40, 4);
    record.Put<ULONG>(44, 20);
    record.Put<ULONG>(48, 640);
    const Result result = Send(videos[0], record);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 72u);

    for (ULONG pin : {1u, 2u}) {
        Record get(PROPSETID_BREVICOR_PERFORMANCE, 0, kGet, 72);
        get.Put<ULONG>(24, pin);
        ASSERT_EQ(Send(videos[1], get).error, 0u);
        EXPECT_EQ(get.Get<ULONG>(40), 4u) << pin;
        EXPECT_EQ(get.Get<ULONG>(44), 54u) << pin;
    }
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"PerfCaptureVideoHeight"), 54u);
    EXPECT_EQ(standin::ReadRegistryDword(lifecycletest::kParameters, u"PerfPreviewVideoHeight"), 54u);

    for (int board = 0; board < 2; ++board) {
        const auto records = Records(videos[board], &blocks[board]);
        ASSERT_EQ(records.size(), 2u) << board;
        for (ULONG pin = 1; pin <= 2; ++pin) {
            const std::vector<UCHAR>& one = records[pin - 1];
            ASSERT_EQ(one.size(), 1108u);
            EXPECT_EQ(std::memcmp(one.data(), &PROPSETID_BREVICOR_PERFORMANCE, 16), 0);
            ULONG word = 0;
            std::memcpy(&word, one.data() + 16, 4);
            EXPECT_EQ(word, pin);
            // 40 bytes of payload, zeros after.
            for (size_t i = 16 + 40; i < one.size(); ++i)
                ASSERT_EQ(one[i], 0) << i;
        }
    }
    Record bad(PROPSETID_BREVICOR_PERFORMANCE, 0, kSet, 72);
    bad.Put<ULONG>(24, 3);
    EXPECT_EQ(Send(videos[0], bad).error, 0x100Bu);
}

// ---- crossbar -----------------------------------------------------------------------------------

TEST_F(FilterTest, CrossbarAnswersItsCapsPinsAndRoutesForTheVideoFilter)
{
    board::CaptureBoard& board = Start();
    HANDLE crossbar = Open(KSCATEGORY_CROSSBAR, kCrossbar);
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(crossbar, INVALID_HANDLE_VALUE);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);

    Record caps(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_CAPS, kGet, 32);
    ASSERT_EQ(Send(crossbar, caps).error, 0u);
    EXPECT_EQ(caps.Get<ULONG>(24), 2u);
    EXPECT_EQ(caps.Get<ULONG>(28), 1u);

    Record output(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_PININFO, kGet, 64);
    output.Put<ULONG>(24, KSPIN_DATAFLOW_OUT);
    output.Put<ULONG>(28, 0);
    ASSERT_EQ(Send(crossbar, output).error, 0u);
    EXPECT_EQ(output.Get<ULONG>(32), 12u);
    EXPECT_EQ(output.Get<GUID>(40), kCrossbarReference);
    EXPECT_EQ(output.Get<ULONG>(56), 1u); // the device number

    Record route(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kSet, 40);
    route.Put<ULONG>(24, 1);
    route.Put<ULONG>(28, 0);
    ASSERT_EQ(Send(crossbar, route).error, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(board) + u"\\VideoInputs", u"ActiveInput"), 1u);
    Record current(PROPSETID_BREVICOR_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kGet, 40);
    current.Put<ULONG>(28, 0);
    ASSERT_EQ(Send(video, current).error, 0u);
    EXPECT_EQ(current.Get<ULONG>(24), 1u);

    Record beyond(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kSet, 40);
    beyond.Put<ULONG>(24, 2);
    EXPECT_EQ(Send(crossbar, beyond).error, Win32Of(STATUS_INVALID_PARAMETER));
    Record after(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kGet, 40);
    ASSERT_EQ(Send(crossbar, after).error, 0u);
    EXPECT_EQ(after.Get<ULONG>(24), 1u);

    // The crossbar lists its own set only.
    Record trace(PROPSETID_BREVICOR_TRACE, 0, kSet, 552);
    EXPECT_EQ(Send(crossbar, trace).error, Win32Of(STATUS_NOT_FOUND));

    // A crossbar opened later takes the video filter's input.
    HANDLE second = Open(KSCATEGORY_CROSSBAR, kCrossbar);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    Record secondRoute(PROPSETID_VIDCAP_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kGet, 40);
    ASSERT_EQ(Send(second, secondRoute).error, 0u);
    EXPECT_EQ(secondRoute.Get<ULONG>(24), 1u);
}

// ---- audio capture filters ------------------------------------------------------------------------

// A board with three audio inputs, the third named in the registry before the board is added.
class ThreeAudioInputsTest : public FilterTest {
protected:
    // `combined`: the older filters' layout, one audio filter for all inputs, with the second
    // input carrying two channel pairs.
    board::CaptureBoard& PlugThreeInputs(bool combined)
    {
        Boot();
        EXPECT_EQ(Load(), STATUS_SUCCESS);
        board::BoardConfiguration configuration;
        configuration.audioInputs.assign(3, board::BoardConfiguration::kSdiAudio);
        board::CaptureBoard& board = MakeBoard(0, configuration);
        // The first plug installs the board's keys; the second reads the inputs.
        EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        audio_ = DriverKey(board) + u"\\AudioInputs";
        EXPECT_EQ(machine_->Remove(board), STATUS_SUCCESS);
        std::string lines = "[" + RegPath(audio_) + "]\r\n\"Count\"=dword:00000003\r\n";
        if (combined)
            lines += "\"LegacyAudioFilters\"=dword:00000001\r\n\r\n[" + RegPath(audio_) +
                     "\\Input2]\r\n\"ChannelPairCount\"=dword:00000002\r\n";
        lines += "\r\n[" + RegPath(audio_) + "\\Input3]\r\n\"InputName\"=\"{5D61FB02-23EF-4D82-AD98-AD61EEAED7F5}\"\r\n";
        Import(lines);
        EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        return board;
    }
    std::u16string audio_;
};

// ---- the married audio input ------------------------------------------------------------------------

TEST_F(ThreeAudioInputsTest, AMarriedAudioInputPicksTheVideoInputOnlyWhenThereIsOneOfItsNumber)
{
    PlugThreeInputs(false);
    auto currentInput = [](HANDLE video) {
        Record route(PROPSETID_BREVICOR_CROSSBAR, KSPROPERTY_CROSSBAR_ROUTE, kGet, 40);
        EXPECT_EQ(Send(video, route).error, 0u);
        return route.Get<ULONG>(24);
    };

    // The third audio input has no video input of its number: the video filter keeps its own.
    HANDLE third = Open(KSCATEGORY_AUDIO, u"SDI Audio 3 (Talvexon HD 1)");
    ASSERT_NE(third, INVALID_HANDLE_VALUE);
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    EXPECT_EQ(currentInput(video), 0u);
    Close(video);
    Close(third);

    // The second one has: the video filter opened beside it starts on video input 1.
    HANDLE second = Open(KSCATEGORY_AUDIO, kAudio2);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    EXPECT_EQ(currentInput(video), 1u);
}

// The older kernel with the combined filter: three inputs, the second with two channel pairs.
class CombinedAudioTest : public ThreeAudioInputsTest {
protected:
    board::CaptureBoard& PlugCombined()
    {
        standin::SetWdmVersion(5, 0);
        return PlugThreeInputs(true);
    }
};

TEST_F(CombinedAudioTest, VolumeAndMuxOfTheCombinedFilterReachTheirInputsAndTheRegistry)
{
    PlugCombined();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kCombinedAudio);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);

    Record count(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0, kGet, 32);
    ASSERT_EQ(Send(audio, count).error, 0u);
    EXPECT_EQ(count.Get<ULONG>(24), 3u);
    EXPECT_EQ(count.Get<ULONG>(28), 3u);

    Record volume(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, kNodeSet, 40);
    volume.Put<ULONG>(24, 1); // the second input's volume node
    volume.Put<LONG>(32, 3);  // pair 1, right
    std::vector<UCHAR> value(4);
    const LONG level = -65536;
    std::memcpy(value.data(), &level, 4);
    ASSERT_EQ(Send(audio, volume, value).error, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(audio_ + u"\\Input2\\Channel2", u"RightVolume"), 0xFFFF0000u);
    Record readVolume(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, kNodeGet, 40);
    readVolume.Put<ULONG>(24, 1);
    readVolume.Put<LONG>(32, 3);
    std::vector<UCHAR> read(4);
    ASSERT_EQ(Send(audio, readVolume, read).error, 0u);
    EXPECT_EQ(std::memcmp(read.data(), &level, 4), 0);

    // The mux node is node 3 (after the three volume nodes).
    Record mux(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE, kNodeSet, 32);
    mux.Put<ULONG>(24, 3);
    std::vector<UCHAR> source(4, 0);
    EXPECT_EQ(Send(audio, mux, source).error, 0x1074u);
    const ULONG second = 2;
    std::memcpy(source.data(), &second, 4);
    ASSERT_EQ(Send(audio, mux, source).error, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(audio_, u"ActiveInput"), 1u);
    // The same input again writes nothing.
    Import("[" + RegPath(audio_) + "]\r\n\"ActiveInput\"=dword:00000007\r\n");
    ASSERT_EQ(Send(audio, mux, source).error, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(audio_, u"ActiveInput"), 7u);
    Record readMux(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUX_SOURCE, kNodeGet, 32);
    readMux.Put<ULONG>(24, 3);
    std::vector<UCHAR> current(4);
    ASSERT_EQ(Send(audio, readMux, current).error, 0u);
    EXPECT_EQ(current[0], 2u);

    // The combined filter looks inputs up by name, case-insensitively.
    Record info(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 1, kGet, 568);
    Record named = info;
    Record first = info;
    first.Put<ULONG>(24, 1);
    first.Put<ULONG>(28, 0);
    ASSERT_EQ(Send(audio, first).error, 0u);
    std::u16string name = first.Text(32);
    ASSERT_FALSE(name.empty());
    for (char16_t& c : name)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 32);
    named.PutText(32, name);
    ASSERT_EQ(Send(audio, named).error, 0u);
    EXPECT_EQ(named.Get<ULONG>(28), 0u);
    EXPECT_EQ(named.Get<ULONG>(552), 1u);
    EXPECT_EQ(named.Get<ULONG>(556), 0u);
    Record unknown = info;
    unknown.PutText(32, u"Nothing");
    EXPECT_EQ(Send(audio, unknown).error, 0x1094u);
    Record beyond = info;
    beyond.Put<ULONG>(24, 1);
    beyond.Put<ULONG>(28, 3);
    EXPECT_EQ(Send(audio, beyond).error, 0x1094u);

    // Node ids beyond the topology are refused by the framework; an input beyond the list by the filter.
    Record noInput(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, kNodeGet, 40);
    noInput.Put<ULONG>(24, 4); // the mute node: no volume item there
    EXPECT_EQ(Send(audio, noInput, read).error, Win32Of(STATUS_NOT_FOUND));
}

TEST_F(CombinedAudioTest, MuteOfTheCombinedFilterReachesEverySideOfEveryInput)
{
    PlugCombined();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kCombinedAudio);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record mute(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE, kNodeSet, 40);
    mute.Put<ULONG>(24, 4); // the mute node, after three volume nodes and the mux
    mute.Put<LONG>(32, 0);
    std::vector<UCHAR> on = {1, 0, 0, 0};
    ASSERT_EQ(Send(audio, mute, on).error, 0u);
    for (const char16_t* channel : {u"\\Input1\\Channel1", u"\\Input2\\Channel1", u"\\Input2\\Channel2",
                                    u"\\Input3\\Channel1"}) {
        EXPECT_EQ(standin::ReadRegistryDword(audio_ + channel, u"LeftMute"), 1u) << Narrow(channel);
        EXPECT_EQ(standin::ReadRegistryDword(audio_ + channel, u"RightMute"), 1u) << Narrow(channel);
    }
    Record all(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE, kNodeGet, 40);
    all.Put<ULONG>(24, 4);
    all.Put<LONG>(32, -1);
    std::vector<UCHAR> value(4, 0);
    ASSERT_EQ(Send(audio, all, value).error, 0u);
    EXPECT_EQ(value[0], 1u);
}

TEST_F(FilterTest, PerInputFiltersAnswerForTheirOwnInput)
{
    Start();
    HANDLE first = Open(KSCATEGORY_AUDIO, kAudio1);
    HANDLE second = Open(KSCATEGORY_AUDIO, kAudio2);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    Record count(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 0, kGet, 32);
    ASSERT_EQ(Send(second, count).error, 0u);
    EXPECT_EQ(count.Get<ULONG>(24), 1u);
    EXPECT_EQ(count.Get<ULONG>(28), 0xFFFFFFFFu);
    Record info(PROPSETID_BREVICOR_AUDIO_INPUT_INFO, 1, kGet, 568);
    info.PutText(32, u"whatever");
    ASSERT_EQ(Send(second, info).error, 0u);
    EXPECT_EQ(info.Get<ULONG>(28), 1u);
    EXPECT_EQ(info.Get<ULONG>(552), 1u);
    EXPECT_EQ(info.Get<ULONG>(556), 0u);
    EXPECT_EQ(info.Get<ULONG>(560), 1u);
    EXPECT_EQ(info.Get<ULONG>(564), 2u);

    // Volume basic support: the whole description, then the description alone.
    Record support(KSPROPSETID_Audio, KSPROPERTY_AUDIO_VOLUMELEVEL, kNodeSupport, 40);
    std::vector<UCHAR> whole(72);
    Result result = Send(first, support, whole);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 72u);
    KSPROPERTY_DESCRIPTION description{};
    std::memcpy(&description, whole.data(), sizeof(description));
    EXPECT_EQ(description.AccessFlags, 0x203u);
    EXPECT_EQ(description.DescriptionSize, 72u);
    EXPECT_EQ(description.MembersListCount, 1u);
    KSPROPERTY_STEPPING_LONG range{};
    std::memcpy(&range, whole.data() + 56, sizeof(range));
    EXPECT_EQ(range.SteppingDelta, 28036u);
    EXPECT_EQ(range.Bounds.SignedMinimum, -1729034);
    EXPECT_EQ(range.Bounds.SignedMaximum, 63510);
    std::vector<UCHAR> part(40);
    result = Send(first, support, part);
    EXPECT_EQ(result.error, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(result.bytes, 40u);
    std::vector<UCHAR> flags(4);
    ASSERT_EQ(Send(first, support, flags).error, 0u);
    EXPECT_EQ(flags[0] | flags[1] << 8, 0x203);
    std::vector<UCHAR> tiny(3);
    EXPECT_EQ(Send(first, support, tiny).error, Win32Of(STATUS_BUFFER_TOO_SMALL));

    // The peak meter (node 2) says get only in both answers.
    Record peak(KSPROPSETID_Audio, KSPROPERTY_AUDIO_PEAKMETER, kNodeSupport, 40);
    peak.Put<ULONG>(24, 2);
    std::vector<UCHAR> peakWhole(88);
    ASSERT_EQ(Send(first, peak, peakWhole).error, 0u);
    std::memcpy(&description, peakWhole.data(), sizeof(description));
    EXPECT_EQ(description.AccessFlags, 0x201u);
    ASSERT_EQ(Send(first, peak, flags).error, 0u);
    EXPECT_EQ(flags[0] | flags[1] << 8, 0x201);

    // The pin name: its size without a buffer, then the text.
    Record name(KSPROPSETID_Pin, KSPROPERTY_PIN_NAME, kGet, 32);
    name.Put<ULONG>(24, 1);
    std::vector<UCHAR> none;
    DWORD bytes = 0;
    const HRESULT sized = KsSynchronousDeviceControl(first, IOCTL_KS_PROPERTY, name.data(), name.size(), nullptr, 0, &bytes);
    EXPECT_EQ(sized, HRESULT_FROM_WIN32(ERROR_MORE_DATA));
    std::vector<UCHAR> text(bytes);
    ASSERT_EQ(Send(first, name, text).error, 0u);
    const std::u16string pinName(reinterpret_cast<const char16_t*>(text.data()));
    EXPECT_EQ(pinName, u"SDI Audio 1");
    EXPECT_EQ(bytes, 2 * (pinName.size() + 1));

    // Latency: one 10 ms KSTIME.
    Record latency(KSPROPSETID_Audio, KSPROPERTY_AUDIO_LATENCY, kGet, 24);
    std::vector<UCHAR> time(16);
    result = Send(first, latency, time);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 16u);
    KSTIME answer{};
    std::memcpy(&answer, time.data(), sizeof(answer));
    EXPECT_EQ(answer.Time, 100000);
    EXPECT_EQ(answer.Numerator, 1u);
    EXPECT_EQ(answer.Denominator, 1u);

    // CPU resources by node type: volume off the host, mute on it.
    Record cpu(KSPROPSETID_Audio, KSPROPERTY_AUDIO_CPU_RESOURCES, kNodeGet, 32);
    std::vector<UCHAR> where(4);
    ASSERT_EQ(Send(first, cpu, where).error, 0u);
    EXPECT_EQ(where[3], 0u);
    cpu.Put<ULONG>(24, 1);
    ASSERT_EQ(Send(first, cpu, where).error, 0u);
    EXPECT_EQ(where[3], 0x7Fu);

    // The component id is the board's, on the video filter too.
    Record component(KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID, kGet, 24);
    std::vector<UCHAR> id(72), videoId(72);
    ASSERT_EQ(Send(first, component, id).error, 0u);
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_EQ(Send(video, component, videoId).error, 0u);
    EXPECT_EQ(id, videoId);
    EXPECT_EQ(std::memcmp(id.data(), &kBrevicorManufacturerGuid, 16), 0);
}

TEST_F(FilterTest, MuteOfAPerInputFilterChangesOnlyItsChannel)
{
    board::CaptureBoard& board = Start();
    HANDLE first = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    Record mute(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE, kNodeSet, 40);
    mute.Put<ULONG>(24, 1);
    mute.Put<LONG>(32, 1); // pair 0, right
    std::vector<UCHAR> on = {1, 0, 0, 0};
    ASSERT_EQ(Send(first, mute, on).error, 0u);
    const std::u16string channel = DriverKey(board) + u"\\AudioInputs\\Input1\\Channel1";
    EXPECT_EQ(standin::ReadRegistryDword(channel, u"RightMute"), 1u);
    EXPECT_EQ(standin::ReadRegistryDword(channel, u"LeftMute"), 0u);
    Record all(KSPROPSETID_Audio, KSPROPERTY_AUDIO_MUTE, kNodeGet, 40);
    all.Put<ULONG>(24, 1);
    all.Put<LONG>(32, -1);
    std::vector<UCHAR> value(4, 0xEE);
    ASSERT_EQ(Send(first, all, value).error, 0u);
    EXPECT_EQ(value[0], 0u); // the left channel is still on
}

// ---- audio configuration ------------------------------------------------------------------------

TEST_F(FilterTest, AudioConfigurationChecksExistingInputsAndLeavesTheOthersAsSent)
{
    board::CaptureBoard& board = Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record get(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    for (ULONG i = 2; i < 8; ++i)
        get.Put<ULONG>(40 + 4 * i, 0xA5A5A5A5);
    const Result result = Send(audio, get);
    ASSERT_EQ(result.error, 0u);
    EXPECT_EQ(result.bytes, 122u);
    EXPECT_EQ(get.Get<UCHAR>(40), 10u);
    for (ULONG i = 2; i < 8; ++i)
        EXPECT_EQ(get.Get<ULONG>(40 + 4 * i), 0xA5A5A5A5u) << i;

    Record frequency = get;
    frequency.Put<ULONG>(0x14, kSet);
    frequency.Put<UCHAR>(41, 3);
    EXPECT_EQ(Send(audio, frequency).error, 0x1090u);

    const auto enabled = standin::ReadRegistryDword(DriverKey(board) + u"\\AudioInputs", u"DaughterCardEnabled");
    Record card = get;
    card.Put<ULONG>(0x14, kSet);
    card.Put<ULONG>(28, 1);
    EXPECT_EQ(Send(audio, card).error, 0x108Cu);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(board) + u"\\AudioInputs", u"DaughterCardEnabled"), enabled);
    Record after(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, after).error, 0u);
    EXPECT_EQ(after.Get<ULONG>(28), 0u);
}

// A client changes an input's gain over and over while the board is stopped and started again: each
// set completes (refused while the board is stopped), none reaches a host port that is gone, and
// once the board runs again a gain reaches it.
TEST_F(FilterTest, GainSetsDuringAStopAndStartEachCompleteAndTheNextReachesTheBoard)
{
    board::CaptureBoard& board = Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record get(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, get).error, 0u);
    const LONG minimum = get.Get<LONG>(104);
    const LONG maximum = get.Get<LONG>(108);
    ASSERT_LT(minimum, maximum);

    std::atomic<bool> done{false};
    std::atomic<unsigned> completed{0};
    std::thread setter([&] {
        Record set = get;
        set.Put<ULONG>(0x14, kSet);
        for (unsigned n = 0; !done.load(); ++n) {
            set.Put<LONG>(72, n % 2 == 0 ? minimum : maximum);
            Send(audio, set);
            completed.fetch_add(1);
        }
    });
    // Waits until the setter has completed two more sets, so that sets run in every phase.
    auto moreSets = [&completed] {
        const unsigned from = completed.load();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (completed.load() < from + 2 && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        return completed.load() >= from + 2;
    };
    bool cycled = true;
    for (int cycle = 0; cycle < 3 && cycled; ++cycle) {
        cycled = moreSets() && machine_->Stop(board) == STATUS_SUCCESS && moreSets() &&
                 machine_->Start(board) == STATUS_SUCCESS;
    }
    const bool lastSets = moreSets();
    done.store(true);
    setter.join();
    ASSERT_TRUE(cycled);
    ASSERT_TRUE(lastSets);

    // The board runs again: a new gain reaches it.
    Record set = get;
    set.Put<ULONG>(0x14, kSet);
    set.Put<LONG>(72, minimum + 1);
    ASSERT_EQ(Send(audio, set).error, 0u);
    // The DSP takes the gain above its zero point, 5 by default, as a signed byte.
    const auto gains = board.Commands().DcGains();
    ASSERT_EQ(gains.count(0), 1u);
    EXPECT_EQ(gains.at(0), static_cast<uint8_t>(static_cast<int8_t>(minimum + 1 + 5)));
    Record after(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, after).error, 0u);
    EXPECT_EQ(after.Get<LONG>(72), minimum + 1);
}

// A gain set while the board is stopped is refused as not ready and leaves the input's gain as it
// was: in the driver, in the registry and on the DSP, which gets the next gain once the board runs.
TEST_F(FilterTest, AGainSetWhileTheBoardIsStoppedIsRefusedAndChangesNothing)
{
    board::CaptureBoard& board = Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record get(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, get).error, 0u);
    const LONG before = get.Get<LONG>(72);
    const LONG maximum = get.Get<LONG>(108);
    ASSERT_NE(before, maximum);
    const std::u16string input1 = DriverKey(board) + u"\\AudioInputs\\Input1";
    const auto storedBefore = standin::ReadRegistryDword(input1, u"InputGain");
    const auto gainsBefore = board.Commands().DcGains();

    ASSERT_EQ(machine_->Stop(board), STATUS_SUCCESS);
    Record set = get;
    set.Put<ULONG>(0x14, kSet);
    set.Put<LONG>(72, maximum);
    const Result refused = Send(audio, set);
    EXPECT_EQ(refused.error, Win32Of(STATUS_DEVICE_NOT_READY));
    EXPECT_EQ(refused.bytes, 0u);
    EXPECT_EQ(standin::ReadRegistryDword(input1, u"InputGain"), storedBefore);
    EXPECT_EQ(board.Commands().DcGains(), gainsBefore);
    // A get still answers, with the gain as it was.
    Record stopped(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, stopped).error, 0u);
    EXPECT_EQ(stopped.Get<LONG>(72), before);

    ASSERT_EQ(machine_->Start(board), STATUS_SUCCESS);
    Record started(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, started).error, 0u);
    EXPECT_EQ(started.Get<LONG>(72), before);
    ASSERT_EQ(Send(audio, set).error, 0u);
    const auto gains = board.Commands().DcGains();
    ASSERT_EQ(gains.count(0), 1u);
    EXPECT_EQ(gains.at(0), static_cast<uint8_t>(static_cast<int8_t>(maximum + 5)));
    EXPECT_EQ(standin::ReadRegistryDword(input1, u"InputGain"), static_cast<DWORD>(maximum));
}

// A gain set that comes while the board starts waits for the start's end: none of the start's own
// commands reach the DSP after it, and its gain reaches the started board. The start is held at
// its first DSP command until the set is under way, then answered command by command.
TEST_F(FilterTest, AGainSetDuringAStartWaitsForItAndReachesTheStartedBoard)
{
    constexpr uint32_t kAnalogDcGainCommand = 15;
    board::CaptureBoard& board = Start();
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    ASSERT_NE(audio, INVALID_HANDLE_VALUE);
    Record get(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, get).error, 0u);
    const LONG maximum = get.Get<LONG>(108);
    ASSERT_NE(get.Get<LONG>(72), maximum);
    ASSERT_EQ(machine_->Stop(board), STATUS_SUCCESS);

    // The clock runs slow meanwhile, so that no held command's time-out runs out before this
    // thread answers it.
    const double speed = platform::Clock::SpeedFactor();
    platform::Clock::SetSpeedFactor(0.1);
    board.Mailbox().ClearCommandLog();
    board.Mailbox().SetHoldAnswers(true);
    std::atomic<bool> startDone{false};
    NTSTATUS started = STATUS_UNSUCCESSFUL;
    std::thread starter([&] {
        started = machine_->Start(board);
        startDone.store(true);
    });
    while (board.Mailbox().HeldCommands().empty())
        std::this_thread::yield();
    Record set = get;
    set.Put<ULONG>(0x14, kSet);
    set.Put<LONG>(72, maximum);
    Result result{~0u, 0};
    std::thread setter([&] { result = Send(audio, set); });
    while (!startDone.load()) {
        board.Mailbox().ReleaseHeld();
        std::this_thread::yield();
    }
    board.Mailbox().SetHoldAnswers(false);
    board.Mailbox().ReleaseHeld();
    setter.join();
    starter.join();
    platform::Clock::SetSpeedFactor(speed);

    ASSERT_EQ(started, STATUS_SUCCESS);
    EXPECT_EQ(result.error, 0u);
    const auto log = board.Mailbox().CommandLog();
    ASSERT_FALSE(log.empty());
    size_t gains = 0;
    for (const auto& command : log)
        gains += command.id == kAnalogDcGainCommand ? 1 : 0;
    EXPECT_EQ(gains, 1u);
    EXPECT_EQ(log.back().id, kAnalogDcGainCommand) << "a command of the start reached the DSP after the gain";
    const auto dcGains = board.Commands().DcGains();
    ASSERT_EQ(dcGains.count(0), 1u);
    EXPECT_EQ(dcGains.at(0), static_cast<uint8_t>(static_cast<int8_t>(maximum + 5)));
    Record after(PROPSETID_BREVICOR_AUDIO_CONFIG, 0, kGet, 122);
    ASSERT_EQ(Send(audio, after).error, 0u);
    EXPECT_EQ(after.Get<LONG>(72), maximum);
}

// ---- input detection ------------------------------------------------------------------------------

TEST_F(FilterTest, ASignalChangeReachesTheVideoFiltersNotification)
{
    board::CaptureBoard& board = Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    NotificationBlock block{};
    HANDLE event = EnableNotification(video, &block);
    standin::VerifierTakeViolations();

    ASSERT_TRUE(board.Commands().SetStandard(0, 0x2));
    std::vector<UCHAR> found;
    // Earlier records (the start's own announcement) are skipped; the 625-line one is waited for.
    while (found.empty()) {
        ASSERT_EQ(WaitForSingleObject(event, 60000), DWORD(WAIT_OBJECT_0));
        for (const auto& record : Records(video, &block)) {
            ULONG standard = 0;
            std::memcpy(&standard, record.data() + 16 + 14, 4);
            if (std::memcmp(record.data(), &PROPSETID_BREVICOR_INPUTDETECT, 16) == 0 && standard == 2)
                found = record;
        }
    }
    ULONG word = 0;
    std::memcpy(&word, found.data() + 16, 4);
    EXPECT_EQ(word, 1u);
    std::memcpy(&word, found.data() + 20, 4);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(LockOrderBreaches(), 0u);

    // The same record answers a get, with the video connector type.
    Record count(PROPSETID_BREVICOR_INPUTDETECT, 0, kGet, 32);
    count.Put<ULONG>(24, 1);
    ASSERT_EQ(Send(video, count).error, 0u);
    EXPECT_EQ(count.Get<ULONG>(28), 2u);
    Record detect(PROPSETID_BREVICOR_INPUTDETECT, 1, kGet, 580);
    detect.Put<ULONG>(24, 1);
    detect.Put<ULONG>(28, 0);
    ASSERT_EQ(Send(video, detect).error, 0u);
    EXPECT_EQ(detect.Get<ULONG>(32), 6u);
    EXPECT_EQ(detect.Get<ULONG>(38), 2u);
    Record beyond(PROPSETID_BREVICOR_INPUTDETECT, 1, kGet, 580);
    beyond.Put<ULONG>(24, 1);
    beyond.Put<ULONG>(28, 2);
    EXPECT_EQ(Send(video, beyond).error, Win32Of(STATUS_UNSUCCESSFUL));

    // An audio input's record carries its connector type and its name.
    HANDLE audio = Open(KSCATEGORY_AUDIO, kAudio1);
    Record audioDetect(PROPSETID_BREVICOR_INPUTDETECT, 1, kGet, 580);
    audioDetect.Put<ULONG>(24, 0);
    audioDetect.Put<ULONG>(28, 1);
    ASSERT_EQ(Send(audio, audioDetect).error, 0u);
    EXPECT_EQ(audioDetect.Get<ULONG>(28), 1u);
    EXPECT_EQ(audioDetect.Get<ULONG>(32), 0x1001u);
    EXPECT_EQ(audioDetect.Text(70), u"SDI Audio 2");
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

// Waits until a notification of input 0's detection record with `standard` reaches `filter`.
void WaitForInputStandard(HANDLE filter, HANDLE event, NotificationBlock* block, ULONG standard)
{
    for (;;) {
        for (const auto& record : notificationclient::QueuedNotifications(filter, block)) {
            ULONG selector = 0, input = 0, found = 0;
            std::memcpy(&selector, record.data() + 16, 4);
            std::memcpy(&input, record.data() + 20, 4);
            std::memcpy(&found, record.data() + 16 + 14, 4);
            if (std::memcmp(record.data(), &PROPSETID_BREVICOR_INPUTDETECT, 16) == 0 && selector == 1 &&
                input == 0 && found == standard)
                return;
        }
        ASSERT_EQ(WaitForSingleObject(event, 60000), DWORD(WAIT_OBJECT_0)) << "no record of standard " << standard;
    }
}

// What a video filter tells of input 0: its detection record, the decoder's standard and status.
struct InputView {
    ULONG state = 0;
    ULONG standard = 0;
    ULONG activePixels = 0;
    ULONG lines = 0;
    ULONG decoderStandard = 0;
    ULONG signalLocked = 0;
    ULONG numberOfLines = 0;
};

InputView ViewOfInput(HANDLE video)
{
    InputView view;
    Record detect(PROPSETID_BREVICOR_INPUTDETECT, 1, kGet, 580);
    detect.Put<ULONG>(24, 1);
    detect.Put<ULONG>(28, 0);
    EXPECT_EQ(FilterTest::Send(video, detect).error, 0u);
    view.state = detect.Get<UCHAR>(37);
    view.standard = detect.Get<ULONG>(38);
    view.activePixels = detect.Get<ULONG>(42);
    view.lines = detect.Get<ULONG>(50) + detect.Get<ULONG>(54);
    Record standard(PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_STANDARD, kGet, 32);
    EXPECT_EQ(FilterTest::Send(video, standard).error, 0u);
    view.decoderStandard = standard.Get<ULONG>(24);
    Record status(PROPSETID_VIDCAP_VIDEODECODER, KSPROPERTY_VIDEODECODER_STATUS, kGet, 32);
    EXPECT_EQ(FilterTest::Send(video, status).error, 0u);
    view.numberOfLines = status.Get<ULONG>(24);
    view.signalLocked = status.Get<ULONG>(28);
    return view;
}

// The capture pin's ranges all offer `interval` and `width` x `height` at most.
void ExpectCaptureRanges(HANDLE video, LONGLONG interval, LONG width, LONG height)
{
    const auto ranges = pintest::DataRanges(video, pintest::kCapturePin);
    ASSERT_EQ(ranges.size(), 8u);
    for (const auto& range : ranges) {
        const auto caps = pintest::As<KS_DATARANGE_VIDEO>(range).ConfigCaps;
        EXPECT_EQ(caps.MinFrameInterval, interval);
        EXPECT_EQ(caps.MaxOutputSize.cx, width);
        EXPECT_EQ(caps.MaxOutputSize.cy, height);
    }
}

TEST_F(FilterTest, AVideoFilterOpenedAfterTheSignalWasFoundSeesItsStandardAndRanges)
{
    board::CaptureBoard& board = Start();
    HANDLE first = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    NotificationBlock block{};
    HANDLE event = EnableNotification(first, &block);
    ASSERT_TRUE(board.Commands().SetStandard(0, 0x2));
    WaitForInputStandard(first, event, &block, 0x2);

    // Opened once the device knows the 625-line signal: the filter starts from what the device
    // knows, not from an empty record.
    HANDLE late = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(late, INVALID_HANDLE_VALUE);
    const InputView view = ViewOfInput(late);
    EXPECT_EQ(view.state, 2u);
    EXPECT_EQ(view.standard, 0x2u);
    EXPECT_EQ(view.activePixels, 720u);
    EXPECT_EQ(view.lines, 576u);
    EXPECT_EQ(view.decoderStandard, ULONG(KS_AnalogVideo_PAL_B));
    EXPECT_EQ(view.signalLocked, 1u);
    EXPECT_EQ(view.numberOfLines, 576u);
    ExpectCaptureRanges(late, 200000, 720, 576);

    // A filter closed and opened again after the next change sees that one.
    Close(late);
    ASSERT_TRUE(board.Commands().SetStandard(0, 0x200));
    WaitForInputStandard(first, event, &block, 0x200);
    late = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(late, INVALID_HANDLE_VALUE);
    const InputView hd = ViewOfInput(late);
    EXPECT_EQ(hd.state, 2u);
    EXPECT_EQ(hd.standard, 0x200u);
    EXPECT_EQ(hd.activePixels, 1920u);
    EXPECT_EQ(hd.lines, 1080u);
    EXPECT_EQ(hd.decoderStandard, ULONG(KS_AnalogVideo_NTSC_M));
    EXPECT_EQ(hd.signalLocked, 1u);
    ExpectCaptureRanges(late, 166666, 1920, 1080);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(FilterTest, VideoFiltersOpenedWhileTheSignalChangesSeeASignalAndEndOnTheLastOne)
{
    board::CaptureBoard& board = Start();
    HANDLE first = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    NotificationBlock block{};
    HANDLE event = EnableNotification(first, &block);
    ASSERT_TRUE(board.Commands().SetStandard(0, 0x2));
    WaitForInputStandard(first, event, &block, 0x2);

    // The response thread stores every change in the open filters while others are being opened.
    constexpr int kChanges = 200;
    std::atomic<bool> changing{true};
    std::thread changes([&] {
        for (int i = 0; i < kChanges; ++i)
            board.Commands().SetStandard(0, i % 2 == 0 ? 0x1 : 0x2);
        changing = false;
    });
    int opened = 0;
    while (changing || opened < 20) {
        HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
        ASSERT_NE(video, INVALID_HANDLE_VALUE);
        const InputView view = ViewOfInput(video);
        EXPECT_EQ(view.state, 2u) << opened;
        EXPECT_TRUE(view.standard == 0x1 || view.standard == 0x2) << opened << ": " << view.standard;
        EXPECT_EQ(view.signalLocked, 1u) << opened;
        Close(video);
        ++opened;
    }
    changes.join();

    // A standard none of the changes had ends them; a filter opened after it has it.
    ASSERT_TRUE(board.Commands().SetStandard(0, 0x1000));
    WaitForInputStandard(first, event, &block, 0x1000);
    HANDLE last = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(last, INVALID_HANDLE_VALUE);
    const InputView view = ViewOfInput(last);
    EXPECT_EQ(view.state, 2u);
    EXPECT_EQ(view.standard, 0x1000u);
    EXPECT_EQ(view.lines, 1080u);
    ExpectCaptureRanges(last, 166666, 1920, 1080);
    EXPECT_EQ(LockOrderBreaches(), 0u);
}

TEST_F(FilterTest, ListedSetsAFilterDoesNotAnswerAreNotFound)
{
    Start();
    HANDLE video = Open(KSCATEGORY_VIDEO, kVideo);
    ASSERT_NE(video, INVALID_HANDLE_VALUE);
    Record dropped(PROPSETID_VIDCAP_DROPPEDFRAMES, 0, kGet, 48);
    EXPECT_EQ(Send(video, dropped).error, Win32Of(STATUS_UNSUCCESSFUL)); // no streaming pin open
    Record shortRecord(PROPSETID_BREVICOR_TRACE, 0, kGet, 551);
    EXPECT_EQ(Send(video, shortRecord).error, Win32Of(STATUS_INVALID_BUFFER_SIZE));
}

} // namespace
} // namespace filtertest
