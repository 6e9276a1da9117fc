// The private device-control requests from user mode: DeviceIoControl on the board's video capture
// filter through the machine's I/O manager to the driver file, against the simulated board, whose
// access log and command log show what reached it. The exact bytes, statuses and Win32 errors the
// caller sees; the buffer and range checks before anything is touched; the host buffers and their
// cookies; the queue's cancellation, the stop with requests queued, and a late DSP answer.
#include "../lifecycle/LifeCycleFixture.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "shared/ksrecords.h"
#include "standin/debugger.h"
#include "standin/system.h"
#include "testsupport/WaitUntil.h"
#include "um/windows.h"

namespace lifecycletest {
namespace {

constexpr DWORD kGetDspMemoryInfo = 0x226002;
constexpr DWORD kReadDspMemory = 0x226006;
constexpr DWORD kWriteDspMemory = 0x22A009;
constexpr DWORD kReadDspRegister = 0x22600E;
constexpr DWORD kWriteDspRegister = 0x22A00D;
constexpr DWORD kWaitForDspInterrupt = 0x226012;
constexpr DWORD kReadFpgaRegister = 0x226016;
constexpr DWORD kUnused807 = 0x22A01E;
constexpr DWORD kResetDsp = 0x22A022;
constexpr DWORD kAllocateMemory = 0x226026;
constexpr DWORD kFreeMemory = 0x22602A;
constexpr DWORD kDspCopyMemory = 0x22602E;
constexpr DWORD kReadDspEeprom = 0x226032;
constexpr DWORD kWriteDspEeprom = 0x22A035;
constexpr DWORD kReadDeviceConfig = 0x22A03A;

// Win32 errors of the statuses the requests complete with.
constexpr DWORD kErrorInvalidParameter = 87; // STATUS_INVALID_PARAMETER
constexpr DWORD kErrorAborted = 995;         // STATUS_CANCELLED
constexpr DWORD kErrorGenFailure = 31;       // STATUS_UNSUCCESSFUL
constexpr DWORD kErrorNotReady = 21;         // STATUS_DEVICE_NOT_READY
constexpr DWORD kErrorBadCommand = 22;       // STATUS_INVALID_DEVICE_STATE
constexpr DWORD kErrorNoSystemResources = 1450; // STATUS_INSUFFICIENT_RESOURCES

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t offset = 0;
    for (uint32_t word : words) {
        std::memcpy(bytes.data() + offset, &word, 4);
        offset += 4;
    }
    return bytes;
}

using testsupport::WaitUntil;

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t index)
{
    uint32_t value;
    std::memcpy(&value, bytes.data() + 4 * index, 4);
    return value;
}

struct Reply {
    bool ok = false;
    DWORD error = 0;
    DWORD bytes = 0;
};

class PrivateRequestTest : public LifeCycleTest {
protected:
    void SetUp() override
    {
        LifeCycleTest::SetUp();
        Boot();
        ASSERT_EQ(Load(), STATUS_SUCCESS);
        board_ = &MakeBoard();
        ASSERT_EQ(machine_->Plug(*board_), STATUS_SUCCESS);
        filter_ = OpenFilter();
        ASSERT_NE(filter_, INVALID_HANDLE_VALUE);
        standin::EventLogClear();
    }
    void TearDown() override
    {
        standin::ReleaseHeldSystemThreads();
        if (filter_ != INVALID_HANDLE_VALUE)
            CloseHandle(filter_);
        LifeCycleTest::TearDown();
    }

    static HANDLE OpenFilter()
    {
        ULONG length = 0;
        CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_VIDEO, nullptr, CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
        std::vector<WCHAR> list(length + 1);
        if (CM_Get_Device_Interface_ListW(&KSCATEGORY_VIDEO, nullptr, list.data(), static_cast<ULONG>(list.size()),
                                          CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS ||
            list[0] == 0)
            return INVALID_HANDLE_VALUE;
        return CreateFileW(list.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    Reply Send(DWORD code, std::vector<uint8_t> input, std::vector<uint8_t>* output)
    {
        Reply reply;
        reply.ok = DeviceIoControl(filter_, code, input.empty() ? nullptr : input.data(),
                                   static_cast<DWORD>(input.size()),
                                   output == nullptr || output->empty() ? nullptr : output->data(),
                                   output == nullptr ? 0 : static_cast<DWORD>(output->size()), &reply.bytes,
                                   nullptr) != FALSE;
        reply.error = reply.ok ? 0 : GetLastError();
        return reply;
    }

    // Window accesses beyond the mailbox (which the command thread reads whenever the DSP calls).
    size_t WindowAccesses() const
    {
        size_t count = 0;
        for (const auto& record : board_->AccessLog())
            if ((record.kind == board::AccessKind::WindowRead || record.kind == board::AccessKind::WindowWrite) &&
                record.address >= 0x20 + 232)
                ++count;
        return count;
    }
    size_t RegisterWrites() const
    {
        size_t count = 0;
        for (const auto& record : board_->AccessLog())
            if (record.kind == board::AccessKind::RegisterWrite &&
                (record.address < 0x41FFF0 || record.address > 0x41FFF8))
                ++count;
        return count;
    }
    // The tag of the oldest held command `id`, waiting until the DSP has taken one.
    uint64_t HeldTag(uint32_t id) const
    {
        uint64_t tag = 0;
        EXPECT_TRUE(WaitUntil([&] {
            for (const auto& command : board_->Mailbox().HeldCommands())
                if (command.id == id) {
                    tag = command.tag;
                    return true;
                }
            return false;
        }));
        return tag;
    }
    static bool DebugOutputHas(const std::string& text)
    {
        for (const std::string& line : standin::DebugOutput())
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
    size_t CommandsWithId(uint32_t id) const
    {
        size_t count = 0;
        for (const auto& command : board_->Mailbox().CommandLog())
            if (command.id == id)
                ++count;
        return count;
    }

    // A host buffer of `length` bytes: bus address low, high and cookie.
    std::vector<uint8_t> AllocateHost(uint32_t length)
    {
        std::vector<uint8_t> output(16);
        const Reply reply = Send(kAllocateMemory, Words({0, 0, length, 0, 0}), &output);
        EXPECT_TRUE(reply.ok) << reply.error;
        EXPECT_EQ(reply.bytes, 16u);
        EXPECT_EQ(WordAt(output, 0), 1u);
        return output;
    }

    board::CaptureBoard* board_ = nullptr;
    HANDLE filter_ = INVALID_HANDLE_VALUE;
};

TEST_F(PrivateRequestTest, MemoryInfoAnswersItsConstantsAndChecksTheOutputExactly)
{
    std::vector<uint8_t> output(12, 0xCC);
    Reply reply = Send(kGetDspMemoryInfo, {}, &output);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 12u);
    EXPECT_EQ(output, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0x80, 0}));

    std::vector<uint8_t> longer(13);
    reply = Send(kGetDspMemoryInfo, {}, &longer);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, 0x107Fu);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(longer, 0), 0x1201u);
    const auto events = Events(0xC007107F);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].inserts, (std::vector<std::u16string>{u"13", u"12"}));

    // No output buffer at all.
    reply = Send(kGetDspMemoryInfo, {}, nullptr);
    EXPECT_EQ(reply.error, 0x107Du);
    // A request that needs an input and has none.
    std::vector<uint8_t> eight(8);
    reply = Send(kReadFpgaRegister, {}, &eight);
    EXPECT_EQ(reply.error, 0x107Eu);
    EXPECT_EQ(Events(0xC007107E).size(), 1u);
}

// A write's record is 13 bytes: address, mode, length and the first data byte; its second buffer,
// length + 7 bytes, takes the result words over its first 8 bytes and brings the other length - 1
// data bytes after them.
std::vector<uint8_t> WriteRecord(uint32_t address, uint32_t mode, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> record = Words({address, mode, static_cast<uint32_t>(data.size())});
    record.push_back(data.empty() ? 0 : data[0]);
    return record;
}
std::vector<uint8_t> WriteBuffer(const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> buffer(data.empty() ? 8 : data.size() + 7, 0xCC);
    for (size_t i = 1; i < data.size(); ++i)
        buffer[7 + i] = data[i];
    return buffer;
}

TEST_F(PrivateRequestTest, MemoryWrittenWithVerifyReadsBackAndBadRangesTouchNothing)
{
    std::vector<uint8_t> data;
    for (uint8_t i = 0; i < 16; ++i)
        data.push_back(static_cast<uint8_t>(0xA0 + i));
    std::vector<uint8_t> request = WriteRecord(0x80001000, 2, data);
    ASSERT_EQ(request.size(), 13u);
    std::vector<uint8_t> result = WriteBuffer(data);
    ASSERT_EQ(result.size(), 16u + 7u);
    Reply reply = Send(kWriteDspMemory, request, &result);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 23u);
    EXPECT_EQ(std::vector<uint8_t>(result.begin(), result.begin() + 8), Words({1, 0}));
    EXPECT_TRUE(std::equal(result.begin() + 8, result.end(), data.begin() + 1)) << "the data left as it came";

    std::vector<uint8_t> read(24, 0xCC);
    reply = Send(kReadDspMemory, Words({0x80001000, 16}), &read);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 24u);
    EXPECT_EQ(WordAt(read, 0), 1u);
    EXPECT_EQ(WordAt(read, 1), 0u);
    EXPECT_TRUE(std::equal(read.begin() + 8, read.end(), data.begin()));
    uint8_t onBoard[16];
    board_->ReadDspMemory(0x80001000, onBoard, sizeof(onBoard));
    EXPECT_TRUE(std::equal(onBoard, onBoard + 16, data.begin()));

    // One byte: the record carries it all, the second buffer is the result's 8 bytes.
    std::vector<uint8_t> eight(8, 0xCC);
    reply = Send(kWriteDspMemory, WriteRecord(0x80001100, 2, {0x5A}), &eight);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 8u);
    EXPECT_EQ(eight, Words({1, 0}));
    EXPECT_EQ(board_->ReadDspWord(0x80001100) & 0xFF, 0x5Au);

    // A length whose output size wraps 32 bits, a range across a 4 MB page, a wrapping range: refused
    // before the window is touched.
    board_->ClearAccessLog();
    std::vector<uint8_t> small(8);
    reply = Send(kReadDspMemory, Words({0x80000000, 0xFFFFFFF8}), &small);
    EXPECT_EQ(reply.error, kErrorInvalidParameter);
    EXPECT_EQ(reply.bytes, 0u);
    std::vector<uint8_t> sixteen(24);
    EXPECT_EQ(Send(kReadDspMemory, Words({0x803FFFF8, 16}), &sixteen).error, kErrorInvalidParameter);
    EXPECT_EQ(Send(kReadDspMemory, Words({0xFFFFFFF8, 16}), &sixteen).error, kErrorInvalidParameter);
    std::vector<uint8_t> crossing = WriteRecord(0x803FFFF8, 0, data);
    std::vector<uint8_t> crossingData = WriteBuffer(data);
    EXPECT_EQ(Send(kWriteDspMemory, crossing, &crossingData).error, kErrorInvalidParameter);
    EXPECT_EQ(WindowAccesses(), 0u);

    // The record is exactly 13 bytes (the header and all the data in one record is refused), the
    // second buffer exactly length + 7.
    std::vector<uint8_t> whole = Words({0x80001000, 2, 16});
    whole.insert(whole.end(), data.begin(), data.end());
    result = WriteBuffer(data);
    reply = Send(kWriteDspMemory, whole, &result);
    EXPECT_EQ(reply.error, 0x1080u);
    EXPECT_EQ(WordAt(result, 0), 0x1200u);
    std::vector<uint8_t> resultOnly(8);
    EXPECT_EQ(Send(kWriteDspMemory, request, &resultOnly).error, 0x107Fu);
    EXPECT_EQ(WordAt(resultOnly, 0), 0x1201u);
    std::vector<uint8_t> longer = WriteBuffer(data);
    longer.push_back(0);
    EXPECT_EQ(Send(kWriteDspMemory, request, &longer).error, 0x107Fu);
    // No data at all: nothing to write, and no room for the result.
    std::vector<uint8_t> seven(7);
    EXPECT_EQ(Send(kWriteDspMemory, WriteRecord(0x80001000, 2, {}), &seven).error, kErrorInvalidParameter);
    EXPECT_EQ(WindowAccesses(), 0u);
}

TEST_F(PrivateRequestTest, RegistersAreReadAndWrittenByWidthCodeInsideTheirRange)
{
    // Code 3 with count 2: 4 + 2 * 2 output bytes, one 16-bit value read.
    board_->ClearAccessLog();
    std::vector<uint8_t> output(8, 0xCC);
    Reply reply = Send(kReadDspRegister, Words({0x04, 3, 2}), &output);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 8u);
    EXPECT_EQ(WordAt(output, 0), 1u);
    uint16_t value;
    std::memcpy(&value, output.data() + 4, 2);
    EXPECT_EQ(value, board_->RegisterValue(0x04) & 0xFFFF);
    size_t reads = 0;
    for (const auto& record : board_->AccessLog())
        if (record.kind == board::AccessKind::RegisterRead && record.address == 0x04) {
            ++reads;
            EXPECT_EQ(record.width, 2u);
        }
    EXPECT_EQ(reads, 1u);
    std::vector<uint8_t> six(6);
    EXPECT_EQ(Send(kReadDspRegister, Words({0x04, 3, 2}), &six).error, 0x107Fu);

    // Width code 2 writes one byte; the validated write reads it back.
    board_->ClearAccessLog();
    std::vector<uint8_t> write = Words({0x10, 2, 2, 1});
    write.push_back(0x5A);
    std::vector<uint8_t> status(4);
    reply = Send(kWriteDspRegister, write, &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
    EXPECT_EQ(board_->RegisterValue(0x10) & 0xFF, 0x5Au);
    bool byteWrite = false;
    for (const auto& record : board_->AccessLog())
        if (record.kind == board::AccessKind::RegisterWrite && record.address == 0x10)
            byteWrite = record.width == 1;
    EXPECT_TRUE(byteWrite);

    // Past the mapped range (8 MB on this board): refused, nothing read or written.
    board_->ClearAccessLog();
    std::vector<uint8_t> word(8);
    EXPECT_EQ(Send(kReadDspRegister, Words({0x7FFFFE, 4, 1}), &word).error, kErrorInvalidParameter);
    EXPECT_EQ(Send(kReadDspRegister, Words({0xFFFFFFFF, 4, 1}), &word).error, kErrorInvalidParameter);
    std::vector<uint8_t> run(4 + 16);
    EXPECT_EQ(Send(kReadDspRegister, Words({0x7FFFF8, 0, 16}), &run).error, kErrorInvalidParameter);
    std::vector<uint8_t> far = Words({0x800000, 0, 4, 1});
    far.resize(20);
    EXPECT_EQ(Send(kWriteDspRegister, far, &status).error, kErrorInvalidParameter);
    // (The interrupt routine and the mailbox's doorbell keep to the host-port registers.)
    for (const auto& record : board_->AccessLog())
        EXPECT_TRUE((record.kind != board::AccessKind::RegisterRead && record.kind != board::AccessKind::RegisterWrite) ||
                    (record.address >= 0x41FFF0 && record.address <= 0x41FFF8))
            << board::Describe(record);

    // Any other width code does nothing and reports 1.
    std::vector<uint8_t> none(4);
    reply = Send(kReadDspRegister, Words({0x04, 9, 5}), &none);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(WordAt(none, 0), 1u);
}

TEST_F(PrivateRequestTest, FpgaEepromAndConfigurationComeFromTheBoard)
{
    std::vector<uint8_t> fpga(8);
    Reply reply = Send(kReadFpgaRegister, Words({34}), &fpga);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(fpga, Words({1, 0xE0}));

    std::vector<uint8_t> eeprom(4100);
    reply = Send(kReadDspEeprom, Words({2}), &eeprom);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 4100u);
    EXPECT_EQ(WordAt(eeprom, 0), 1u);
    for (uint32_t i = 0; i < 2048; ++i) {
        uint16_t word;
        std::memcpy(&word, eeprom.data() + 4 + 2 * i, 2);
        ASSERT_EQ(word, board_->Eeprom().Word(i)) << "word " << i;
    }
    EXPECT_EQ(eeprom[4] | eeprom[5] << 8, 0x7A1E);
    // Part 1 puts words 14 to 32 in their place in the image and nothing anywhere else.
    std::vector<uint8_t> part1(4100, 0);
    reply = Send(kReadDspEeprom, Words({1}), &part1);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 4100u);
    EXPECT_EQ(WordAt(part1, 0), 1u);
    for (uint32_t i = 0; i < 2048; ++i) {
        uint16_t word;
        std::memcpy(&word, part1.data() + 4 + 2 * i, 2);
        ASSERT_EQ(word, i >= 14 && i <= 32 ? board_->Eeprom().Word(i) : 0) << "word " << i;
    }

    // Part 0 with words 0 to 12 = 1 to 13: word 13 becomes the check word, and the device's copy
    // (its configuration) follows.
    std::vector<uint8_t> image = Words({0});
    image.resize(4100);
    uint16_t check = 0xAAAA;
    for (uint16_t i = 0; i < 13; ++i) {
        const uint16_t word = i + 1;
        std::memcpy(image.data() + 4 + 2 * i, &word, 2);
        check ^= word;
    }
    std::vector<uint8_t> status(4);
    reply = Send(kWriteDspEeprom, image, &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
    EXPECT_EQ(board_->Eeprom().Word(13), check);
    EXPECT_EQ(board_->Eeprom().Word(12), 13u);
    EXPECT_EQ(board_->Eeprom().Word(14), 'T') << "part 0 leaves the serial number";

    std::vector<uint8_t> config(632);
    reply = Send(kReadDeviceConfig, {}, &config);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 632u);
    EXPECT_EQ(WordAt(config, 0), 1u);
    EXPECT_EQ(WordAt(config, 1 + 6), 2u); // driver version 2.1.62.0 at 24
    EXPECT_EQ(WordAt(config, 1 + 8), 62u);
    EXPECT_EQ(config[4 + 50] | config[4 + 51] << 8, 1) << "EEPROM word 0 as now written";
    EXPECT_EQ(config[4 + 76] | config[4 + 77] << 8, check);
    EXPECT_EQ(config[4 + 78], 'T');
    EXPECT_EQ(config[4 + 116], 'T');
    EXPECT_EQ(config[4 + 48], 1) << "instance id";
}

TEST_F(PrivateRequestTest, TheStartedBoardsConfigurationNamesItsLocationNumberAndEeprom)
{
    // The board sits on PCI bus 1 as device 0, function 0, and was numbered 1.
    std::vector<uint8_t> reply(632, 0xEE);
    const Reply sent = Send(kReadDeviceConfig, {}, &reply);
    ASSERT_TRUE(sent.ok) << sent.error;
    ASSERT_EQ(sent.bytes, 632u);
    EXPECT_EQ(WordAt(reply, 0), 1u);
    const std::vector<uint8_t> record(reply.begin() + 4, reply.end());
    auto u16 = [&record](size_t offset) { return static_cast<uint16_t>(record[offset] | record[offset + 1] << 8); };
    for (size_t i = 0; i < 24; ++i)
        ASSERT_EQ(record[i], 0) << "header byte " << i;
    EXPECT_EQ(WordAt(record, 6), 2u);
    EXPECT_EQ(WordAt(record, 7), 1u);
    EXPECT_EQ(WordAt(record, 8), 62u);
    EXPECT_EQ(WordAt(record, 9), 0u);
    EXPECT_EQ(u16(40), 1u) << "model";
    EXPECT_EQ(u16(42), 1u) << "PCI bus";
    EXPECT_EQ(u16(44), 0u) << "PCI device";
    EXPECT_EQ(u16(46), 0u) << "PCI function";
    EXPECT_EQ(u16(48), 1u) << "instance id";
    // EEPROM bytes 0 to 65 as the board holds them: the production block, the serial number
    // "TVX0000001" from byte 28 on, and the word at 64.
    for (uint32_t word = 0; word < 33; ++word)
        ASSERT_EQ(u16(50 + 2 * word), board_->Eeprom().Word(word)) << "EEPROM word " << word;
    const char serial[] = "TVX0000001";
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(u16(78 + 2 * i), static_cast<uint16_t>(serial[i])) << i;
    const char product[] = "Talvexon HD ";
    for (size_t i = 0; i < sizeof product; ++i)
        EXPECT_EQ(u16(116 + 2 * i), static_cast<uint16_t>(product[i])) << i;
    for (size_t i = 116 + 2 * sizeof product; i < record.size(); ++i)
        ASSERT_EQ(record[i], 0) << i;
}

// One client rewrites the identification block again and again, alternating two images, while
// another reads the device configuration: every configuration holds one whole block, never a mix.
TEST_F(PrivateRequestTest, ConfigurationReadDuringEepromWritesHoldsOneWholeIdentificationBlock)
{
    auto imageOf = [](uint16_t word) {
        std::vector<uint8_t> image = Words({1});
        image.resize(4100);
        for (uint32_t i = 14; i <= 32; ++i)
            std::memcpy(image.data() + 4 + 2 * i, &word, 2);
        return image;
    };
    const std::vector<uint8_t> images[2] = {imageOf(0x1111), imageOf(0x2222)};
    std::vector<uint8_t> status(4);
    ASSERT_TRUE(Send(kWriteDspEeprom, images[1], &status).ok);

    std::atomic<bool> done{false};
    std::atomic<unsigned> writes{0};
    std::thread writer([&] {
        std::vector<uint8_t> result(4);
        for (unsigned n = 0; !done.load(); ++n) {
            if (Send(kWriteDspEeprom, images[n % 2], &result).ok)
                writes.fetch_add(1);
        }
    });
    // Words 14 to 32 of the EEPROM sit at 78 to 115 of the record, after the status word.
    std::vector<std::string> mixed;
    unsigned reads = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((writes.load() < 8 || reads < 50) && std::chrono::steady_clock::now() < end) {
        std::vector<uint8_t> config(632);
        const Reply reply = Send(kReadDeviceConfig, {}, &config);
        if (!reply.ok) {
            mixed.push_back("read failed with " + std::to_string(reply.error));
            break;
        }
        ++reads;
        const uint16_t first = static_cast<uint16_t>(config[4 + 78] | config[4 + 79] << 8);
        bool whole = first == 0x1111 || first == 0x2222;
        for (size_t k = 1; k < 19 && whole; ++k)
            whole = (config[4 + 78 + 2 * k] | config[4 + 79 + 2 * k] << 8) == first;
        if (!whole) {
            std::string words;
            for (size_t k = 0; k < 19; ++k)
                words += std::to_string(config[4 + 78 + 2 * k] | config[4 + 79 + 2 * k] << 8) + " ";
            mixed.push_back(words);
        }
    }
    done.store(true);
    writer.join();
    EXPECT_GE(writes.load(), 8u);
    EXPECT_GE(reads, 50u);
    EXPECT_TRUE(mixed.empty()) << mixed.size() << " mixed configurations, the first: " << mixed.front();
}

TEST_F(PrivateRequestTest, WholeEepromWritesChunksAndStopsAtTheFirstRefused)
{
    std::vector<uint8_t> image = Words({2});
    image.resize(4100);
    for (uint32_t i = 0; i < 2048; ++i) {
        const uint16_t word = static_cast<uint16_t>(0x1000 + i);
        std::memcpy(image.data() + 4 + 2 * i, &word, 2);
    }
    // Every command 8 is held and answered here: the chunk at word 633 is refused. The clock runs
    // slow meanwhile, so that no held command's time-out runs out before this thread answers it.
    const double speed = platform::Clock::SpeedFactor();
    platform::Clock::SetSpeedFactor(0.01);
    board_->Mailbox().ClearCommandLog();
    board_->Mailbox().SetHoldAnswers(true);
    Reply reply;
    std::vector<uint8_t> status(4);
    std::thread sender([&] { reply = Send(kWriteDspEeprom, image, &status); });
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> counts;
    size_t answered = 0;
    bool refused = false;
    while (!refused) {
        const auto held = board_->Mailbox().HeldCommands();
        if (held.empty()) {
            std::this_thread::yield();
            continue;
        }
        const board::MailboxCommand command = held.front();
        if (command.id == 8) {
            offsets.push_back(command.parameter);
            counts.push_back(command.payload[1]);
            if (command.parameter == 633) {
                board_->Mailbox().AnswerHeld(command.tag, 2);
                refused = true;
                continue;
            }
        }
        // Everything else (the staging block, earlier chunks) is answered as the firmware would.
        ++answered;
        board_->Mailbox().ReleaseHeld();
    }
    board_->Mailbox().SetHoldAnswers(false);
    board_->Mailbox().ReleaseHeld();
    sender.join();
    platform::Clock::SetSpeedFactor(speed);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(status, 0), 2u) << "the refused chunk's DSP result";
    EXPECT_EQ(offsets, (std::vector<uint32_t>{0, 14, 33, 233, 433, 633}));
    EXPECT_EQ(counts, (std::vector<uint32_t>{14, 19, 200, 200, 200, 200}));
    EXPECT_EQ(board_->Eeprom().Word(433 + 199), 0x1000u + 632);
    EXPECT_NE(board_->Eeprom().Word(633), 0x1000u + 633);

    // Unrefused, the last chunk is 15 words at 2033.
    board_->Mailbox().ClearCommandLog();
    reply = Send(kWriteDspEeprom, image, &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    std::vector<uint32_t> chunks;
    for (const auto& command : board_->Mailbox().CommandLog())
        if (command.id == 8 && (command.payload[2] & 1) != 0)
            chunks.push_back(command.parameter);
    ASSERT_EQ(chunks.size(), 13u);
    EXPECT_EQ(chunks.back(), 2033u);
    EXPECT_EQ(board_->Eeprom().Word(2047), 0x1000u + 2047);
}

TEST_F(PrivateRequestTest, HostBuffersAreFreedOnlyByTheirOwnWordsAndCopiesStayInside)
{
    std::vector<uint8_t> allocation = AllocateHost(4096);
    const uint32_t bus = WordAt(allocation, 1);
    const uint32_t cookie = WordAt(allocation, 3);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(WordAt(allocation, 2), 0u) << "a 32-bit bus address";

    // DSP to host and back: the bytes travel through the buffer.
    const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> result = WriteBuffer(bytes);
    ASSERT_TRUE(Send(kWriteDspMemory, WriteRecord(0x80002000, 0, bytes), &result).ok);
    std::vector<uint8_t> status(4);
    Reply reply = Send(kDspCopyMemory, Words({1, 0x80002000, bus + 100, 8}), &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
    reply = Send(kDspCopyMemory, Words({2, bus + 100, 0x80003000, 8}), &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    uint8_t copied[8];
    board_->ReadDspMemory(0x80003000, copied, 8);
    EXPECT_TRUE(std::equal(copied, copied + 8, bytes.begin()));

    // Outside the buffer (or not a buffer of the requests at all): refused, nothing sent.
    const size_t copies = CommandsWithId(7);
    EXPECT_EQ(Send(kDspCopyMemory, Words({2, bus + 4090, 0x80003000, 8}), &status).error, kErrorInvalidParameter);
    EXPECT_EQ(Send(kDspCopyMemory, Words({1, 0x80003000, bus - 8, 16}), &status).error, kErrorInvalidParameter);
    EXPECT_EQ(Send(kDspCopyMemory, Words({1, 0x80003000, 0x1000, 8}), &status).error, kErrorInvalidParameter);
    EXPECT_EQ(CommandsWithId(7), copies);

    // A changed cookie, bus address or length frees nothing.
    EXPECT_EQ(Send(kFreeMemory, Words({0, bus, 0, cookie + 1, 4096}), &status).error, kErrorInvalidParameter);
    EXPECT_EQ(WordAt(status, 0), 0x1202u);
    EXPECT_EQ(Send(kFreeMemory, Words({0, bus, 0, cookie, 4095}), &status).error, kErrorInvalidParameter);
    EXPECT_EQ(Send(kFreeMemory, Words({0, bus + 8, 0, cookie, 4096}), &status).error, kErrorInvalidParameter);
    reply = Send(kFreeMemory, Words({0, bus, 0, cookie, 4096}), &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
    reply = Send(kFreeMemory, Words({0, bus, 0, cookie, 4096}), &status);
    EXPECT_EQ(reply.error, kErrorInvalidParameter) << "freed twice";
    EXPECT_EQ(WordAt(status, 0), 0x1202u);
    // Once freed, a copy into it is refused too.
    EXPECT_EQ(Send(kDspCopyMemory, Words({1, 0x80002000, bus, 8}), &status).error, kErrorInvalidParameter);

    // DSP memory: allocated and freed by the DSP's handle.
    std::vector<uint8_t> dsp(16);
    reply = Send(kAllocateMemory, Words({1, 1, 256, 0, 0}), &dsp);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(dsp, 0), 1u);
    reply = Send(kFreeMemory, Words({1, WordAt(dsp, 1), WordAt(dsp, 2), 0, 256}), &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
}

TEST_F(PrivateRequestTest, UnknownCodesAreRefusedAndPropertyRequestsNeverQueue)
{
    std::vector<uint8_t> output(16, 0xCC);
    Reply reply = Send(kUnused807, Words({1, 2, 3, 4}), &output);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, kErrorInvalidParameter);
    EXPECT_EQ(reply.bytes, 0u);

    // With request threads held, a private request would wait; a property request is answered by
    // the framework on the caller's thread.
    standin::HoldSystemThreadsStartedBy(std::this_thread::get_id());
    KSPROPERTY property{};
    property.Set = KSPROPSETID_Pin;
    property.Id = KSPROPERTY_PIN_CTYPES;
    property.Flags = KSPROPERTY_TYPE_GET;
    ULONG pins = 0;
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(filter_, IOCTL_KS_PROPERTY, &property, sizeof(property), &pins, sizeof(pins),
                                &returned, nullptr));
    EXPECT_EQ(pins, 5u);
    EXPECT_EQ(standin::HeldSystemThreadCount(), 0u);
    standin::ReleaseHeldSystemThreads();

    // Wait for the interrupt: bits 0x10 and then 0x08 of the DSP control register, no bytes.
    board_->ClearAccessLog();
    reply = Send(kWaitForDspInterrupt, {}, nullptr);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 0u);
    std::vector<uint32_t> controlWrites;
    for (const auto& record : board_->AccessLog())
        if (record.kind == board::AccessKind::RegisterWrite && record.address == 0x400000)
            controlWrites.push_back(record.value);
    ASSERT_EQ(controlWrites.size(), 2u);
    EXPECT_NE(controlWrites[0] & 0x10, 0u);
    EXPECT_NE(controlWrites[1] & 0x18, 0u);
    EXPECT_EQ(controlWrites[1] & 0x18, 0x18u);
}

TEST_F(PrivateRequestTest, CancelledBeforeItsThreadRunsCompletesOnceAsCancelled)
{
    Reply reply;
    std::vector<uint8_t> output(12);
    std::thread sender([&] {
        standin::HoldSystemThreadsStartedBy(std::this_thread::get_id());
        reply = Send(kGetDspMemoryInfo, {}, &output);
    });
    while (standin::HeldSystemThreadCount() < 1)
        std::this_thread::yield();
    EXPECT_TRUE(CancelIoEx(filter_, nullptr));
    sender.join();
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, kErrorAborted);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(output, std::vector<uint8_t>(12, 0)) << "nothing done";
    // The thread then finds nothing and gives its record back; the next request is served.
    standin::ReleaseHeldSystemThreads();
    reply = Send(kGetDspMemoryInfo, {}, &output);
    EXPECT_TRUE(reply.ok);
}

TEST_F(PrivateRequestTest, StopCancelsQueuedRequestsAndWaitsForItsThreads)
{
    Reply reply;
    std::vector<uint8_t> output(8);
    std::thread sender([&] {
        standin::HoldSystemThreadsStartedBy(std::this_thread::get_id());
        reply = Send(kReadFpgaRegister, Words({34}), &output);
    });
    while (standin::HeldSystemThreadCount() < 1)
        std::this_thread::yield();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        EXPECT_EQ(machine_->Stop(*board_), STATUS_SUCCESS);
        stopped = true;
    });
    sender.join();
    EXPECT_EQ(reply.error, kErrorAborted);
    // The stop waits for the request's thread, which is still held.
    EXPECT_FALSE(stopped.load());
    standin::ReleaseHeldSystemThreads();
    stopper.join();
    EXPECT_TRUE(stopped.load());
}

TEST_F(PrivateRequestTest, CopyWithoutAnAnswerReportsItAndHoldsItsRecordUntilTheStop)
{
    std::vector<uint8_t> allocation = AllocateHost(256);
    const uint32_t bus = WordAt(allocation, 1);
    board::MailboxService::CommandFault drop;
    drop.drop = true;
    board_->Mailbox().SetCommandFault(7, drop);
    std::vector<uint8_t> status(4);
    const Reply reply = Send(kDspCopyMemory, Words({1, 0x80002000, bus, 16}), &status);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, kErrorGenFailure);
    EXPECT_EQ(WordAt(status, 0), 0x1100u);
    EXPECT_FALSE(Events(0xC0071051).empty());
    // The request's thread waits for the late answer; the stop ends the wait, and nothing leaks.
    board_->Mailbox().SetCommandFault(7, std::nullopt);
    EXPECT_EQ(machine_->Stop(*board_), STATUS_SUCCESS);
}

TEST_F(PrivateRequestTest, ResetLeavesTheDspHalted)
{
    std::vector<uint8_t> status(4);
    Reply reply = Send(kResetDsp, {1}, &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(status, 0), 1u);
    bool warmReset = false;
    for (const auto& record : board_->AccessLog())
        warmReset = warmReset || record.kind == board::AccessKind::WarmReset;
    EXPECT_TRUE(warmReset);
    EXPECT_EQ(board_->RegisterValue(0x41FFF0), 0u);
    EXPECT_NE(board_->CurrentPersonality(), board::Personality::MainFirmware);
    // Nothing runs on the DSP now: the mailbox refuses a command at once, with no time-out, and
    // its request says the DSP did not answer.
    std::vector<uint8_t> fpga(8);
    reply = Send(kReadFpgaRegister, Words({34}), &fpga);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(fpga, 0), 0x1100u);
    EXPECT_NE(board_->CurrentPersonality(), board::Personality::MainFirmware);

    // The caller releases the DSP itself (the doorbell, with the run bit still set) and waits for
    // its interrupt: the firmware in its memory runs again and the mailbox serves it.
    reply = Send(kWriteDspRegister, Words({0x41FFF4, 0, 4, 1, 2}), &status);
    ASSERT_TRUE(reply.ok) << reply.error;
    reply = Send(kWaitForDspInterrupt, {}, nullptr);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(board_->CurrentPersonality(), board::Personality::MainFirmware);
    reply = Send(kReadFpgaRegister, Words({34}), &fpga);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(WordAt(fpga, 0), 1u);
}

TEST_F(PrivateRequestTest, TheBoardsFailuresReachTheCallerInTheOutput)
{
    // A verified write whose compare fails: 0x1002 and the address, no bytes.
    board_->SetStuckBits(0x80004003, 0x01, true);
    const std::vector<uint8_t> zeros(8, 0);
    std::vector<uint8_t> result = WriteBuffer(zeros);
    Reply reply = Send(kWriteDspMemory, WriteRecord(0x80004000, 2, zeros), &result);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, kErrorGenFailure);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(std::vector<uint8_t>(result.begin(), result.begin() + 8), Words({0x1002, 0x80004000}));
    board_->ClearStuckBits();

    // A copy the DSP refuses: its error code in the output, the sides named by direction.
    std::vector<uint8_t> allocation = AllocateHost(64);
    const uint32_t bus = WordAt(allocation, 1);
    board::MailboxService::CommandFault refuse;
    refuse.result = 7;
    board_->Mailbox().SetCommandFault(7, refuse);
    std::vector<uint8_t> status(4);
    reply = Send(kDspCopyMemory, Words({1, 0x80002000, bus, 16}), &status);
    board_->Mailbox().SetCommandFault(7, std::nullopt);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, 0x104Du);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(status, 0), 7u);
    const auto events = Events(0xC007104D);
    ASSERT_EQ(events.size(), 1u);
    ASSERT_GE(events[0].inserts.size(), 3u);
    EXPECT_EQ(events[0].inserts[0], u"DSP");
    EXPECT_EQ(events[0].inserts[2], u"HOST");
}

TEST_F(PrivateRequestTest, RecordsWhoseSizesWrapOrLackTheirValueTouchNothing)
{
    board_->ClearAccessLog();
    // 4 + 0x40000000 x 4 is 4 in 32 bits: an output of 4 bytes does not pass.
    std::vector<uint8_t> four(4, 0xCC);
    Reply reply = Send(kReadDspRegister, Words({0x04, 4, 0x40000000}), &four);
    EXPECT_EQ(reply.error, 0x107Fu);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(four, 0), 0x1201u);
    // 16 + 0x40000000 x 4 is 16 in 32 bits: a 16-byte record does not pass.
    reply = Send(kWriteDspRegister, Words({0x10, 0, 4, 0x40000000}), &four);
    EXPECT_EQ(reply.error, 0x1080u);
    EXPECT_EQ(WordAt(four, 0), 0x1200u);
    // A width code that writes one value, with a count of 0: the record holds no value to write.
    for (uint32_t widthCode : {2u, 3u, 4u}) {
        reply = Send(kWriteDspRegister, Words({0x10, 0, widthCode, 0}), &four);
        EXPECT_EQ(reply.error, kErrorInvalidParameter) << "width code " << widthCode;
        EXPECT_EQ(reply.bytes, 0u);
    }
    // 0xFFFFFFF9 + 7 is 0 in 32 bits: refused as a range.
    std::vector<uint8_t> eight(8);
    std::vector<uint8_t> huge = Words({0x80001000, 0, 0xFFFFFFF9});
    huge.push_back(0);
    EXPECT_EQ(Send(kWriteDspMemory, huge, &eight).error, kErrorInvalidParameter);
    EXPECT_EQ(RegisterWrites(), 0u);
    EXPECT_EQ(WindowAccesses(), 0u);
}

TEST_F(PrivateRequestTest, ACopyWithoutAnAnswerHoldsItsRecordAndItsBufferUntilTheLateAnswer)
{
    std::vector<uint8_t> allocation = AllocateHost(256);
    const uint32_t bus = WordAt(allocation, 1);
    const uint32_t cookie = WordAt(allocation, 3);
    board_->Mailbox().SetHoldAnswers(true);
    std::vector<uint8_t> status(4);
    Reply reply;
    std::thread sender([&] { reply = Send(kDspCopyMemory, Words({1, 0x80002000, bus, 16}), &status); });
    const uint64_t tag = HeldTag(7);
    sender.join();
    EXPECT_EQ(reply.error, kErrorGenFailure);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(WordAt(status, 0), 0x1100u);
    // The DSP may still copy into the buffer: it is not freed yet.
    EXPECT_EQ(Send(kFreeMemory, Words({0, bus, 0, cookie, 256}), &status).error, kErrorBadCommand);
    EXPECT_EQ(WordAt(status, 0), 0x1202u);
    // The late answer gives the record back, and the buffer with it.
    ASSERT_TRUE(board_->Mailbox().AnswerHeld(tag, 1));
    board_->Mailbox().SetHoldAnswers(false);
    EXPECT_TRUE(WaitUntil([&] { return Send(kFreeMemory, Words({0, bus, 0, cookie, 256}), &status).ok; }));
    EXPECT_EQ(WordAt(status, 0), 1u);
}

TEST_F(PrivateRequestTest, StopLetsARequestAtWorkFinishBeforeTheBoardIsGivenUp)
{
    // The clock runs slow (four seconds of it are 400 real ones) while the DSP holds the command, so
    // that the command's time-out cannot end the request before the stop has come to wait for it.
    const double speed = platform::Clock::SpeedFactor();
    platform::Clock::SetSpeedFactor(0.01);
    board_->Mailbox().SetHoldAnswers(true);
    std::vector<uint8_t> fpga(8);
    Reply reply;
    std::thread sender([&] { reply = Send(kReadFpgaRegister, Words({34}), &fpga); });
    const uint64_t tag = HeldTag(9);
    standin::DebugOutputClear();
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        EXPECT_EQ(machine_->Stop(*board_), STATUS_SUCCESS);
        stopped = true;
    });
    // The stop waits for the request, the board still up: the DSP's answer still reaches it.
    EXPECT_TRUE(WaitUntil([] { return DebugOutputHas("Waiting for 1 private request(s) to finish with the board"); }));
    EXPECT_FALSE(stopped.load());
    EXPECT_TRUE(board_->Mailbox().AnswerHeld(tag, 1, 0xE0));
    board_->Mailbox().SetHoldAnswers(false);
    platform::Clock::SetSpeedFactor(speed);
    sender.join();
    EXPECT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(fpga, Words({1, 0xE0}));
    stopper.join();
    EXPECT_TRUE(stopped.load());

    // A stopped device takes no private request.
    std::vector<uint8_t> info(12);
    reply = Send(kGetDspMemoryInfo, {}, &info);
    EXPECT_EQ(reply.error, kErrorNotReady);
    EXPECT_EQ(reply.bytes, 0u);
}

TEST_F(PrivateRequestTest, RemovalCancelsQueuedRequestsAndWaitsForTheirThreads)
{
    Reply reply;
    std::vector<uint8_t> output(12);
    std::thread sender([&] {
        standin::HoldSystemThreadsStartedBy(std::this_thread::get_id());
        reply = Send(kGetDspMemoryInfo, {}, &output);
    });
    while (standin::HeldSystemThreadCount() < 1)
        std::this_thread::yield();
    std::atomic<bool> removed{false};
    std::thread remover([&] {
        EXPECT_EQ(machine_->SurpriseRemove(*board_), STATUS_SUCCESS);
        removed = true;
    });
    sender.join();
    EXPECT_EQ(reply.error, kErrorAborted);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(output, std::vector<uint8_t>(12, 0));
    EXPECT_FALSE(removed.load()) << "the request's thread still has its record";
    // The application lets go of the board it lost, as it must before the removal can follow the
    // surprise removal: its filter's close still reaches the driver meanwhile.
    EXPECT_TRUE(CloseHandle(filter_));
    filter_ = INVALID_HANDLE_VALUE;
    standin::ReleaseHeldSystemThreads();
    remover.join();
    EXPECT_TRUE(removed.load());
}

TEST_F(PrivateRequestTest, ARequestWhoseThreadCannotStartCompletesWithTheFailure)
{
    std::vector<uint8_t> output(12, 0xCC);
    standin::FailSystemThreadStartsBy(std::this_thread::get_id(), STATUS_INSUFFICIENT_RESOURCES);
    Reply reply = Send(kGetDspMemoryInfo, {}, &output);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, kErrorNoSystemResources);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(output, std::vector<uint8_t>(12, 0xCC)) << "nothing done";
    // Nothing stays queued, counted or taken: the next request is served, the stop waits for none.
    reply = Send(kGetDspMemoryInfo, {}, &output);
    EXPECT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(machine_->Stop(*board_), STATUS_SUCCESS);
}

TEST_F(PrivateRequestTest, ConcurrentRequestsAndCancelsEachCompleteOnce)
{
    constexpr int kSenders = 4;
    constexpr int kRequests = 25;
    std::atomic<bool> done{false};
    std::atomic<int> served{0};
    std::atomic<int> cancelled{0};
    std::atomic<int> other{0};
    std::thread canceller([&] {
        while (!done.load()) {
            CancelIoEx(filter_, nullptr);
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s)
        senders.emplace_back([&, s] {
            for (int i = 0; i < kRequests; ++i) {
                const bool info = (s + i) % 2 == 0;
                std::vector<uint8_t> output(info ? 12 : 8, 0);
                const Reply reply =
                    info ? Send(kGetDspMemoryInfo, {}, &output) : Send(kReadFpgaRegister, Words({34}), &output);
                if (reply.ok && reply.bytes == output.size() && WordAt(output, 0) == 1)
                    ++served;
                else if (!reply.ok && reply.error == kErrorAborted && reply.bytes == 0)
                    ++cancelled;
                else
                    ++other;
            }
        });
    for (auto& sender : senders)
        sender.join();
    done = true;
    canceller.join();
    EXPECT_EQ(other.load(), 0);
    EXPECT_EQ(served.load() + cancelled.load(), kSenders * kRequests);
    // Every record and thread came back: the stop waits for none.
    EXPECT_EQ(machine_->Stop(*board_), STATUS_SUCCESS);
}

TEST_F(PrivateRequestTest, FpgaRegisterWritesTakeTheirMaskThroughTheShadowOrReplaceTheRegister)
{
    constexpr DWORD kWriteFpgaRegister = 0x22A019;
    std::vector<uint8_t> result(4);
    // Through the shadow: only the mask's bits change; the start left 0xE0 in register 34's.
    Reply reply = Send(kWriteFpgaRegister, Words({34, 0x1234, 0x00FF, 1}), &result);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 4u);
    EXPECT_EQ(result, Words({1}));
    std::vector<uint8_t> fpga(8);
    reply = Send(kReadFpgaRegister, Words({34}), &fpga);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(fpga, Words({1, 0x34}));
    // Without it the value replaces the register whatever the mask.
    reply = Send(kWriteFpgaRegister, Words({40, 0xABCD, 0x000F, 0}), &result);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(result, Words({1}));
    reply = Send(kReadFpgaRegister, Words({40}), &fpga);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(fpga, Words({1, 0xABCD}));
    // A record one word short touches nothing.
    reply = Send(kWriteFpgaRegister, Words({40, 0x1111, 0xFFFF}), &result);
    EXPECT_FALSE(reply.ok);
    reply = Send(kReadFpgaRegister, Words({40}), &fpga);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(fpga, Words({1, 0xABCD}));
}

} // namespace
} // namespace lifecycletest
