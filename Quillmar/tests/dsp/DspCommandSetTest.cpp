// The typed DSP commands against the firmware model: DSP memory, FPGA programming, the EEPROM, FPGA
// registers and the stored settings, with the bytes each command sends, the DSP's error codes
// turned into messages and statuses, the no-answer path and "HardwareInstalled" off.
#include "DspCommandFixture.h"
#include "standin/eventlog.h"

#include <array>
#include <numeric>

namespace dsptest {
namespace {

TEST_F(DspCommandTest, AllocateAndFreeDspMemorySendTheirWordsAndTraceTheHandle)
{
    CommandHandler* record = Record();
    // A reused record keeps the upper bits of +24: only bit 0 is the flag.
    record->SetPayloadWord(2, 0xABCD0000);
    ASSERT_EQ(record->AllocateDspMemory(0x1000, 1, true, 0x44, 0x55), STATUS_SUCCESS);
    const ULONG address = record->GetResultWordA();
    const ULONG handle = record->GetResultWordB();
    const auto blocks = board_->Commands().Allocations();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].address, address);
    EXPECT_EQ(blocks[0].handle, handle);
    auto sent = CommandsWithId(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].parameter, 1u);
    EXPECT_EQ(sent[0].payload[0], 0x1000u);
    EXPECT_EQ(sent[0].payload[1], 0xABCD0001u);
    EXPECT_EQ(sent[0].payload[3], 0x44u);
    EXPECT_EQ(sent[0].payload[4], 0x55u);
    char expected[64];
    snprintf(expected, sizeof(expected), "Allocated DSP memory resource.  Handle=0x%08x", handle);
    EXPECT_EQ(DebugLinesWith(expected), 1u);

    ASSERT_EQ(record->FreeDspMemory(handle), STATUS_SUCCESS);
    EXPECT_TRUE(board_->Commands().Allocations().empty());
    EXPECT_EQ(CommandsWithId(4).at(0).parameter, handle);
    snprintf(expected, sizeof(expected), "Released DSP memory resource.  Handle=0x%08x", handle);
    EXPECT_EQ(DebugLinesWith(expected), 1u);
}

TEST_F(DspCommandTest, DspMemoryErrorsAreLoggedWithTheDspCode)
{
    CommandHandler* record = Record();
    // Type 2 does not exist: the firmware answers 2, the words come back cleared.
    EXPECT_EQ(record->AllocateDspMemory(0x100, 2, false, 0, 0),
              static_cast<NTSTATUS>(MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR));
    EXPECT_EQ(record->GetResultWordA(), 0u);
    EXPECT_EQ(record->GetResultWordB(), 0u);
    auto events = Events(MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "00000002");

    EXPECT_EQ(record->FreeDspMemory(0x99), static_cast<NTSTATUS>(MSG_FAILED_RELEASED_DSP_MEMORY_RESOURCE_HANDLE));
    events = Events(MSG_FAILED_RELEASED_DSP_MEMORY_RESOURCE_HANDLE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "00000099");
    EXPECT_EQ(Insert(events[0], 1), "00000004");
}

TEST_F(DspCommandTest, NoAnswerWritesTheNoAnswerResultAndReportsTheFirmwareStopped)
{
    struct Case {
        uint32_t id;
        std::function<NTSTATUS(CommandHandler*)> send;
        const char* text;
    };
    ULONG value = 0;
    const std::vector<Case> cases = {
        {1, [](CommandHandler* r) { return r->AllocateDspMemory(16, 1, false, 0, 0); },
         "DSP FAILED to respond to allocate memory request."},
        {4, [](CommandHandler* r) { return r->FreeDspMemory(1); }, "DSP FAILED to respond to free memory request."},
        {9, [&](CommandHandler* r) { return r->ReadFPGARegister(3, &value); },
         "DSP FAILED to respond to read fpga register request."},
        {10, [](CommandHandler* r) { return r->WriteFPGARegister(3, 1, 1, false); },
         "DSP FAILED to respond to write fpga register request."},
        {14, [](CommandHandler* r) { return r->DestroyDspStream(1, DspStreamKind::Video); },
         "DSP FAILED to respond to destroy stream request."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        standin::EventLogClear();
        DropCommand(c.id);
        CommandHandler* record = Record();
        record->SetTimeout(kShortTimeout);
        {
            board_->Mailbox().ClearCommandLog();
            ClockPush push(kShortStep, Taken(c.id));
            EXPECT_EQ(c.send(record), kWaitFailed);
        }
        EXPECT_EQ(record->GetDspResult(), CommandHandler::kDspResultNoAnswer);
        EXPECT_EQ(Events(MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING).size(), 1u);
        EXPECT_EQ(DebugLinesWith(c.text), 1u);
    }
}

TEST_F(DspCommandTest, GetDCSignatureReadsWordAOrLeavesAllOnesWithoutAnAnswer)
{
    CommandHandler* record = Record();
    board_->Commands().SetDcSignature(7);
    ULONG signature = 0;
    ASSERT_EQ(record->GetDCSignature(&signature), STATUS_SUCCESS);
    EXPECT_EQ(signature, 7u);

    DropCommand(16);
    CommandHandler* other = Record();
    other->SetTimeout(kShortTimeout);
    signature = 0;
    {
        ClockPush push(kShortStep, Taken(16));
        EXPECT_EQ(other->GetDCSignature(&signature), kWaitFailed);
    }
    EXPECT_EQ(signature, 0xFFFFFFFFu);
}

// The FPGA image of the tests: five opaque bytes, checksummed over their first whole word.
constexpr std::array<UCHAR, 5> kFiveByteImage = {0x11, 0x22, 0x33, 0x44, 0x55};

TEST_F(DspCommandTest, ProgramFpgaStagesChecksumAndImageThenProgramsAndFreesEverything)
{
    CommandHandler* record = Record();
    ASSERT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5), STATUS_SUCCESS);
    EXPECT_TRUE(board_->Fpga().Configured());

    const auto sent = Commands();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].id, 1u);
    EXPECT_EQ(sent[0].parameter, 1u);       // external memory
    EXPECT_EQ(sent[0].payload[0], 9u);      // size + 4
    EXPECT_EQ(sent[0].payload[1] & 1, 0u);  // flag 0
    EXPECT_EQ(sent[1].id, 7u);
    const ULONG dspAddress = sent[1].payload[0];
    EXPECT_EQ(sent[1].payload[1], 9u);      // checksum word + 5 image bytes
    EXPECT_EQ(sent[1].payload[2], 2u);      // host to DSP
    EXPECT_EQ(sent[2].id, 2u);
    EXPECT_EQ(sent[2].parameter, dspAddress);
    EXPECT_EQ(sent[2].payload[0], 5u);
    EXPECT_EQ(sent[2].payload[1], 9u | 1u);
    EXPECT_EQ(sent[3].id, 4u);

    // What reached DSP memory: the XOR of one word, then the image.
    std::array<UCHAR, 9> staged{};
    board_->ReadDspMemory(dspAddress, staged.data(), staged.size());
    const std::array<UCHAR, 9> expected = {0x11, 0x22, 0x33, 0x44, 0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(staged, expected);

    // The host buffer waits on the old-buffer list; the DSP block is gone.
    EXPECT_EQ(device_->GetDmaBuffersInUseCount(), 0u);
    EXPECT_EQ(device_->GetOldDmaBufferCount(), 1u);
    EXPECT_TRUE(board_->Commands().Allocations().empty());
    EXPECT_EQ(DebugLinesWith("length=9 pVirtualAddress=0x"), 1u);
}

TEST_F(DspCommandTest, ProgramFpgaReportsABadChecksumAndACopyFailure)
{
    CommandHandler* record = Record();
    FailCommand(2, 5);
    EXPECT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5),
              static_cast<NTSTATUS>(MSG_FPGA_DID_NOT_PROGRAM_SUCCESSFULLY_ERROR));
    auto events = Events(MSG_FPGA_DID_NOT_PROGRAM_SUCCESSFULLY_ERROR);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "5");
    EXPECT_EQ(CommandsWithId(4).size(), 1u); // the block is freed all the same
    EXPECT_TRUE(board_->Commands().Allocations().empty());

    board_->Mailbox().SetCommandFault(2, std::nullopt);
    FailCommand(7, 7);
    board_->Mailbox().ClearCommandLog();
    EXPECT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5),
              static_cast<NTSTATUS>(MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS));
    events = Events(MSG_DSP_FAILED_COPY_MEMORY_ADDRESS_ADDRESS);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "HOST");
    EXPECT_EQ(Insert(events[0], 2), "DSP");
    EXPECT_EQ(Insert(events[0], 4), "00000007");
    EXPECT_TRUE(CommandsWithId(2).empty()); // one attempt, no programming
    EXPECT_EQ(CommandsWithId(4).size(), 1u);
    EXPECT_EQ(device_->GetDmaBuffersInUseCount(), 0u);
}

TEST_F(DspCommandTest, ProgramFpgaOfALongImageChecksumsAsTheFirmwareDoes)
{
    // 4,097 bytes: 1,024 whole words checksummed, the last byte not; the firmware checks the staged
    // word itself before it programs.
    std::vector<UCHAR> image(4097);
    std::iota(image.begin(), image.end(), static_cast<UCHAR>(3));
    CommandHandler* record = Record();
    ASSERT_EQ(record->ProgramFPGA(image.data(), static_cast<ULONG>(image.size())), STATUS_SUCCESS);
    const ULONG dspAddress = CommandsWithId(2).at(0).parameter;
    EXPECT_EQ(board_->ReadDspWord(dspAddress), board::FpgaModel::Checksum(image));
    EXPECT_EQ(board_->Fpga().Programmings(), 1u);
}

TEST_F(DspCommandTest, ProgramFpgaWithoutAHostBufferFailsAndFreesTheDspBlock)
{
    device_->ReleaseDmaAdapter(); // no adapter: no common buffer
    CommandHandler* record = Record();
    EXPECT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(board_->Fpga().Configured());
    EXPECT_TRUE(CommandsWithId(7).empty());
    EXPECT_EQ(CommandsWithId(4).size(), 1u);
    EXPECT_TRUE(board_->Commands().Allocations().empty());
}

TEST_F(DspCommandTest, ProgramFpgaWhoseAnswerNeverComesFreesTheBlockOnAnotherRecord)
{
    DropCommand(2);
    CommandHandler* record = Record(); // the record's own 4 s: the commands before 2 are answered
    {
        // Run out the wait for 2 only; the free that follows gets (nearly) its whole 4 s.
        ClockPush push(kRecordStep, Taken(2), [&] { return !Events(MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING).empty(); });
        EXPECT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5), kWaitFailed);
    }
    EXPECT_EQ(Events(MSG_ADAPTER_FIRMWARE_STOPPED_RESPONDING).size(), 1u);
    EXPECT_EQ(DebugLinesWith("DSP FAILED to respond to program fpga request."), 1u);
    const auto frees = CommandsWithId(4);
    ASSERT_EQ(frees.size(), 1u);
    EXPECT_NE(frees[0].tag, static_cast<uint64_t>(record->GetHostTag()));
    EXPECT_TRUE(board_->Commands().Allocations().empty());
}

TEST_F(DspCommandTest, ReadDspEepromReadsEachPartIntoItsPlace)
{
    const auto words = board::Eeprom::DefaultContents();
    CommandHandler* record = Record();
    std::vector<UCHAR> buffer(4096, 0xEE);

    ASSERT_EQ(record->ReadDspEeprom(0, buffer.data(), 28), STATUS_SUCCESS);
    for (ULONG i = 0; i < 14; ++i)
        EXPECT_EQ(buffer[2 * i] | (buffer[2 * i + 1] << 8), words[i]) << i;
    EXPECT_EQ(buffer[28], 0xEE);

    std::fill(buffer.begin(), buffer.end(), 0xEE);
    ASSERT_EQ(record->ReadDspEeprom(1, buffer.data(), 28 + 38), STATUS_SUCCESS);
    EXPECT_EQ(buffer[27], 0xEE);
    for (ULONG i = 0; i < 19; ++i)
        EXPECT_EQ(buffer[28 + 2 * i] | (buffer[28 + 2 * i + 1] << 8), words[14 + i]) << i;

    ASSERT_EQ(record->ReadDspEeprom(2, buffer.data(), 4096), STATUS_SUCCESS);
    for (ULONG i = 0; i < 2048; ++i)
        ASSERT_EQ(buffer[2 * i] | (buffer[2 * i + 1] << 8), words[i]) << i;

    // Each read: allocate (4096, external, flag set), read, free.
    const auto sent = Commands();
    ASSERT_EQ(sent.size(), 9u);
    for (size_t i = 0; i < 9; i += 3) {
        EXPECT_EQ(sent[i].id, 1u);
        EXPECT_EQ(sent[i].payload[0], 4096u);
        EXPECT_EQ(sent[i].payload[1] & 1, 1u);
        EXPECT_EQ(sent[i + 1].id, 8u);
        EXPECT_EQ(sent[i + 1].payload[2] & 1, 0u);
        EXPECT_EQ(sent[i + 2].id, 4u);
    }
    EXPECT_EQ(sent[1].parameter, 0u);
    EXPECT_EQ(sent[1].payload[1], 14u);
    EXPECT_EQ(sent[4].parameter, 14u);
    EXPECT_EQ(sent[4].payload[1], 19u);
    EXPECT_EQ(sent[7].payload[1], 2048u);
    EXPECT_TRUE(board_->Commands().Allocations().empty());
    EXPECT_EQ(DebugLinesWith("DSP successfully read its eeprom"), 3u);
}

TEST_F(DspCommandTest, ReadDspEepromRefusesShortBuffersAndFreesTheStagingBlockOnError)
{
    CommandHandler* record = Record();
    std::vector<UCHAR> buffer(4096);
    EXPECT_EQ(record->ReadDspEeprom(0, buffer.data(), 27), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(record->ReadDspEeprom(1, buffer.data(), 65), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(record->ReadDspEeprom(7, buffer.data(), 4095), STATUS_BUFFER_TOO_SMALL);
    EXPECT_TRUE(Commands().empty());

    FailCommand(8, 2);
    EXPECT_EQ(record->ReadDspEeprom(0, buffer.data(), 28), static_cast<NTSTATUS>(MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE));
    auto events = Events(MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "2");
    EXPECT_EQ(CommandsWithId(4).size(), 1u);

    // No staging block: the EEPROM is never read over DSP address 0.
    board_->Mailbox().ClearCommandLog();
    FailCommand(1, 3);
    EXPECT_EQ(record->ReadDspEeprom(0, buffer.data(), 28),
              static_cast<NTSTATUS>(MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR));
    EXPECT_TRUE(CommandsWithId(8).empty());
}

TEST_F(DspCommandTest, WriteDspEepromThenReadReturnsTheWords)
{
    CommandHandler* record = Record();
    ASSERT_EQ(record->AllocateDspMemory(4096, 1, true, 0, 0), STATUS_SUCCESS);
    const ULONG staging = record->GetResultWordA();
    const ULONG handle = record->GetResultWordB();
    const std::array<USHORT, 3> data = {0x1234, 0xBEEF, 0x0042};
    ASSERT_EQ(record->WriteDspEeprom(data.data(), 3, 100, staging), STATUS_SUCCESS);
    const auto write = CommandsWithId(8).at(0);
    EXPECT_EQ(write.parameter, 100u);
    EXPECT_EQ(write.payload[0], staging);
    EXPECT_EQ(write.payload[1], 3u);
    EXPECT_EQ(write.payload[2] & 1, 1u);
    EXPECT_EQ(board_->Eeprom().Word(100), 0x1234);
    EXPECT_EQ(board_->Eeprom().Word(101), 0xBEEF);
    EXPECT_EQ(board_->Eeprom().Word(102), 0x0042);
    EXPECT_EQ(DebugLinesWith("DSP successfully wrote its eeprom"), 1u);

    std::vector<UCHAR> all(4096);
    ASSERT_EQ(record->ReadDspEeprom(2, all.data(), 4096), STATUS_SUCCESS);
    EXPECT_EQ(all[200] | (all[201] << 8), 0x1234);
    EXPECT_EQ(all[202] | (all[203] << 8), 0xBEEF);

    // Past the end is refused before anything is sent; a DSP error is logged.
    EXPECT_EQ(record->WriteDspEeprom(data.data(), 3, 2046, staging), STATUS_INVALID_PARAMETER);
    FailCommand(8, 2);
    EXPECT_EQ(record->WriteDspEeprom(data.data(), 3, 0, staging),
              static_cast<NTSTATUS>(MSG_DSP_FAILED_READ_EEPROM_ERROR_CODE));
    EXPECT_EQ(DebugLinesWith("DSP FAILED to write its eeprom.  Error code is 0x2."), 1u);
    EXPECT_EQ(record->FreeDspMemory(handle), STATUS_SUCCESS);
}

TEST_F(DspCommandTest, FpgaRegistersRoundTripWithMaskedAndShadowWrites)
{
    CommandHandler* record = Record();
    ULONG value = 0;
    // Unconfigured: the firmware answers 6.
    EXPECT_EQ(record->ReadFPGARegister(34, &value), static_cast<NTSTATUS>(MSG_FAILED_READ_FPGA_REGISTER_ERROR_CODE));
    auto events = Events(MSG_FAILED_READ_FPGA_REGISTER_ERROR_CODE);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(Insert(events[0], 0), "00000022");
    EXPECT_EQ(Insert(events[0], 1), "00000006");
    EXPECT_EQ(record->WriteFPGARegister(34, 1, 1, false), static_cast<NTSTATUS>(MSG_FAILED_WRITE_FPGA_REGISTER_ERROR_CODE));

    ASSERT_EQ(record->ProgramFPGA(kFiveByteImage.data(), 5), STATUS_SUCCESS);
    ASSERT_EQ(record->WriteFPGARegister(34, 0x12345678, 0, false), STATUS_SUCCESS);
    ASSERT_EQ(record->ReadFPGARegister(34, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x12345678u);
    // Shadow writes merge through the mask into the shadow, which then becomes the register.
    ASSERT_EQ(record->WriteFPGARegister(40, 0xFFFF00FF, 0x0000FFFF, true), STATUS_SUCCESS);
    ASSERT_EQ(record->WriteFPGARegister(40, 0xAB000000, 0xFF000000, true), STATUS_SUCCESS);
    ASSERT_EQ(record->ReadFPGARegister(40, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0xAB0000FFu);
    EXPECT_EQ(board_->Fpga().Shadow(40), 0xAB0000FFu);
    const auto writes = CommandsWithId(10);
    EXPECT_EQ(writes.back().payload[0], 0xAB000000u);
    EXPECT_EQ(writes.back().payload[1], 0xFF000000u);
    EXPECT_EQ(writes.back().payload[2] & 0xFFFF, 1u);

    EXPECT_EQ(record->ReadFPGARegister(256, &value), static_cast<NTSTATUS>(MSG_FAILED_READ_FPGA_REGISTER_ERROR_CODE));
}

// The performance command sends the transfer settings the manager was handed, not the driver's.
class HandedTransferSettingsTest : public DspCommandTest {
protected:
    DspHostSettings Settings() const override
    {
        DspHostSettings settings = DspCommandTest::Settings();
        settings.pciSDXferSize = 0x101;
        settings.pciHD720XferSize = 0x102;
        settings.pciHDOtherXferSize = 0x103;
        settings.edmaVideoPriority = 4;
        settings.edmaAudioPriority = 5;
        settings.edmaPciPriority = 6;
        settings.edmaCpuPriority = 7;
        settings.hd1080HalfScale = 8;
        return settings;
    }
};

TEST_F(HandedTransferSettingsTest, PerformanceCommandCarriesTheHandedWords)
{
    ASSERT_NE(driver()->GetDspPciSDXferSize(), 0x101u);
    ASSERT_EQ(Record()->SetDspPerformanceParams(), STATUS_SUCCESS);
    const auto performance = board_->Commands().PerformanceParameters();
    ASSERT_TRUE(performance.has_value());
    const std::array<uint32_t, 8> expected = {0x101, 0x102, 0x103, 4, 5, 6, 7, 8};
    EXPECT_EQ(*performance, expected);
}

TEST_F(DspCommandTest, SettingsCommandsCarryTheirWords)
{
    CommandHandler* record = Record();
    ASSERT_EQ(record->SetDspPerformanceParams(), STATUS_SUCCESS);
    const auto performance = board_->Commands().PerformanceParameters();
    ASSERT_TRUE(performance.has_value());
    const std::array<uint32_t, 8> expected = {
        driver()->GetDspPciSDXferSize(),    driver()->GetDspPciHD720XferSize(), driver()->GetDspPciHDOtherXferSize(),
        driver()->GetDspEdmaVideoPriority(), driver()->GetDspEdmaAudioPriority(), driver()->GetDspEdmaPciPriority(),
        driver()->GetDspEdmaCpuPriority(),  driver()->GetDspHD1080HalfScale()};
    EXPECT_EQ(*performance, expected);
    EXPECT_EQ(DebugLinesWith("PciEdmaPriority==0x"), 1u);

    std::array<ULONG, 18> audio{};
    for (ULONG i = 0; i < audio.size(); ++i)
        audio[i] = 0x100 + i;
    ASSERT_EQ(record->SetAudioConfig(audio.data(), 18), STATUS_SUCCESS);
    const std::array<uint32_t, 9> expectedAudio = {0x107, 0x10A, 0x10B, 0x10C, 0x10D, 0x10E, 0x10F, 0x110, 0x111};
    EXPECT_EQ(board_->Commands().AudioConfiguration(), expectedAudio);
    EXPECT_EQ(record->SetAudioConfig(audio.data(), 17), STATUS_INVALID_PARAMETER);

    record->SetParameter(0xAAAA0000); // the upper half of the word is not the command's
    ASSERT_EQ(record->SetAnalogDCGain(0x21, 3), STATUS_SUCCESS);
    EXPECT_EQ(board_->Commands().DcGains().at(3), 0x21);
    EXPECT_EQ(CommandsWithId(15).at(0).parameter & 0xFFFF, 0x0321u);
}

class DspCommandWithoutHardwareTest : public DspCommandTest {
protected:
    std::string Parameters() const override
    {
        return "\"HardwareInstalled\"=dword:00000000\n\"TraceHighs\"=dword:00000001\n";
    }
    bool StartsFirmware() const override { return false; }
};

TEST_F(DspCommandWithoutHardwareTest, OnlyTheFpgaRegisterCommandsSucceedOnTheirOwn)
{
    CommandHandler* record = Record();
    ULONG value = 0;
    EXPECT_EQ(record->ReadFPGARegister(0x42, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x42u);
    EXPECT_EQ(record->GetDspResult(), 1u);
    EXPECT_EQ(record->WriteFPGARegister(0x42, 1, 1, true), STATUS_SUCCESS);
    ULONG signature = 0;
    EXPECT_EQ(record->GetDCSignature(&signature), STATUS_SUCCESS);
    EXPECT_EQ(signature, 0xFFFFFFFFu);

    // The others send nothing and find no DSP result in the record.
    CommandHandler* fresh = Record();
    EXPECT_EQ(fresh->AllocateDspMemory(16, 1, false, 0, 0),
              static_cast<NTSTATUS>(MSG_FAILED_ALLOCATE_DSP_MEMORY_RESOURCE_ERROR));
    EXPECT_EQ(fresh->SetDspPerformanceParams(), STATUS_SUCCESS);
    EXPECT_TRUE(Commands().empty());
    EXPECT_TRUE(board_->Mailbox().CommandLog().empty());
}

} // namespace
} // namespace dsptest
