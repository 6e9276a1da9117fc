// A board's life as plug and play drives it through the driver file: the bring-up's commands and
// names, the failures of a start, the daughter card's configuration, stop and start again, two boards
// with one pulled out and plugged again.
#include "LifeCycleFixture.h"

#include "standin/debugger.h"
#include "standin/system.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace lifecycletest {
namespace {

constexpr ULONG kStarting = 0x40070000;
constexpr ULONG kStarted = 0x40070001;
constexpr ULONG kStopping = 0x40070002;
constexpr ULONG kStopped = 0x40070003;
// The driver's entries for images it cannot use.
constexpr NTSTATUS MSG_DSP_IMAGE_CUT_SHORT = static_cast<NTSTATUS>(0xC00710B2);
constexpr NTSTATUS MSG_IMAGE_FILE_TOO_LARGE = static_cast<NTSTATUS>(0xC00710B3);
constexpr NTSTATUS MSG_IMAGE_NAME_TOO_LONG = static_cast<NTSTATUS>(0xC00710B4);
constexpr NTSTATUS MSG_DSP_IMAGE_SECTION_OUTSIDE_PAGE = static_cast<NTSTATUS>(0xC00710B6);

TEST_F(LifeCycleTest, StartedBoardIsNumberedNamedAndAnnounced)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);

    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(board), u"InstanceId"), 1u);
    EXPECT_EQ(standin::ReadRegistryString(EnumKey(board), u"DeviceDesc"), u"Talvexon HD 1");
    EXPECT_EQ(board.CurrentPersonality(), board::Personality::MainFirmware);
    EXPECT_TRUE(board.Fpga().Configured());
    EXPECT_EQ(board.Fpga().Register(34), 0xE0u);

    const auto capture = FriendlyNames(KSCATEGORY_CAPTURE);
    EXPECT_TRUE(Contains(capture, u"Talvexon HD Video Device 1"));
    EXPECT_TRUE(Contains(capture, u"SDI Audio 1 (Talvexon HD 1)"));
    EXPECT_TRUE(Contains(capture, u"SDI Audio 2 (Talvexon HD 1)"));
    EXPECT_EQ(FriendlyNames(KSCATEGORY_VIDEO), std::vector<std::u16string>{u"Talvexon HD Video Device 1"});
    EXPECT_EQ(FriendlyNames(KSCATEGORY_AUDIO),
              (std::vector<std::u16string>{u"SDI Audio 1 (Talvexon HD 1)", u"SDI Audio 2 (Talvexon HD 1)"}));
    // The video capture filter is in the crossbar category too (it answers the crossbar sets).
    EXPECT_EQ(FriendlyNames(KSCATEGORY_CROSSBAR),
              (std::vector<std::u16string>{u"Talvexon HD Video Device 1", u"Talvexon HD Crossbar Device 1"}));

    EXPECT_TRUE(HasEvent(kStarting, u"Talvexon HD 1"));
    EXPECT_TRUE(HasEvent(kStarted, u"Talvexon HD 1"));
    EXPECT_TRUE(Events(kStopping).empty());
}

TEST_F(LifeCycleTest, BringUpSendsItsCommandsInOrder)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);

    const auto commands = CommandsWithoutStaging(board);
    ASSERT_EQ(Ids(commands), (std::vector<uint32_t>{12, 8, 16, 2, 13, 10, 9}));
    EXPECT_EQ(commands[1].parameter, 0u);         // from word 0
    EXPECT_EQ(commands[1].payload[1], 2048u);     // every word
    EXPECT_EQ(commands[1].payload[2] & 1, 0u);    // a read
    EXPECT_EQ(commands[5].parameter, 34u);
    EXPECT_EQ(commands[5].payload[0], 0xE0u);
    EXPECT_EQ(commands[5].payload[1], 0xFFE0u);
    EXPECT_NE(commands[5].payload[2] & 0xFFFF, 0u); // through the shadow
    EXPECT_EQ(commands[6].parameter, 34u);
    // The FPGA's programming is the last command of its staging.
    const auto log = board.Mailbox().CommandLog();
    size_t program = 0;
    while (program < log.size() && log[program].id != 2)
        ++program;
    ASSERT_LT(program, log.size());
    EXPECT_EQ(log[program].payload[0], std::filesystem::file_size(std::filesystem::path(TALVEXON_IMAGE_FOLDER) /
                                                                  board::StandardImages::kFpgaFileName));
    EXPECT_EQ(board.ReadDspWord(36), 0u);
    EXPECT_EQ(board.ReadDspWord(40), 80u);
}

TEST_F(LifeCycleTest, BypassingTheFpgaStopsAfterTheSignature)
{
    Boot("\"BypassLoadingFPGA\"=dword:00000001");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_EQ(Ids(CommandsWithoutStaging(board)), (std::vector<uint32_t>{12, 8, 16}));
    EXPECT_FALSE(board.Fpga().Configured());
    EXPECT_TRUE(HasEvent(kStarted, u"Talvexon HD 1"));
}

struct StartFailure {
    const char* parameters;
    bool noBoot;
    NTSTATUS status;
};

class StartFailureTest : public LifeCycleTest, public testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, FailsWithItsCodeAndLeavesNothing)
{
    Boot(GetParam().parameters);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    board.SetNoBootInterrupt(GetParam().noBoot);
    EXPECT_EQ(machine_->Plug(board), GetParam().status);
    EXPECT_EQ(Events(static_cast<ULONG>(GetParam().status)).size(), 1u);
    EXPECT_TRUE(Events(kStarted).empty());
    // TearDown's shutdown checks that nothing is left for the verifier.
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StartFailureTest,
    testing::Values(StartFailure{"\"FirmwareImageName\"=-", false, static_cast<NTSTATUS>(0xC007105F)},
                    StartFailure{"\"FirmwareImageName\"=\"Missing.bin\"", false, static_cast<NTSTATUS>(0xC0071019)},
                    StartFailure{"\"FPGAImageName\"=-", false, static_cast<NTSTATUS>(0xC0071062)},
                    StartFailure{"\"FPGAImageName\"=\"\"", false, static_cast<NTSTATUS>(0xC0071062)},
                    StartFailure{"", true, static_cast<NTSTATUS>(0xC0071051)}));

// The bring-up's later answers only inform: an EEPROM read the DSP refuses, a daughter-card
// signature or an audio configuration that gets no answer, a refused write or read of the
// alignment register leave the board started, its FPGA programmed and the rest of the bring-up sent.
struct LateFault {
    uint32_t command;
    bool drop;
};

class LateBringUpFaultTest : public LifeCycleTest, public testing::WithParamInterface<LateFault> {};

TEST_P(LateBringUpFaultTest, IsLoggedAndTheStartGoesOn)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    board::MailboxService::CommandFault fault;
    fault.drop = GetParam().drop;
    fault.result = 2; // bad parameter
    board.Mailbox().SetCommandFault(GetParam().command, fault);
    EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    EXPECT_TRUE(HasEvent(kStarted, u"Talvexon HD 1"));
    EXPECT_TRUE(board.Fpga().Configured());
    EXPECT_EQ(Ids(CommandsWithoutStaging(board)), (std::vector<uint32_t>{12, 8, 16, 2, 13, 10, 9}));
    board.Mailbox().SetCommandFault(GetParam().command, std::nullopt);
    // The board answers its requests.
    ASSERT_EQ(machine_->Stop(board), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Start(board), STATUS_SUCCESS);
    EXPECT_EQ(board.Fpga().Register(34), 0xE0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, LateBringUpFaultTest,
                         testing::Values(LateFault{8, false}, LateFault{16, true}, LateFault{13, true},
                                         LateFault{10, false}, LateFault{9, false}),
                         [](const testing::TestParamInfo<LateFault>& info) {
                             return "Command" + std::to_string(info.param.command) +
                                    (info.param.drop ? "Unanswered" : "Refused");
                         });

TEST_F(LifeCycleTest, MissingImageIsReportedWithItsFullPath)
{
    Boot("\"FirmwareImageName\"=\"Missing.bin\"");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    EXPECT_EQ(machine_->Plug(board), static_cast<NTSTATUS>(0xC0071019));
    const auto events = Events(0xC0071019);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_FALSE(events[0].inserts.empty());
    EXPECT_EQ(events[0].inserts[0], u"\\DosDevices\\C:\\Windows\\System32\\drivers\\Missing.bin");
}

TEST_F(LifeCycleTest, ImagePathOverTheLimitIsRefused)
{
    Boot("\"FirmwareImageName\"=\"" + std::string(240, 'x') + ".bin\"");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    EXPECT_EQ(machine_->Plug(board), static_cast<NTSTATUS>(0xC0071019));
    EXPECT_EQ(Events(0xC0071019).size(), 1u);
}

// A malformed firmware file in the drivers folder, named by "FirmwareImageName": each kind of
// fault fails the start with its own entry, naming the file.
class BadFirmwareTest : public LifeCycleTest {
protected:
    std::filesystem::path DriversFolder() const { return folder_ / "C" / "Windows" / "System32" / "drivers"; }
    void Write(const std::string& name, const std::vector<char>& bytes) const
    {
        std::ofstream out(DriversFolder() / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }
    static std::vector<char> Shipped()
    {
        std::ifstream in(std::filesystem::path(TALVEXON_IMAGE_FOLDER) / board::StandardImages::kFirmwareFileName,
                         std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Plugs a board with the firmware named `name`; the start fails with `status` and writes
    // exactly one entry of `message`, which is returned.
    standin::EventLogEntry PlugFails(NTSTATUS status, NTSTATUS message)
    {
        board::CaptureBoard& board = MakeBoard();
        EXPECT_EQ(machine_->Plug(board), status);
        const auto events = Events(static_cast<ULONG>(message));
        EXPECT_EQ(events.size(), 1u);
        EXPECT_TRUE(Events(kStarted).empty());
        EXPECT_TRUE(Events(0xC007105F).empty()) << "reported as not specified";
        return events.empty() ? standin::EventLogEntry{} : events[0];
    }
};

TEST_F(BadFirmwareTest, ACutFileIsReportedAsCutShort)
{
    Boot("\"FirmwareImageName\"=\"Cut.bin\"");
    auto image = Shipped();
    ASSERT_GT(image.size(), 1000u);
    image.resize(image.size() - 1000);
    Write("Cut.bin", image);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const auto entry = PlugFails(STATUS_INVALID_IMAGE_FORMAT, MSG_DSP_IMAGE_CUT_SHORT);
    ASSERT_EQ(entry.inserts.size(), 5u);
    EXPECT_EQ(entry.inserts[0], u"C:\\Windows\\System32\\drivers\\Cut.bin");
}

TEST_F(BadFirmwareTest, RandomBytesAreReportedAsNoImage)
{
    Boot("\"FirmwareImageName\"=\"Random.bin\"");
    std::mt19937 random(20261211);
    std::vector<char> bytes(16384);
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    bytes[0] = 3; // three sections claimed
    Write("Random.bin", bytes);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const auto entry = PlugFails(STATUS_INVALID_IMAGE_FORMAT, MSG_DSP_IMAGE_SECTION_OUTSIDE_PAGE);
    ASSERT_EQ(entry.inserts.size(), 5u);
    EXPECT_EQ(entry.inserts[0], u"C:\\Windows\\System32\\drivers\\Random.bin");
    EXPECT_EQ(entry.inserts[2], u"3");
}

TEST_F(BadFirmwareTest, AHugeFileIsNotReadAndReportedAsTooLarge)
{
    Boot("\"FirmwareImageName\"=\"Huge.bin\"");
    Write("Huge.bin", {1});
    std::filesystem::resize_file(DriversFolder() / "Huge.bin", 300ull * 1024 * 1024);
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const auto entry = PlugFails(MSG_IMAGE_FILE_TOO_LARGE, MSG_IMAGE_FILE_TOO_LARGE);
    EXPECT_EQ(entry.inserts, (std::vector<std::u16string>{u"\\DosDevices\\C:\\Windows\\System32\\drivers\\Huge.bin",
                                                          u"314572800", u"67108864"}));
}

TEST_F(BadFirmwareTest, ANameTooLongToReadIsReportedAsTooLongNotAsMissing)
{
    Boot("\"FirmwareImageName\"=\"" + std::string(200'000, 'f') + "\"");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const auto entry = PlugFails(MSG_IMAGE_NAME_TOO_LONG, MSG_IMAGE_NAME_TOO_LONG);
    EXPECT_EQ(entry.inserts, (std::vector<std::u16string>{u"FirmwareImageName", u"200000", u"130"}));
}

// The daughter card: a board with eight audio inputs whose registry enables the card.
class DaughterCardTest : public LifeCycleTest {
protected:
    board::CaptureBoard& PlugWithCard(uint32_t signature)
    {
        Boot();
        EXPECT_EQ(Load(), STATUS_SUCCESS);
        board::BoardConfiguration configuration;
        configuration.audioInputs.assign(8, board::BoardConfiguration::kSdiAudio);
        configuration.daughterCard = signature;
        board::CaptureBoard& board = MakeBoard(0, configuration);
        // The first plug installs the board's keys; the card is enabled before the second.
        EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        const std::u16string audio = DriverKey(board) + u"\\AudioInputs";
        EXPECT_EQ(machine_->Remove(board), STATUS_SUCCESS);
        std::string path(audio.begin(), audio.end());
        path.replace(0, std::string("\\Registry\\Machine").size(), "HKEY_LOCAL_MACHINE");
        // Eight inputs, as a package for the card would list them.
        std::string lines = "[" + path + "]\r\n\"DaughterCardEnabled\"=dword:00000001\r\n\"Count\"=dword:00000008\r\n";
        for (int i = 3; i <= 8; ++i) {
            char name[48];
            std::snprintf(name, sizeof(name), "{5D61FB%02X-23EF-4D82-AD98-AD61EEAED7F5}", i - 1);
            lines += "\r\n[" + path + "\\Input" + std::to_string(i) + "]\r\n\"InputName\"=\"" + name + "\"\r\n";
        }
        Import(lines);
        board.Mailbox().ClearCommandLog();
        standin::EventLogClear();
        audioKey_ = audio;
        EXPECT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        return board;
    }
    // Connector types of audio inputs 5 to 8 in the last audio configuration sent.
    static std::vector<uint32_t> CardInputTypes(board::CaptureBoard& board)
    {
        std::vector<uint32_t> types;
        const auto commands = board.Mailbox().CommandLog();
        for (auto it = commands.rbegin(); it != commands.rend(); ++it) {
            if (it->id != 13)
                continue;
            for (uint32_t i = 4; i < 8; ++i)
                types.push_back(it->payload[i] & 0xFF);
            break;
        }
        return types;
    }
    std::u16string audioKey_;
};

TEST_F(DaughterCardTest, SignatureZeroMakesTheCardInputsAes)
{
    board::CaptureBoard& board = PlugWithCard(0);
    EXPECT_EQ(CardInputTypes(board), (std::vector<uint32_t>{11, 11, 11, 11}));
    const auto commands = board.Mailbox().CommandLog();
    for (const auto& command : commands) {
        if (command.id == 13) {
            EXPECT_EQ(command.parameter, 1u); // the card enabled
        }
    }
    EXPECT_EQ(standin::ReadRegistryDword(audioKey_ + u"\\Input5", u"InputType"), 11u);
    EXPECT_EQ(standin::ReadRegistryDword(audioKey_ + u"\\Input4", u"InputType"), 10u);
}

TEST_F(DaughterCardTest, SignatureSevenGivesItsMix)
{
    board::CaptureBoard& board = PlugWithCard(7);
    EXPECT_EQ(CardInputTypes(board), (std::vector<uint32_t>{13, 14, 11, 11}));
}

TEST_F(DaughterCardTest, InvalidSignatureDisablesTheCard)
{
    board::CaptureBoard& board = PlugWithCard(5);
    EXPECT_EQ(CardInputTypes(board), (std::vector<uint32_t>{10, 10, 10, 10}));
    EXPECT_TRUE(HasEvent(0xC0071093, u"5"));
    EXPECT_EQ(standin::ReadRegistryDword(audioKey_, u"DaughterCardEnabled"), 0u);
}

TEST_F(DaughterCardTest, NoCardFittedLeavesTheInputsSdi)
{
    board::CaptureBoard& board = PlugWithCard(31);
    EXPECT_EQ(CardInputTypes(board), (std::vector<uint32_t>{10, 10, 10, 10}));
    EXPECT_TRUE(Events(0xC0071093).empty());
}

size_t ProcessThreads()
{
    size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

TEST_F(LifeCycleTest, StopAndStartAgainBringsTheBoardBackWithOneSetOfThreads)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& board = MakeBoard();
    ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
    // After the first cycle every thread a start makes has been made once.
    ASSERT_EQ(machine_->Stop(board), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Start(board), STATUS_SUCCESS);
    const size_t threads = ProcessThreads();
    for (int cycle = 0; cycle < 2; ++cycle) {
        standin::EventLogClear();
        board.Mailbox().ClearCommandLog();
        ASSERT_EQ(machine_->Stop(board), STATUS_SUCCESS);
        EXPECT_TRUE(HasEvent(kStopping, u"Talvexon HD 1"));
        EXPECT_TRUE(HasEvent(kStopped, u"Talvexon HD 1"));
        ASSERT_EQ(machine_->Start(board), STATUS_SUCCESS);
        EXPECT_TRUE(HasEvent(kStarted, u"Talvexon HD 1"));
        // The start's last command is a register read that waited for its answer.
        const auto commands = CommandsWithoutStaging(board);
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back().id, 9u);
    }
    // The threads of the stopped host ports end.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ProcessThreads() <= threads; }))
        << ProcessThreads() << " threads, " << threads << " before";
    EXPECT_EQ(board.Fpga().Register(34), 0xE0u);
}

TEST_F(LifeCycleTest, TwoBoardsOnePulledOutAndPluggedAgain)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& first = MakeBoard(0);
    board::CaptureBoard& second = MakeBoard(1);
    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(second), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(first), u"InstanceId"), 1u);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(second), u"InstanceId"), 2u);
    EXPECT_EQ(standin::ReadRegistryString(EnumKey(second), u"DeviceDesc"), u"Talvexon HD 2");
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_VIDEO), u"Talvexon HD Video Device 2"));
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_CROSSBAR), u"Talvexon HD Crossbar Device 2"));
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_AUDIO), u"SDI Audio 2 (Talvexon HD 2)"));

    ASSERT_EQ(machine_->SurpriseRemove(first), STATUS_SUCCESS);
    EXPECT_FALSE(Contains(FriendlyNames(KSCATEGORY_VIDEO), u"Talvexon HD Video Device 1"));
    // The other board still answers: it stops and starts, its start's commands all answered.
    second.Mailbox().ClearCommandLog();
    ASSERT_EQ(machine_->Stop(second), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Start(second), STATUS_SUCCESS);
    EXPECT_EQ(Ids(CommandsWithoutStaging(second)), (std::vector<uint32_t>{12, 8, 16, 2, 13, 10, 9}));

    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(first), u"InstanceId"), 1u);
    EXPECT_TRUE(HasEvent(kStarted, u"Talvexon HD 1"));
    EXPECT_TRUE(Contains(FriendlyNames(KSCATEGORY_VIDEO), u"Talvexon HD Video Device 1"));
}

TEST_F(LifeCycleTest, StoredIdOfAnotherBoardIsReplacedAndWrittenBack)
{
    Boot();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    board::CaptureBoard& first = MakeBoard(0);
    board::CaptureBoard& second = MakeBoard(1);
    ASSERT_EQ(machine_->Plug(first), STATUS_SUCCESS);
    ASSERT_EQ(machine_->Plug(second), STATUS_SUCCESS);
    const std::u16string key = DriverKey(second);
    ASSERT_EQ(machine_->Remove(second), STATUS_SUCCESS);
    // The second board's key claims the first board's id.
    std::string path(key.begin(), key.end());
    path.replace(0, std::string("\\Registry\\Machine").size(), "HKEY_LOCAL_MACHINE");
    Import("[" + path + "]\r\n\"InstanceId\"=dword:00000001");
    ASSERT_EQ(machine_->Plug(second), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(key, u"InstanceId"), 2u);
    EXPECT_EQ(standin::ReadRegistryString(EnumKey(second), u"DeviceDesc"), u"Talvexon HD 2");
    EXPECT_EQ(standin::ReadRegistryDword(DriverKey(first), u"InstanceId"), 1u);
}

} // namespace
TEST_F(LifeCycleTest, EachBoardsProcessingQueuesTakeTheProcessorMaskOfItsNumber)
{
    // Four processors for this machine only.
    struct Processors {
        Processors() { standin::SetNumberOfProcessors(4); }
        ~Processors() { standin::ResetSystemInformation(); }
    } processors;
    Boot("\"TraceHighs\"=dword:00000001\r\n");
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    const char* masks[][2] = {{"0x00000008", "0x00000004"}, {"0x00000002", "0x00000001"}, {"0x00000000", "0x00000000"}};
    for (uint32_t n = 0; n < 3; ++n) {
        board::CaptureBoard& board = MakeBoard(n);
        standin::DebugOutputClear();
        ASSERT_EQ(machine_->Plug(board), STATUS_SUCCESS);
        EXPECT_EQ(standin::ReadRegistryDword(DriverKey(board), u"InstanceId"), n + 1);
        size_t video = 0, audio = 0;
        for (const std::string& line : standin::DebugOutput()) {
            video += line.find(std::string("Setting VIDEO stream processor queue affinity to ") + masks[n][0]) !=
                     std::string::npos;
            audio += line.find(std::string("Setting AUDIO stream processor queue affinity to ") + masks[n][1]) !=
                     std::string::npos;
        }
        EXPECT_EQ(video, 1u) << "board " << n + 1;
        EXPECT_EQ(audio, 1u) << "board " << n + 1;
    }
}

} // namespace lifecycletest
