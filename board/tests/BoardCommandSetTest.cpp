// The main firmware's memory, copy, FPGA, EEPROM and settings commands, sent through the mailbox as
// the host sends them: answers, words, error codes and what each leaves in the board.
#include <gtest/gtest.h>

#include "CommandSetTestHost.h"
#include "board/DspAllocator.h"
#include "board/Eeprom.h"
#include "board/FpgaModel.h"
#include "board/StandardImages.h"

namespace board {
namespace {

using testing::HostBuffer;

class BoardCommands : public testing::CommandSetTest {
protected:
    MailboxResponse Allocate(uint32_t length, uint32_t type = DspAllocator::kExternalType, uint32_t flagWord = 0)
    {
        return Send(kCommandAllocateDspMemory, type, {length, flagWord, 0xDEAD, 44, 55});
    }
    // Stages checksum + image in a fresh DSP block and programs the FPGA from it.
    MailboxResponse Program(const std::vector<uint8_t>& image, uint32_t checksum, uint32_t lengthWord = 0)
    {
        const MailboxResponse block = Allocate(static_cast<uint32_t>(image.size() + 4));
        EXPECT_EQ(block.Result(), kDspResultSuccess);
        board.WriteDspMemory(block.WordA(), &checksum, 4);
        board.WriteDspMemory(block.WordA() + 4, image.data(), image.size());
        if (lengthWord == 0)
            lengthWord = static_cast<uint32_t>(image.size() + 4) | 1;
        return Send(kCommandProgramFpga, block.WordA(), {static_cast<uint32_t>(image.size()), lengthWord});
    }
    void Configure()
    {
        const std::vector<uint8_t> image = {1, 2, 3, 4, 5};
        ASSERT_EQ(Program(image, FpgaModel::Checksum(image)).Result(), kDspResultSuccess);
    }
};

TEST_F(BoardCommands, AllocationsGiveAddressAndHandleAndRecordTheRequest)
{
    const MailboxResponse first = Allocate(0x1000, DspAllocator::kExternalType, 0xFFFFFFF1);
    EXPECT_EQ(first.Result(), kDspResultSuccess);
    EXPECT_EQ(first.WordA(), DspAllocator::kExternalBase);
    EXPECT_EQ(first.WordB(), 1u);
    const MailboxResponse internal = Allocate(0x100, DspAllocator::kInternalType);
    EXPECT_EQ(internal.WordA(), DspAllocator::kInternalBase);
    EXPECT_EQ(internal.WordB(), 2u);

    const auto blocks = commands().Allocations();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], (DspBlock{1, DspAllocator::kExternalBase, 0x1000, 1, true, 44, 55}));
    EXPECT_FALSE(blocks[1].flag);

    EXPECT_EQ(Send(kCommandFreeDspMemory, 1).Result(), kDspResultSuccess);
    EXPECT_EQ(Send(kCommandFreeDspMemory, 1).Result(), kDspErrorBadHandle);
    EXPECT_EQ(Send(kCommandFreeDspMemory, 0).Result(), kDspErrorBadHandle);
    EXPECT_EQ(commands().Allocations().size(), 1u);
    // Handles are not given again within a boot, even after a free.
    EXPECT_EQ(Allocate(0x1000).WordB(), 3u);
}

TEST_F(BoardCommands, AllocationsRefuseBadRequestsAndRunOutOfRoom)
{
    for (const auto& [length, type] : {std::pair{0u, 1u}, {DspAllocator::kMaxBlock + 1, 1u}, {16u, 2u}}) {
        const MailboxResponse refused = Allocate(length, type);
        EXPECT_EQ(refused.Result(), kDspErrorBadParameter) << length << " " << type;
        EXPECT_EQ(refused.WordA(), 0u);
        EXPECT_EQ(refused.WordB(), 0u);
    }
    // Internal memory holds 128 KB.
    EXPECT_EQ(Allocate(0x10000, DspAllocator::kInternalType).Result(), kDspResultSuccess);
    EXPECT_EQ(Allocate(0x10000, DspAllocator::kInternalType).Result(), kDspResultSuccess);
    EXPECT_EQ(Allocate(1, DspAllocator::kInternalType).Result(), kDspErrorNoMemory);
    EXPECT_EQ(Send(kCommandFreeDspMemory, 1).Result(), kDspResultSuccess);
    EXPECT_EQ(Allocate(0x8000, DspAllocator::kInternalType).WordA(), DspAllocator::kInternalBase);
}

TEST_F(BoardCommands, BlocksStayInsideOneWindowPageAndFillGapsFirst)
{
    EXPECT_EQ(Allocate(0x200000).WordA(), 0x80100000u);
    // 0x80300000 + 2 MB would cross the page at 0x80400000.
    EXPECT_EQ(Allocate(0x200000).WordA(), 0x80400000u);
    EXPECT_EQ(Allocate(0x1001).WordA(), 0x80300000u);
    EXPECT_EQ(Allocate(0x10).WordA(), 0x80301100u); // 256-byte aligned
    EXPECT_EQ(Allocate(DspAllocator::kMaxBlock).WordA(), 0x80800000u);
    for (const DspBlock& block : commands().Allocations())
        EXPECT_EQ(block.address >> 22, (block.address + block.length - 1) >> 22) << std::hex << block.address;
}

TEST_F(BoardCommands, CopiesMoveBytesBetweenRegisteredHostMemoryAndTheDsp)
{
    HostBuffer host(8192);
    for (size_t i = 0; i < 9; ++i)
        host.Bytes()[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(Send(kCommandCopyMemory, host.Bus(), {0x80200000, 9, kCopyHostToDsp}).Result(), kDspResultSuccess);
    uint8_t copied[10] = {};
    board.ReadDspMemory(0x80200000, copied, sizeof copied);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(copied[i], 0xA0 + i);
    EXPECT_EQ(copied[9], 0); // exactly the length

    const uint32_t words[2] = {0x11223344, 0x55667788};
    board.WriteDspMemory(0x1000, words, sizeof words);
    // Any direction but 2 is DSP to host.
    EXPECT_EQ(Send(kCommandCopyMemory, 0x1000, {host.Bus() + 8184, 8, 0xFFFF0001}).Result(), kDspResultSuccess);
    EXPECT_EQ(host.Word(8184), 0x11223344u);
    EXPECT_EQ(host.Word(8188), 0x55667788u);
}

TEST_F(BoardCommands, CopiesOutsideTheCommonBuffersFailWithoutMovingAnything)
{
    HostBuffer host(4096, 0x5A);
    board.WriteDspMemory(0x2000, std::vector<uint8_t>(8, 0x77).data(), 8);
    // Past the end of the buffer, and an address nobody registered.
    EXPECT_EQ(Send(kCommandCopyMemory, 0x2000, {host.Bus() + 4092, 8, 1}).Result(), kDspErrorDmaNotMapped);
    EXPECT_EQ(Send(kCommandCopyMemory, 0x10, {0x2000, 8, kCopyHostToDsp}).Result(), kDspErrorDmaNotMapped);
    EXPECT_EQ(host.Word(4092), 0x5A5A5A5Au);
    EXPECT_EQ(board.ReadDspWord(0x2000), 0x77777777u);

    // The DSP side must not wrap, and copies are bounded.
    EXPECT_EQ(Send(kCommandCopyMemory, host.Bus(), {0xFFFFFFFC, 8, kCopyHostToDsp}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandCopyMemory, host.Bus(), {0, CommandSet::kMaxCopyLength + 1, kCopyHostToDsp}).Result(),
              kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandCopyMemory, 0x10, {0x2000, 0, kCopyHostToDsp}).Result(), kDspResultSuccess);
}

TEST_F(BoardCommands, AFiveByteImageChecksummedOverOneWordConfiguresTheFpga)
{
    EXPECT_FALSE(board.Fpga().Configured());
    const std::vector<uint8_t> image = {0x10, 0x20, 0x30, 0x40, 0x99};
    EXPECT_EQ(FpgaModel::Checksum(image), 0x40302010u); // the fifth byte is not covered
    EXPECT_EQ(Program(image, 0x40302010).Result(), kDspResultSuccess);
    EXPECT_TRUE(board.Fpga().Configured());
    EXPECT_EQ(board.Fpga().DesignVersion(), 0u);

    // A wrong checksum fails and leaves the FPGA cleared.
    board.Fpga().SetRegister(3, 9);
    EXPECT_EQ(Program(image, 0x40302011).Result(), kDspErrorFpgaChecksum);
    EXPECT_FALSE(board.Fpga().Configured());
    EXPECT_EQ(board.Fpga().Register(3), 0u);
    EXPECT_EQ(board.Fpga().Programmings(), 2u);
}

TEST_F(BoardCommands, OurFpgaImageAppliesItsRegisterDefaultsAndACorruptOneIsRefused)
{
    FpgaImage fpga = StandardImages::Fpga();
    fpga.registerDefaults = {{34, 0x1234}, {7, 0xFFFF0000}};
    std::vector<uint8_t> image = fpga.Serialize();
    ASSERT_EQ(Program(image, FpgaModel::Checksum(image)).Result(), kDspResultSuccess);
    EXPECT_EQ(board.Fpga().DesignVersion(), StandardImages::kFpgaDesignVersion);
    EXPECT_EQ(board.Fpga().Register(34), 0x1234u);
    EXPECT_EQ(board.Fpga().Shadow(7), 0xFFFF0000u);

    image[image.size() - 1] ^= 1; // its own byte sum no longer matches
    EXPECT_EQ(Program(image, FpgaModel::Checksum(image)).Result(), kDspErrorFpgaChecksum);
    EXPECT_FALSE(board.Fpga().Configured());
}

TEST_F(BoardCommands, FpgaProgrammingRefusesBadParameters)
{
    const std::vector<uint8_t> image = {1, 2, 3, 4};
    EXPECT_EQ(Program(image, FpgaModel::Checksum(image), 8).Result(), kDspErrorBadParameter); // bit 0 clear
    EXPECT_EQ(Send(kCommandProgramFpga, 0x80100000, {0, 5}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandProgramFpga, 0xFFFFFFF0, {16, 21}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandProgramFpga, 0x80100000, {CommandSet::kMaxFpgaImage + 1, 1}).Result(),
              kDspErrorBadParameter);
}

TEST_F(BoardCommands, FpgaRegistersNeedAConfiguredFpga)
{
    EXPECT_EQ(Send(kCommandReadFpgaRegister, 34).Result(), kDspErrorFpgaNotConfigured);
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, 34, {1, 0xFFFF, 1}).Result(), kDspErrorFpgaNotConfigured);
    EXPECT_EQ(board.Fpga().Register(34), 0u);
    Configure();
    EXPECT_EQ(Send(kCommandReadFpgaRegister, FpgaModel::kRegisterCount).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, FpgaModel::kRegisterCount, {1, 1, 0}).Result(), kDspErrorBadParameter);
}

TEST_F(BoardCommands, PlainAndShadowWritesRoundTrip)
{
    Configure();
    // A plain write sets the register whatever the mask and leaves the shadow.
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, 5, {0xCAFEF00D, 0x0000FFFF, 0xFFFF0000}).Result(), kDspResultSuccess);
    MailboxResponse read = Send(kCommandReadFpgaRegister, 5);
    EXPECT_EQ(read.Result(), kDspResultSuccess);
    EXPECT_EQ(read.WordA(), 0xCAFEF00Du);
    EXPECT_EQ(board.Fpga().Shadow(5), 0u);

    // Shadow writes merge under the mask into the shadow, which the register then takes.
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, 34, {3 << 6 | 32, 0xFFE0, 1}).Result(), kDspResultSuccess);
    EXPECT_EQ(Send(kCommandReadFpgaRegister, 34).WordA(), 0xE0u);
    // Only the flag's low 16 bits count: this one is a plain write, which the shadow never sees.
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, 34, {0xFFFFFFFF, 0x0000000F, 0x10000}).Result(), kDspResultSuccess);
    EXPECT_EQ(Send(kCommandReadFpgaRegister, 34).WordA(), 0xFFFFFFFFu);
    EXPECT_EQ(board.Fpga().Shadow(34), 0xE0u);
    // So the next shadow write starts from the shadow again.
    EXPECT_EQ(Send(kCommandWriteFpgaRegister, 34, {0x10F, 0x10F, 1}).Result(), kDspResultSuccess);
    EXPECT_EQ(Send(kCommandReadFpgaRegister, 34).WordA(), 0x1EFu);
    EXPECT_EQ(board.Fpga().Shadow(34), 0x1EFu);
}

TEST_F(BoardCommands, TheEepromStartsWithAValidCheckWord)
{
    const Eeprom::Contents words = Eeprom::DefaultContents();
    uint16_t check = 0xAAAA;
    for (int i = 0; i < 13; ++i)
        check ^= words[i];
    EXPECT_EQ(words[13], check);
    EXPECT_EQ(words[0], kVendorId);
    EXPECT_EQ(words[1], kDeviceId);
    EXPECT_EQ(words[14], 'T');
    EXPECT_EQ(words[23], '1');
    EXPECT_EQ(words[26], 2026);
    EXPECT_EQ(words[33], 0xFFFF);
    EXPECT_EQ(words[2047], 0xFFFF);
    EXPECT_EQ(board.Eeprom().Words(), words);
}

// A board built with another vendor id and serial number carries them over the default contents,
// its check word made again over the new vendor id; a shorter serial leaves the rest of its words 0.
TEST(BoardConfigurationEeprom, TheIdentityGivenReplacesTheDefaultOnes)
{
    BoardConfiguration configuration;
    configuration.eepromVendorId = 0x0A1F;
    configuration.eepromSerialNumber = "AB12345678";
    CaptureBoard built(platform::PciLocation{1, 0, 0}, configuration);
    const Eeprom::Contents words = built.Eeprom().Words();
    Eeprom::Contents expected = Eeprom::DefaultContents();
    expected[0] = 0x0A1F;
    expected[13] = Eeprom::CheckWord(expected);
    const char serial[] = "AB12345678";
    for (int i = 0; i < 10; ++i)
        expected[14 + i] = static_cast<uint16_t>(serial[i]);
    EXPECT_EQ(words, expected);
    EXPECT_NE(expected[13], Eeprom::DefaultContents()[13]);

    configuration.eepromVendorId.reset();
    configuration.eepromSerialNumber = "XY1";
    const Eeprom::Contents shorter = configuration.EepromContents();
    EXPECT_EQ(shorter[13], Eeprom::DefaultContents()[13]);
    EXPECT_EQ(shorter[14], 'X');
    EXPECT_EQ(shorter[16], '1');
    for (int i = 17; i < 24; ++i)
        EXPECT_EQ(shorter[i], 0u) << i;
    EXPECT_EQ(shorter[24], 0u);

    // Over contents given whole, the identity still wins.
    Eeprom::Contents given{};
    given.fill(0x1234);
    configuration.eeprom = given;
    configuration.eepromVendorId = 0x0A1F;
    const Eeprom::Contents over = configuration.EepromContents();
    EXPECT_EQ(over[0], 0x0A1F);
    EXPECT_EQ(over[13], Eeprom::CheckWord(over));
    EXPECT_EQ(over[14], 'X');
    EXPECT_EQ(over[40], 0x1234);

    configuration.eepromSerialNumber = "AB123456789";
    EXPECT_THROW(configuration.EepromContents(), std::invalid_argument);
    EXPECT_THROW(CaptureBoard(platform::PciLocation{1, 1, 0}, configuration), std::invalid_argument);
}

TEST_F(BoardCommands, EepromReadsOfTheThreePartsLandInTheStagingBlock)
{
    const MailboxResponse staging = Allocate(4096, 1, 1);
    ASSERT_EQ(staging.Result(), kDspResultSuccess);
    const Eeprom::Contents words = board.Eeprom().Words();
    for (const auto& [offset, count] : {std::pair{0u, 14u}, {14u, 19u}, {0u, 2048u}}) {
        board.WriteDspMemory(staging.WordA(), std::vector<uint8_t>(4096, 0xEE).data(), 4096);
        ASSERT_EQ(Send(kCommandEeprom, offset, {staging.WordA(), count, 0xFFFFFFFE}).Result(), kDspResultSuccess);
        std::vector<uint16_t> staged(2048);
        board.ReadDspMemory(staging.WordA(), staged.data(), 4096);
        for (uint32_t i = 0; i < count; ++i) {
            ASSERT_EQ(staged[i], words[offset + i]) << offset << "+" << i;
        }
        if (count < 2048) {
            EXPECT_EQ(staged[count], 0xEEEE); // nothing past the count
        }
    }
    EXPECT_EQ(Send(kCommandFreeDspMemory, staging.WordB()).Result(), kDspResultSuccess);
}

TEST_F(BoardCommands, EepromWritesTakeTheStagedWordsAndRangesAreChecked)
{
    const uint16_t staged[3] = {0x1111, 0x2222, 0x3333};
    board.WriteDspMemory(0x80200000, staged, sizeof staged);
    ASSERT_EQ(Send(kCommandEeprom, 2045, {0x80200000, 3, 1}).Result(), kDspResultSuccess);
    EXPECT_EQ(board.Eeprom().Word(2045), 0x1111);
    EXPECT_EQ(board.Eeprom().Word(2047), 0x3333);
    EXPECT_EQ(board.Eeprom().Word(13), Eeprom::DefaultContents()[13]); // never recomputed

    EXPECT_EQ(Send(kCommandEeprom, 2046, {0x80200000, 3, 1}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandEeprom, 0xFFFFFFFF, {0x80200000, 2, 0}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(Send(kCommandEeprom, 0, {0xFFFFFFFF, 1, 0}).Result(), kDspErrorBadParameter);
    EXPECT_EQ(board.Eeprom().Word(2046), 0x2222);
}

TEST_F(BoardCommands, SettingsAreStoredAndTheSignatureAnswered)
{
    EXPECT_EQ(Send(kCommandPerformanceParameters, 0xFF80, {1, 2, 3, 4, 5, 6, 7, 0xBAD}).Result(), kDspResultSuccess);
    EXPECT_EQ(commands().PerformanceParameters(), (std::array<uint32_t, 8>{0xFF80, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Send(kCommandAudioConfiguration, 70, {10, 11, 12, 13, 14, 15, 16, 17}).Result(), kDspResultSuccess);
    EXPECT_EQ(commands().AudioConfiguration(), (std::array<uint32_t, 9>{70, 10, 11, 12, 13, 14, 15, 16, 17}));
    // Gain in the byte at +16, channel in the byte at +17; the upper bytes are stale.
    EXPECT_EQ(Send(kCommandAnalogDcGain, 0xDEAD0305).Result(), kDspResultSuccess);
    Send(kCommandAnalogDcGain, 0x00000109);
    EXPECT_EQ(commands().DcGains(), (std::map<uint8_t, uint8_t>{{1, 9}, {3, 5}}));

    EXPECT_EQ(Send(kCommandDcSignature).WordA(), CommandSet::kNoDaughterCard);
    commands().SetDcSignature(0xE7);
    EXPECT_EQ(Send(kCommandDcSignature).WordA(), 0xE7u);
}

TEST_F(BoardCommands, UnknownCommandsAreAnsweredWithTheirOwnCode)
{
    for (uint32_t id : {0u, 11u, 17u, 0xFFFFFFFFu}) {
        const MailboxResponse answer = Send(id, 1, {1, 2});
        EXPECT_EQ(answer.Result(), kDspErrorUnknownCommand) << id;
        EXPECT_EQ(answer.WordA(), 0u);
    }
}

TEST_F(BoardCommands, ARestartDropsBlocksAndSettingsButNotTheFpgaOrTheEeprom)
{
    Configure();
    board.Eeprom().SetWord(100, 0x4242);
    commands().SetDcSignature(7);
    Allocate(0x100);
    Send(kCommandPerformanceParameters, 1);
    board.Registers().Write32(kHostToDspControl, kHostToDspWarmReset);
    EXPECT_TRUE(commands().Allocations().empty());
    EXPECT_FALSE(commands().PerformanceParameters());
    testing::BootMainFirmware(board);
    EXPECT_TRUE(board.Fpga().Configured());
    EXPECT_EQ(board.Eeprom().Word(100), 0x4242);
    EXPECT_EQ(Send(kCommandDcSignature).WordA(), 7u);
    EXPECT_EQ(Allocate(0x100).WordB(), 1u); // handles start again
}

} // namespace
} // namespace board
