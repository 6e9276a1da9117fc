// The DSP host port against the simulated board: the paging rule as the board's access log shows
// it, refused ranges, validated register writes in each width, the bit update, the two request
// forms of the private memory requests, and the EMIF programming order.
#include "DspBoardFixture.h"

namespace dsptest {
namespace {

using HostPortTest = DspBoardTest;

TEST_F(HostPortTest, ReadInExternalMemorySwitchesToItsPageAndBackToZero)
{
    const uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};
    board_->WriteDspMemory(0x80000004, bytes, sizeof(bytes));
    // External memory answers only once its interface is programmed.
    ASSERT_EQ(manager_->SetupEmif(), STATUS_SUCCESS);
    board_->ClearAccessLog();

    UCHAR read[4] = {};
    ASSERT_EQ(manager_->ReadDspMemory(read, 0x80000004, 4), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(read, bytes, 4), 0);
    const auto log = Without(Coalesced(Log()), {AccessKind::RegisterRead});
    std::vector<AccessRecord> expected;
    AppendPage(expected, 0x200);
    expected.push_back(WinRead(0x80000004, 4));
    AppendPage(expected, 0);
    EXPECT_EQ(log, expected) << Describe(log);
    EXPECT_EQ(board_->RegisterValue(board::kPageRegister), 0u);

    // A second read in the same page switches again: the register went back to 0 in between.
    board_->ClearAccessLog();
    ASSERT_EQ(manager_->ReadDspMemory(read, 0x80000010, 4), STATUS_SUCCESS);
    EXPECT_EQ(CountOf(Log(), AccessKind::PageSwitch, 0, 0x200), 1u);
    EXPECT_EQ(CountOf(Log(), AccessKind::PageSwitch, 0, 0), 1u);
}

TEST_F(HostPortTest, AccessInPageZeroWritesThePageRegisterOnlyToResetIt)
{
    UCHAR read[8];
    ASSERT_EQ(manager_->ReadDspMemory(read, 0x100, sizeof(read)), STATUS_SUCCESS);
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::RegisterWrite, board::kPageRegister), 1u) << Describe(log);
    EXPECT_EQ(CountOf(log, AccessKind::PageSwitch, 0, 0), 1u);
}

TEST_F(HostPortTest, RangesCrossingAPageOrWrappingAreRefusedUntouched)
{
    UCHAR buffer[8] = {};
    EXPECT_EQ(manager_->ReadDspMemory(buffer, 0x803FFFFE, 4), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->WriteDspMemory(buffer, 0x003FFFFC, 8), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->ProgramDspMemory(buffer, 0xFFFFFFFE, 4), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->ZeroDspMemory(0x00100000, 0x00300001), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->ReadDspMemory(nullptr, 0, 4), STATUS_INVALID_PARAMETER);
    // The last bytes of a page are still one page.
    EXPECT_EQ(manager_->WriteDspMemory(buffer, 0x003FFFFC, 4), STATUS_SUCCESS);
    const auto log = Log();
    EXPECT_EQ(CountOf(log, AccessKind::WindowWrite), 1u) << Describe(log);
    EXPECT_EQ(CountOf(log, AccessKind::WindowRead), 0u);
    // Length 0 touches nothing.
    board_->ClearAccessLog();
    EXPECT_EQ(manager_->ReadDspMemory(buffer, 0x803FFFFF, 0), STATUS_SUCCESS);
    EXPECT_TRUE(Log().empty());
}

TEST_F(HostPortTest, ProgramVerifiesAndReportsAStuckBit)
{
    std::vector<UCHAR> data(1031);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<UCHAR>(i * 7 + 3);
    // An odd address and length: words then the tail bytes.
    ASSERT_EQ(manager_->ProgramDspMemory(data.data(), 0x1001, static_cast<ULONG>(data.size())), STATUS_SUCCESS);
    std::vector<uint8_t> stored(data.size());
    board_->ReadDspMemory(0x1001, stored.data(), stored.size());
    EXPECT_EQ(std::memcmp(stored.data(), data.data(), data.size()), 0);

    board_->SetStuckBits(0x1001 + 1000, 0x80, false);
    data[1000] |= 0x80;
    EXPECT_EQ(manager_->ProgramDspMemory(data.data(), 0x1001, static_cast<ULONG>(data.size())),
              static_cast<NTSTATUS>(0xC0071049L));
    const auto events = Events(0xC0071049);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].inserts.size(), 2u);
    EXPECT_EQ(events[0].inserts[0], u"00001001");
    EXPECT_EQ(events[0].inserts[1], u"1031");
    EXPECT_EQ(board_->RegisterValue(board::kPageRegister), 0u);
}

TEST_F(HostPortTest, ZeroAndWriteAndReadMoveExactlyTheirBytes)
{
    std::vector<uint8_t> ones(64, 0xEE);
    board_->WriteDspMemory(0x2000, ones.data(), ones.size());
    ASSERT_EQ(manager_->ZeroDspMemory(0x2001, 61), STATUS_SUCCESS);
    std::vector<uint8_t> after(64);
    board_->ReadDspMemory(0x2000, after.data(), after.size());
    EXPECT_EQ(after[0], 0xEE);
    EXPECT_EQ(after[1], 0);
    EXPECT_EQ(after[61], 0);
    EXPECT_EQ(after[62], 0xEE);

    const UCHAR word[3] = {1, 2, 3};
    ASSERT_EQ(manager_->WriteDspMemory(word, 0x2010, 3), STATUS_SUCCESS);
    UCHAR back[3] = {};
    ASSERT_EQ(manager_->ReadDspMemory(back, 0x2010, 3), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(back, word, 3), 0);
}

TEST_F(HostPortTest, ValidatedRegisterWritesInEachWidth)
{
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifCectl2, ULONG{0x12345678}, true), STATUS_SUCCESS);
    EXPECT_EQ(board_->RegisterValue(board::kEmifCectl2), 0x12345678u);
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifCectl2 + 2, USHORT{0xBEEF}, true), STATUS_SUCCESS);
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifCectl2 + 1, UCHAR{0xAA}, true), STATUS_SUCCESS);
    EXPECT_EQ(board_->RegisterValue(board::kEmifCectl2), 0xBEEFAA78u);
    const UCHAR run[4] = {1, 2, 3, 4};
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifCesec1, run, 4, true), STATUS_SUCCESS);
    EXPECT_EQ(board_->RegisterValue(board::kEmifCesec1), 0x04030201u);

    ULONG value = 0;
    EXPECT_EQ(manager_->ReadDspRegisterValue(board::kEmifCesec1, &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x04030201u);
    USHORT half = 0;
    EXPECT_EQ(manager_->ReadDspRegisterValue(board::kEmifCesec1 + 2, &half), STATUS_SUCCESS);
    EXPECT_EQ(half, 0x0403u);
    UCHAR bytes[4] = {};
    EXPECT_EQ(manager_->ReadDspRegisterValue(board::kEmifCesec1, bytes, 4), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(bytes, run, 4), 0);
}

TEST_F(HostPortTest, ValidatedWriteToARegisterThatIgnoresWritesFailsAndLeavesIt)
{
    ASSERT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, ULONG{0x5555}, false), STATUS_SUCCESS);
    board_->SetRegisterIgnoresWrites(board::kEmifSdext);
    board_->ClearAccessLog();
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, USHORT{0x1234}, true), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, UCHAR{0x12}, true), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, ULONG{0x1234}, true), STATUS_UNSUCCESSFUL);
    const UCHAR run[2] = {9, 9};
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, run, 2, true), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(board_->RegisterValue(board::kEmifSdext), 0x5555u);
    // One write each, never a second one to put anything back.
    EXPECT_EQ(CountOf(Log(), AccessKind::RegisterWrite), 5u) << Describe(Log());
    // Without validation the same write reports success.
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kEmifSdext, USHORT{0x1234}, false), STATUS_SUCCESS);
}

TEST_F(HostPortTest, RegisterAccessOutsideTheRangeIsRefused)
{
    ULONG value = 0;
    EXPECT_EQ(manager_->ReadDspRegisterValue(board::kRegisterRangeSize - 2, &value), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(manager_->WriteDspRegisterValue(0xFFFFFFFF, UCHAR{1}, false), STATUS_INVALID_PARAMETER);
    const UCHAR run[8] = {};
    EXPECT_EQ(manager_->WriteDspRegisterValue(board::kRegisterRangeSize - 4, run, 8, false), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(Log().empty());
}

TEST_F(HostPortTest, BitUpdateReadsModifiesAndWrites)
{
    ASSERT_EQ(manager_->WriteDspRegisterValue(board::kEmifCectl3, ULONG{0x0F0F}, false), STATUS_SUCCESS);
    board_->ClearAccessLog();
    EXPECT_EQ(manager_->UpdateDspRegisterBits(board::kEmifCectl3, 0x30000, true), STATUS_SUCCESS);
    EXPECT_EQ(board_->RegisterValue(board::kEmifCectl3), 0x30F0Fu);
    EXPECT_EQ(manager_->UpdateDspRegisterBits(board::kEmifCectl3, 0x0101, false), STATUS_SUCCESS);
    EXPECT_EQ(board_->RegisterValue(board::kEmifCectl3), 0x30E0Eu);
    const std::vector<AccessRecord> expected = {
        {AccessKind::RegisterRead, board::kEmifCectl3, 4, 0x0F0F, 0}, RegWrite(board::kEmifCectl3, 0x30F0F),
        {AccessKind::RegisterRead, board::kEmifCectl3, 4, 0x30F0F, 0}, RegWrite(board::kEmifCectl3, 0x30E0E)};
    EXPECT_EQ(Log(), expected) << Describe(Log());
}

// A "WRITE DSP MEMORY" request: header, then the data.
std::vector<UCHAR> WriteRequest(ULONG address, ULONG mode, const std::vector<UCHAR>& data)
{
    std::vector<UCHAR> request(kDspMemoryWriteDataOffset + data.size());
    const DspMemoryWriteRequestHeader header{address, mode, static_cast<ULONG>(data.size())};
    std::memcpy(request.data(), &header, sizeof(header));
    std::memcpy(request.data() + kDspMemoryWriteDataOffset, data.data(), data.size());
    return request;
}

std::vector<UCHAR> ReadRequest(ULONG address, ULONG length)
{
    std::vector<UCHAR> request(sizeof(DspMemoryReadRequest));
    const DspMemoryReadRequest header{address, length};
    std::memcpy(request.data(), &header, sizeof(header));
    return request;
}

TEST_F(HostPortTest, WriteAndReadRequestFormsReachTheSameBytes)
{
    const std::vector<UCHAR> data = {9, 8, 7, 6, 5, 4, 3};
    auto request = WriteRequest(0x3000, kDspMemoryWriteVerify, data);
    UCHAR result[8] = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
    ASSERT_EQ(manager_->WriteDspMemoryRequest(request.data(), static_cast<ULONG>(request.size()), result,
                                              sizeof(result)),
              STATUS_SUCCESS);
    // Success leaves the result header to the request's handler.
    EXPECT_EQ(result[0], 0xCC);

    auto read = ReadRequest(0x3000, 7);
    std::vector<UCHAR> out(kDspMemoryReadDataOffset + 7, 0xCC);
    ASSERT_EQ(manager_->ReadDspMemoryRequest(read.data(), static_cast<ULONG>(read.size()), out.data(),
                                             static_cast<ULONG>(out.size())),
              STATUS_SUCCESS);
    EXPECT_EQ(std::vector<UCHAR>(out.begin() + 8, out.end()), data);
    uint8_t stored[7];
    board_->ReadDspMemory(0x3000, stored, 7);
    EXPECT_EQ(std::memcmp(stored, data.data(), 7), 0);
}

TEST_F(HostPortTest, VerifiedWriteRequestReportsTheMismatchAddress)
{
    board_->SetStuckBits(0x4002, 0x01, true);
    const std::vector<UCHAR> data = {0, 0, 0, 0};
    auto request = WriteRequest(0x4000, kDspMemoryWriteVerify, data);
    DspMemoryResultHeader result{};
    EXPECT_EQ(manager_->WriteDspMemoryRequest(request.data(), static_cast<ULONG>(request.size()),
                                              reinterpret_cast<UCHAR*>(&result), sizeof(result)),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(result.status, kDspMemoryCompareFailed);
    EXPECT_EQ(result.address, 0x4000u);
    // Another mode does not compare.
    request = WriteRequest(0x4000, 1, data);
    result = {};
    EXPECT_EQ(manager_->WriteDspMemoryRequest(request.data(), static_cast<ULONG>(request.size()),
                                              reinterpret_cast<UCHAR*>(&result), sizeof(result)),
              STATUS_SUCCESS);
    EXPECT_EQ(result.status, 0u);
}

TEST_F(HostPortTest, RequestFormsRefuseBuffersTooShortBeforeTouchingTheBoard)
{
    UCHAR result[16] = {};
    auto write = WriteRequest(0x3000, 2, {1, 2, 3, 4});
    // Header cut short; data length running past the bytes given; the length word near 2^32.
    EXPECT_EQ(manager_->WriteDspMemoryRequest(write.data(), 11, result, sizeof(result)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->WriteDspMemoryRequest(write.data(), 15, result, sizeof(result)), STATUS_INVALID_PARAMETER);
    const ULONG huge = 0xFFFFFFF8;
    std::memcpy(write.data() + 8, &huge, 4);
    EXPECT_EQ(manager_->WriteDspMemoryRequest(write.data(), 16, result, sizeof(result)), STATUS_INVALID_PARAMETER);
    write = WriteRequest(0x3000, 2, {1, 2, 3, 4});
    EXPECT_EQ(manager_->WriteDspMemoryRequest(write.data(), 16, result, 7), STATUS_BUFFER_TOO_SMALL);

    auto read = ReadRequest(0x3000, 8);
    EXPECT_EQ(manager_->ReadDspMemoryRequest(read.data(), 7, result, sizeof(result)), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(manager_->ReadDspMemoryRequest(read.data(), 8, result, 15), STATUS_BUFFER_TOO_SMALL);
    // length + 8 would wrap in 32 bits.
    read = ReadRequest(0x3000, 0xFFFFFFF8);
    EXPECT_EQ(manager_->ReadDspMemoryRequest(read.data(), 8, result, sizeof(result)), STATUS_BUFFER_TOO_SMALL);
    // A range across a page is refused by the window.
    read = ReadRequest(0x003FFFFC, 8);
    EXPECT_EQ(manager_->ReadDspMemoryRequest(read.data(), 8, result, sizeof(result)), STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(Log().empty()) << Describe(Log());
}

TEST_F(HostPortTest, SetupEmifWritesTheDriversValuesInItsOrder)
{
    ASSERT_EQ(manager_->SetupEmif(), STATUS_SUCCESS);
    // The driver's defaults for the twelve values.
    const std::vector<AccessRecord> expected = {
        RegWrite(0x00, 0x521B8),     RegWrite(0x08, 0xF0FFC3D3), RegWrite(0x04, 0xF0FFC3D3),
        RegWrite(0x10, 0xF0FFC3D3),  RegWrite(0x14, 0xF0FFC3D3), RegWrite(0x1C, 0x81B),
        RegWrite(0x20, 0x54E5B),     RegWrite(0x48, 2),          RegWrite(0x44, 2),
        RegWrite(0x50, 2),           RegWrite(0x54, 2),          RegWrite(0x18, 0x53227000),
        RegWrite(0x18, 0x53227000),  RegWrite(0x18, 0x52227000)};
    EXPECT_EQ(Log(), expected) << Describe(Log());
    EXPECT_EQ(DebugLinesWith("DSPREG_EMIFA_SDCTL=0x53227000"), 1u);
    EXPECT_EQ(DebugLinesWith("DSPREG_EMIFA_SDCTL=0x52227000"), 1u);

    board_->ClearAccessLog();
    manager_->OutputEmifSettings();
    const std::vector<uint32_t> order = {0x00, 0x08, 0x04, 0x10, 0x14, 0x1C, 0x20, 0x48, 0x44, 0x50, 0x54, 0x18};
    const auto log = Log();
    ASSERT_EQ(log.size(), order.size()) << Describe(log);
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(log[i].kind, AccessKind::RegisterRead);
        EXPECT_EQ(log[i].address, order[i]);
    }
    EXPECT_EQ(DebugLinesWith("DSPREG_EMIFA_CESEC1 = 0x00000002"), 1u);
    EXPECT_EQ(DebugLinesWith("DSPREG_EMIFA_SDCTL = 0x52227000"), 1u);
}

// The host port works with the settings the device handed it at initialisation, whatever the
// driver holds: another board's EMIF values, and no hardware although the driver says there is.
class HandedSettingsTest : public DspBoardTest {
protected:
    DspHostSettings Settings() const override
    {
        DspHostSettings settings = DspBoardTest::Settings();
        settings.hardwareInstalled = false;
        settings.emifGblctl = 0x12378;
        for (ULONG i = 0; i < 4; ++i) {
            settings.emifCectl[i] = 0x10 + i;
            settings.emifCesec[i] = 0x20 + i;
        }
        settings.emifSdtim = 0x31;
        settings.emifSdext = 0x32;
        settings.emifSdctl = 0x41000000;
        return settings;
    }
};

TEST_F(HandedSettingsTest, SetupEmifAndWarmResetUseTheHandedValues)
{
    ASSERT_TRUE(driver()->GetHardwareInstalled());
    ASSERT_EQ(manager_->SetupEmif(), STATUS_SUCCESS);
    const std::vector<AccessRecord> expected = {
        RegWrite(0x00, 0x12378),    RegWrite(0x08, 0x10),      RegWrite(0x04, 0x11),
        RegWrite(0x10, 0x12),       RegWrite(0x14, 0x13),      RegWrite(0x1C, 0x31),
        RegWrite(0x20, 0x32),       RegWrite(0x48, 0x20),      RegWrite(0x44, 0x21),
        RegWrite(0x50, 0x22),       RegWrite(0x54, 0x23),      RegWrite(0x18, 0x41000000),
        RegWrite(0x18, 0x41000000), RegWrite(0x18, 0x40000000)};
    EXPECT_EQ(Log(), expected) << Describe(Log());
    EXPECT_EQ(manager_->GetSettings().emifGblctl, 0x12378u);

    board_->ClearAccessLog();
    EXPECT_EQ(manager_->WarmReset(), STATUS_SUCCESS);
    EXPECT_EQ(CountOf(Log(), AccessKind::WarmReset), 0u) << Describe(Log());
}

} // namespace
} // namespace dsptest
