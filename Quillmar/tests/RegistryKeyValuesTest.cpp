// RegistryKey values and enumeration: typed reads with their statuses and untouched outputs, sizes,
// allocated reads that are bounded and terminated, the exact bytes written, sub-keys enumerated from
// the first to STATUS_NO_MORE_ENTRIES with names, classes and summaries.
#include "RegistryKeyTestSupport.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "kernel/poolallocation.h"
#include "kernel/registrykey.h"
#include "km/object.h"
#include "km/registry.h"
#include "km/status.h"
#include "standin/pool.h"
#include "standin/registry.h"

using namespace registrykeytest;

namespace {

// The board's key opened for writing, with values of every shape the tests read.
class RegistryKeyValues : public RegistryKeyTest {
protected:
    void SetUp() override
    {
        RegistryKeyTest::SetUp();
        Import("Windows Registry Editor Version 5.00\n\n"
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\"
               "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003]\n"
               "\"Short\"=\"a\"\n"
               "\"Name\"=\"ab\"\n"
               "\"Caption\"=\"Signal Lost\"\n"
               "\"Four\"=hex:01,02,03,04\n"
               "\"Empty\"=hex:\n"
               "\"HalfDword\"=hex(4):01,02\n"
               "\"WideDword\"=hex(4):01,00,00,00,00,00,00,00\n"
               "\"Unterminated\"=hex(1):61,00,62,00\n"
               "\"OddString\"=hex(1):61,00,62\n");
        key = std::make_unique<RegistryKey>(kRegistryRootAbsolute, kBoardKey, TRUE, 0, kRegistryWriteAccess,
                                            kRegistryWriteAttributes);
        ASSERT_EQ(key->Status(), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        key.reset();
        RegistryKeyTest::TearDown();
    }

    std::unique_ptr<RegistryKey> key;
};

std::u16string WideText(PCWSTR text, ULONG bytes)
{
    return std::u16string(text, bytes / sizeof(WCHAR));
}

} // namespace

TEST_F(RegistryKeyValues, QueryDwordOfAnotherTypeFailsAndLeavesTheValue)
{
    ULONG value = 0x12345678;
    // Strings shorter than, as long as and longer than a number; binary; numbers of the wrong size.
    const PCWSTR mismatched[] = {u"Short", u"Name", u"Caption", u"Four", u"Empty", u"HalfDword"};
    for (size_t i = 0; i < std::size(mismatched); ++i) {
        EXPECT_EQ(key->QueryDword(mismatched[i], &value), STATUS_OBJECT_TYPE_MISMATCH) << "value " << i;
        EXPECT_EQ(value, 0x12345678u);
    }
    EXPECT_EQ(key->QueryDword(u"WideDword", &value), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(key->QueryDword(u"Missing", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(key->QueryDword(u"InstanceId", nullptr), STATUS_INVALID_PARAMETER);

    EXPECT_EQ(key->QueryDword(u"InstanceId", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 2u);
    // Value names ignore case.
    EXPECT_EQ(key->QueryDword(u"INSTANCEID", &value), STATUS_SUCCESS);
}

TEST_F(RegistryKeyValues, QueryValueReportsTypeAndLength)
{
    UCHAR data[8];
    std::memset(data, 0xEE, sizeof data);
    ULONG type = 99;
    ULONG length = sizeof data;
    EXPECT_EQ(key->QueryValue(u"Four", &type, &length, data), STATUS_SUCCESS);
    EXPECT_EQ(type, ULONG(REG_BINARY));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::vector<UCHAR>(data, data + 5), Bytes({1, 2, 3, 4, 0xEE}));

    // Too small: the type and the length needed, no data.
    std::memset(data, 0xEE, sizeof data);
    type = 99;
    length = 3;
    EXPECT_EQ(key->QueryValue(u"Four", &type, &length, data), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(type, ULONG(REG_BINARY));
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(data[0], 0xEE);

    // A missing value changes nothing.
    type = 99;
    length = 3;
    EXPECT_EQ(key->QueryValue(u"Missing", &type, &length, data), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(type, 99u);
    EXPECT_EQ(length, 3u);

    // Length 0 without a buffer asks for the size.
    length = 0;
    EXPECT_EQ(key->QueryValue(u"Caption", &type, &length, nullptr), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(type, ULONG(REG_SZ));
    length = 4;
    EXPECT_EQ(key->QueryValue(u"Four", &type, &length, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(key->QueryValue(u"Four", &type, nullptr, data), STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryKeyValues, QueryDataSizeCountsDataBytes)
{
    std::vector<UCHAR> big(300);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<UCHAR>(i);
    ASSERT_EQ(key->SetValue(u"Big", REG_BINARY, big.data(), 300), STATUS_SUCCESS);
    EXPECT_EQ(key->QueryDataSize(u"Big"), 300u);
    EXPECT_EQ(key->QueryDataSize(u"Caption"), 24u);
    EXPECT_EQ(key->QueryDataSize(u"InstanceId"), 4u);
    EXPECT_EQ(key->QueryDataSize(u"Empty"), 0u);
    EXPECT_EQ(key->QueryDataSize(u"Missing"), 0u);
}

TEST_F(RegistryKeyValues, QueryAllocatedTakesTheValuesOwnSize)
{
    std::vector<UCHAR> big(300);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<UCHAR>(255 - i);
    ASSERT_EQ(key->SetValue(u"Big", REG_BINARY, big.data(), 300), STATUS_SUCCESS);

    PVOID block = nullptr;
    ULONG length = 0;
    ASSERT_EQ(key->QueryAllocated(u"Big", &block, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 300u);
    EXPECT_EQ(std::vector<UCHAR>(static_cast<UCHAR*>(block), static_cast<UCHAR*>(block) + 300), big);
    standin::PoolBlockInfo info;
    ASSERT_TRUE(standin::PoolQueryBlock(block, &info));
    EXPECT_EQ(info.tag, kTag);
    EXPECT_EQ(info.type, PagedPool);
    // Two zero bytes after the data.
    ASSERT_EQ(info.size, 302u);
    EXPECT_EQ(static_cast<UCHAR*>(block)[300], 0);
    EXPECT_EQ(static_cast<UCHAR*>(block)[301], 0);
    FreePool(block);

    // A length given is the room allocated; a number is read like anything else.
    block = nullptr;
    length = 16;
    ASSERT_EQ(key->QueryAllocated(u"InstanceId", &block, &length, NonPagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 4u);
    ULONG number;
    std::memcpy(&number, block, 4);
    EXPECT_EQ(number, 2u);
    ASSERT_TRUE(standin::PoolQueryBlock(block, &info));
    EXPECT_EQ(info.type, NonPagedPool);
    EXPECT_EQ(info.size, 18u);
    FreePool(block);
}

TEST_F(RegistryKeyValues, QueryAllocatedFailuresFreeWhatTheyTook)
{
    const uint64_t before = OutstandingBlocks();
    PVOID block = reinterpret_cast<PVOID>(0x1);
    ULONG length = 0;
    // A missing value says so, so that a caller writes its default.
    EXPECT_EQ(key->QueryAllocated(u"Missing", &block, &length, PagedPool), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(key->QueryAllocated(u"Empty", &block, &length, PagedPool), STATUS_INSUFFICIENT_RESOURCES);
    // A room too small for the value.
    length = 3;
    EXPECT_EQ(key->QueryAllocated(u"Four", &block, &length, PagedPool), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(block, nullptr);
    // A value larger than the driver takes is refused before anything is allocated.
    std::vector<UCHAR> huge(kRegistryMaxAllocatedValueBytes + 1, 0x5A);
    ASSERT_EQ(key->SetValue(u"Huge", REG_BINARY, huge.data(), static_cast<ULONG>(huge.size())),
              STATUS_SUCCESS);
    length = 0;
    const uint64_t allocations = standin::PoolUsageByTag(kTag).totalBlocks;
    EXPECT_EQ(key->QueryAllocated(u"Huge", &block, &length, PagedPool), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(standin::PoolUsageByTag(kTag).totalBlocks, allocations);
    EXPECT_EQ(block, nullptr);
    // The largest value it takes still comes.
    ASSERT_EQ(key->SetValue(u"Huge", REG_BINARY, huge.data(), kRegistryMaxAllocatedValueBytes),
              STATUS_SUCCESS);
    length = 0;
    ASSERT_EQ(key->QueryAllocated(u"Huge", &block, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, kRegistryMaxAllocatedValueBytes);
    FreePool(block);
    // No pool for the block; no pool for the query's own buffer.
    length = 0;
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(key->QueryAllocated(u"Four", &block, &length, PagedPool), STATUS_INSUFFICIENT_RESOURCES);
    standin::PoolFailNthAllocation(2);
    EXPECT_EQ(key->QueryAllocated(u"Four", &block, &length, PagedPool), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(key->QueryAllocated(u"Four", nullptr, &length, PagedPool), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(key->QueryAllocated(u"Four", &block, nullptr, PagedPool), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(OutstandingBlocks(), before);
}

TEST_F(RegistryKeyValues, QueryStringIsAlwaysTerminated)
{
    PWSTR text = nullptr;
    ULONG length = 0;
    ASSERT_EQ(key->QueryString(u"Caption", &text, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 24u);
    EXPECT_EQ(std::u16string(text), u"Signal Lost");
    FreePool(text);

    // Stored without its zero: the copy still ends in one.
    length = 0;
    ASSERT_EQ(key->QueryString(u"Unterminated", &text, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(std::u16string(text), u"ab");
    FreePool(text);

    // An odd byte count: the zero still falls on a character.
    length = 0;
    ASSERT_EQ(key->QueryString(u"OddString", &text, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(WideText(text, 4), u"ab");
    EXPECT_EQ(text[2], 0);
    FreePool(text);

    // A caller's room of 260 characters bounds a longer text.
    std::u16string longer(300, u'x');
    ASSERT_EQ(key->SetString(u"Long", longer.c_str()), STATUS_SUCCESS);
    length = 260 * sizeof(WCHAR);
    EXPECT_EQ(key->QueryString(u"Long", &text, &length, PagedPool), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(text, nullptr);

    const uint64_t before = OutstandingBlocks();
    length = 0;
    text = reinterpret_cast<PWSTR>(0x1);
    EXPECT_EQ(key->QueryString(u"InstanceId", &text, &length, PagedPool), STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(key->QueryString(u"Four", &text, &length, PagedPool), STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(key->QueryString(u"Missing", &text, &length, PagedPool), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(OutstandingBlocks(), before);
}

TEST_F(RegistryKeyValues, SetStringStoresTheTerminatingZero)
{
    ASSERT_EQ(key->SetString(u"Written", u"ab"), STATUS_SUCCESS);
    auto stored = standin::ReadRegistryValue(kBoardKey, u"Written");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, ULONG(REG_SZ));
    EXPECT_EQ(stored->data, Bytes({'a', 0, 'b', 0, 0, 0}));

    ASSERT_EQ(key->SetString(u"Blank", u""), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryValue(kBoardKey, u"Blank")->data, Bytes({0, 0}));
    EXPECT_EQ(key->SetString(u"Blank", nullptr), STATUS_INVALID_PARAMETER);
    std::u16string tooLong(32767, u'x');
    EXPECT_EQ(key->SetString(u"Blank", tooLong.c_str()), STATUS_INVALID_PARAMETER);

    // Read back through the key: the text and its zero.
    PWSTR text = nullptr;
    ULONG length = 0;
    ASSERT_EQ(key->QueryString(u"Written", &text, &length, PagedPool), STATUS_SUCCESS);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(std::u16string(text), u"ab");
    FreePool(text);
}

TEST_F(RegistryKeyValues, SetDwordAndSetValueStoreExactBytes)
{
    ASSERT_EQ(key->SetDword(u"InstanceId", 0xA1B2C3D4), STATUS_SUCCESS);
    auto stored = standin::ReadRegistryValue(kBoardKey, u"InstanceId");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, ULONG(REG_DWORD));
    EXPECT_EQ(stored->data, Bytes({0xD4, 0xC3, 0xB2, 0xA1}));

    const UCHAR table[3] = {9, 8, 7};
    ASSERT_EQ(key->SetValue(u"GammaValues", REG_BINARY, table, 3), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryValue(kBoardKey, u"GammaValues")->data, Bytes({9, 8, 7}));
    // A null name is the key's default value.
    ASSERT_EQ(key->SetDword(nullptr, 5), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kBoardKey, u""), 5u);
    ULONG value = 0;
    EXPECT_EQ(key->QueryDword(u"", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 5u);
}

// ---- Enumeration ----------------------------------------------------------------------------------

namespace {

// A counted string over a buffer of its own of `capacity` bytes.
struct NameBuffer {
    explicit NameBuffer(USHORT capacity) : storage(capacity / 2 + 1, u'#')
    {
        counted.Buffer = storage.data();
        counted.Length = 0;
        counted.MaximumLength = capacity;
    }
    std::u16string Text() const { return std::u16string(counted.Buffer, counted.Length / 2); }
    std::u16string storage;
    UNICODE_STRING counted;
};

NTSTATUS CreateWithClass(HANDLE parent, const std::u16string& name, const std::u16string& className)
{
    UNICODE_STRING path{static_cast<USHORT>(name.size() * 2), static_cast<USHORT>(name.size() * 2),
                        const_cast<PWSTR>(name.data())};
    UNICODE_STRING klass{static_cast<USHORT>(className.size() * 2), static_cast<USHORT>(className.size() * 2),
                         const_cast<PWSTR>(className.data())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, parent, nullptr);
    HANDLE handle = nullptr;
    NTSTATUS status = ZwCreateKey(&handle, KEY_ALL_ACCESS, &attributes, 0, &klass, 0, nullptr);
    if (NT_SUCCESS(status))
        ZwClose(handle);
    return status;
}

} // namespace

TEST_F(RegistryKeyTest, EnumerationGivesEverySubKeyThenNoMoreEntries)
{
    Import(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters\\Input3]\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters\\Input1]\n"
        "\"InputName\"=\"SDI\"\n"
        "\"InputType\"=dword:0000000a\n\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters\\Input1\\Channel1]\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters\\Input1\\Channel22]\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Quillmar\\Parameters\\input2]\n");
    RegistryKey key(kRegistryRootServices, u"Quillmar\\Parameters", FALSE, 0, kRegistryReadAccess,
                    kRegistryReadAttributes);
    ASSERT_EQ(key.Status(), STATUS_SUCCESS);

    std::vector<std::u16string> names;
    std::vector<RegistryKeySummary> summaries;
    for (int i = 0; i < 3; ++i) {
        NameBuffer name(64);
        NameBuffer className(64);
        RegistryKeySummary summary;
        std::memset(&summary, 0xCC, sizeof summary);
        ASSERT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_SUCCESS) << i;
        names.push_back(name.Text());
        EXPECT_EQ(name.counted.Buffer[name.counted.Length / 2], 0) << "terminated";
        EXPECT_EQ(className.counted.Length, 0u);
        summaries.push_back(summary);
    }
    // Sub-key 0 comes first; the order is by upper-cased name.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Input1", u"input2", u"Input3"}));
    EXPECT_EQ(key.EnumerationIndex(), 3u);
    EXPECT_EQ(key.EnumerateKey(nullptr, nullptr, nullptr), STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(key.EnumerateKey(nullptr, nullptr, nullptr), STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(key.EnumerationIndex(), 3u);

    const RegistryKeySummary& input1 = summaries[0];
    EXPECT_EQ(input1.NameLength, 12u);
    EXPECT_EQ(input1.ClassLength, 0u);
    EXPECT_EQ(input1.SubKeys, 2u);
    EXPECT_EQ(input1.Values, 2u);
    EXPECT_EQ(input1.MaxNameLength, 18u); // "Channel22"
    EXPECT_EQ(input1.MaxClassLength, 0u);
    EXPECT_EQ(input1.MaxValueNameLength, 18u); // "InputName"
    EXPECT_EQ(input1.MaxValueDataLength, 8u);  // "SDI" and its zero
    EXPECT_GT(input1.LastWriteTime.QuadPart, 0);
    EXPECT_EQ(summaries[1].SubKeys, 0u);
    EXPECT_EQ(summaries[1].Values, 0u);

    // A reopen starts again at the first sub-key.
    ASSERT_EQ(key.Reopen(kRegistryRootServices, u"Quillmar\\Parameters", FALSE, 0, kRegistryReadAccess,
                         kRegistryReadAttributes),
              STATUS_SUCCESS);
    NameBuffer first(64);
    ASSERT_EQ(key.EnumerateKey(&first.counted, nullptr, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(first.Text(), u"Input1");
}

TEST_F(RegistryKeyTest, EnumerationIntoStringsTooSmallGoesOn)
{
    RegistryKey key(kRegistryRootServices, u"Quillmar\\Parameters", TRUE, 0, kRegistryWriteAccess,
                    kRegistryWriteAttributes);
    ASSERT_EQ(key.Status(), STATUS_SUCCESS);
    ASSERT_EQ(CreateWithClass(key.Handle(), u"Alpha", u"Media"), STATUS_SUCCESS);
    ASSERT_EQ(CreateWithClass(key.Handle(), u"Beta", u""), STATUS_SUCCESS);

    // The name one character short: left empty, the length needed in the summary.
    NameBuffer name(8);
    NameBuffer className(10);
    RegistryKeySummary summary{};
    EXPECT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(name.counted.Length, 0u);
    EXPECT_EQ(name.storage[0], u'#');
    EXPECT_EQ(summary.NameLength, 10u);
    // The class fitted exactly, without room for a zero.
    EXPECT_EQ(className.Text(), u"Media");
    EXPECT_EQ(className.storage[5], u'#');
    EXPECT_EQ(summary.ClassLength, 10u);

    // The next call is about the next sub-key.
    EXPECT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_SUCCESS);
    EXPECT_EQ(name.Text(), u"Beta");
    EXPECT_EQ(className.counted.Length, 0u);
    EXPECT_EQ(summary.NameLength, 8u);

    // A class that does not fit, a name that does.
    ASSERT_EQ(key.Reopen(kRegistryRootServices, u"Quillmar\\Parameters", TRUE, 0, kRegistryWriteAccess,
                         kRegistryWriteAttributes),
              STATUS_SUCCESS);
    NameBuffer wideName(64);
    NameBuffer narrowClass(8);
    EXPECT_EQ(key.EnumerateKey(&wideName.counted, &narrowClass.counted, nullptr), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(wideName.Text(), u"Alpha");
    EXPECT_EQ(narrowClass.counted.Length, 0u);
    EXPECT_EQ(key.EnumerationIndex(), 1u);
}

TEST_F(RegistryKeyTest, EnumerationOfRecordsLargerThanTheFirstBuffer)
{
    RegistryKey key(kRegistryRootServices, u"Quillmar\\Parameters", TRUE, 0, kRegistryWriteAccess,
                    kRegistryWriteAttributes);
    ASSERT_EQ(key.Status(), STATUS_SUCCESS);
    const std::u16string longest(255, u'n');
    const std::u16string bigClass(400, u'c');
    ASSERT_EQ(CreateWithClass(key.Handle(), longest, bigClass), STATUS_SUCCESS);

    NameBuffer name(512);
    NameBuffer className(800);
    RegistryKeySummary summary{};
    const uint64_t before = OutstandingBlocks();
    ASSERT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_SUCCESS);
    EXPECT_EQ(OutstandingBlocks(), before);
    EXPECT_EQ(name.Text(), longest);
    EXPECT_EQ(className.Text(), bigClass);
    EXPECT_EQ(summary.NameLength, 510u);
    EXPECT_EQ(summary.ClassLength, 800u);

    // Without pool for the larger record the index stays, and a retry gets the same sub-key.
    ASSERT_EQ(key.Reopen(kRegistryRootServices, u"Quillmar\\Parameters", TRUE, 0, kRegistryWriteAccess,
                         kRegistryWriteAttributes),
              STATUS_SUCCESS);
    standin::PoolFailNthAllocation(1);
    EXPECT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(key.EnumerationIndex(), 0u);
    EXPECT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_SUCCESS);
    EXPECT_EQ(name.Text(), longest);
    EXPECT_EQ(key.EnumerateKey(&name.counted, &className.counted, &summary), STATUS_NO_MORE_ENTRIES);
}
