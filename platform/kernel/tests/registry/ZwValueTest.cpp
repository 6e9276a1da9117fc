// Values: the three information records at every buffer boundary, names and their case, the types
// stored as given, enumeration order, deletion, and the limits on names and data.
#include "RegistryTestSupport.h"

#include "../core/Breaches.h"
#include "standin/registry.h"

#include <algorithm>

using namespace regtest;

namespace {

const std::u16string kKey = u"\\Registry\\Machine\\Software";

struct Boundary {
    KEY_VALUE_INFORMATION_CLASS informationClass;
    ULONG fixed;  // the fixed part of the record
    ULONG needed; // the whole record
};

class ValueTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        ASSERT_EQ(Create(&key_, kKey), STATUS_SUCCESS);
    }
    // Queries into a buffer of exactly `length` bytes (null for 0), pre-filled with 0xCD.
    NTSTATUS Query(std::u16string_view valueName, KEY_VALUE_INFORMATION_CLASS informationClass, ULONG length,
                   std::vector<UCHAR>* buffer, ULONG* result)
    {
        buffer->assign(length, 0xCD);
        Name name(valueName);
        return ZwQueryValueKey(key_.get(), name.get(), informationClass, length ? buffer->data() : nullptr,
                               length, result);
    }
    Key key_;
};

} // namespace

TEST_F(ValueTest, EveryRecordAtEveryBufferBoundary)
{
    const UCHAR data[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(SetValue(key_.get(), u"Data", REG_BINARY, data, sizeof data), STATUS_SUCCESS);
    // Name "Data" is 8 bytes; the full record's data starts at 20 + 8 = 28, a multiple of 4.
    const Boundary boundaries[] = {
        {KeyValuePartialInformation, 12, 12 + 5},
        {KeyValueBasicInformation, 12, 12 + 8},
        {KeyValueFullInformation, 20, 28 + 5},
    };
    for (const auto& b : boundaries) {
        SCOPED_TRACE(testing::Message() << "class " << b.informationClass);
        for (ULONG length : {0u, b.fixed - 1, b.fixed, b.needed - 1, b.needed}) {
            SCOPED_TRACE(testing::Message() << "length " << length);
            std::vector<UCHAR> buffer;
            ULONG result = 0;
            const NTSTATUS status = Query(u"Data", b.informationClass, length, &buffer, &result);
            EXPECT_EQ(result, b.needed);
            if (length < b.fixed) {
                EXPECT_EQ(status, STATUS_BUFFER_TOO_SMALL);
                EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](UCHAR c) { return c == 0xCD; }));
                continue;
            }
            EXPECT_EQ(status, length == b.needed ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW);
            EXPECT_EQ(ReadAt<ULONG>(buffer, 0), 0u); // TitleIndex
            EXPECT_EQ(ReadAt<ULONG>(buffer, 4), ULONG(REG_BINARY));
        }
    }

    std::vector<UCHAR> buffer;
    ULONG result = 0;
    ASSERT_EQ(Query(u"Data", KeyValuePartialInformation, 17, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 8), 5u);
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 12, buffer.end()), std::vector<UCHAR>(data, data + 5));

    ASSERT_EQ(Query(u"Data", KeyValueBasicInformation, 20, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 8), 8u);
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 12, buffer.end()), WideBytes(u"Data"));

    ASSERT_EQ(Query(u"Data", KeyValueFullInformation, 33, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 8), 28u); // DataOffset
    EXPECT_EQ(ReadAt<ULONG>(buffer, 12), 5u); // DataLength
    EXPECT_EQ(ReadAt<ULONG>(buffer, 16), 8u); // NameLength
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 20, buffer.begin() + 28), WideBytes(u"Data"));
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 28, buffer.end()), std::vector<UCHAR>(data, data + 5));

    // A name of odd character count puts the data of the full record on the next multiple of 4.
    ASSERT_EQ(SetValue(key_.get(), u"Abc", REG_BINARY, data, 1), STATUS_SUCCESS);
    ASSERT_EQ(Query(u"Abc", KeyValueFullInformation, 64, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(result, 28u + 1);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 8), 28u);
}

TEST_F(ValueTest, OverflowFillsTheFixedPartAndWhatFits)
{
    const UCHAR data[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(SetValue(key_.get(), u"Data", REG_BINARY, data, sizeof data), STATUS_SUCCESS);
    std::vector<UCHAR> buffer;
    ULONG result = 0;
    ASSERT_EQ(Query(u"Data", KeyValuePartialInformation, 12, &buffer, &result), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 8), 5u); // the length the caller must make room for
    ASSERT_EQ(Query(u"Data", KeyValuePartialInformation, 15, &buffer, &result), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 12, buffer.end()), std::vector<UCHAR>(data, data + 3));
}

TEST_F(ValueTest, MissingValuesDefaultValueAndCase)
{
    std::vector<UCHAR> buffer;
    ULONG result = 1234;
    EXPECT_EQ(Query(u"Missing", KeyValuePartialInformation, 64, &buffer, &result),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(result, 1234u);

    const ULONG seven = 7;
    ASSERT_EQ(ZwSetValueKey(key_.get(), nullptr, 0, REG_DWORD, const_cast<ULONG*>(&seven), 4),
              STATUS_SUCCESS);
    ASSERT_EQ(Query(u"", KeyValuePartialInformation, 16, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 12), 7u);

    ASSERT_EQ(SetDword(key_.get(), u"InstanceId", 1), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(key_.get(), u"INSTANCEID", 2), STATUS_SUCCESS);
    ASSERT_EQ(Query(u"instanceid", KeyValuePartialInformation, 16, &buffer, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(buffer, 12), 2u);
    ASSERT_EQ(ZwEnumerateValueKey(key_.get(), 1, KeyValueBasicInformation, buffer.data(), 16, &result),
              STATUS_BUFFER_OVERFLOW);
    buffer.assign(result, 0);
    ASSERT_EQ(ZwEnumerateValueKey(key_.get(), 1, KeyValueBasicInformation, buffer.data(), result, &result),
              STATUS_SUCCESS);
    EXPECT_EQ(std::vector<UCHAR>(buffer.begin() + 12, buffer.end()), WideBytes(u"InstanceId"));
    EXPECT_EQ(ZwEnumerateValueKey(key_.get(), 2, KeyValueBasicInformation, buffer.data(), 16, &result),
              STATUS_NO_MORE_ENTRIES);
}

TEST_F(ValueTest, DataOfEveryTypeIsKeptAsGiven)
{
    const struct {
        std::u16string name;
        ULONG type;
        std::vector<UCHAR> data;
    } values[] = {
        {u"Sz", REG_SZ, WideBytes(std::u16string(u"ab\0", 3))},
        {u"Expand", REG_EXPAND_SZ, WideBytes(std::u16string(u"%SystemRoot%\0", 13))},
        {u"Binary", REG_BINARY, {0, 0xFF, 0x10}},
        {u"Dword", REG_DWORD, {0x1F, 0, 0, 0}},
        {u"ShortDword", REG_DWORD, {1, 2, 3}},
        {u"Multi", REG_MULTI_SZ, WideBytes(std::u16string(u"a\0bc\0\0", 6))},
        {u"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {u"Private", 0x12345678, {9}},
        {u"Empty", REG_BINARY, {}},
    };
    for (const auto& v : values)
        ASSERT_EQ(SetValue(key_.get(), v.name, v.type, v.data.data(), static_cast<ULONG>(v.data.size())),
                  STATUS_SUCCESS);
    for (const auto& v : values) {
        auto stored = standin::ReadRegistryValue(kKey, v.name);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type, v.type);
        EXPECT_EQ(stored->data, v.data);
    }
    EXPECT_EQ(standin::ReadRegistryString(kKey, u"Sz"), u"ab");
    EXPECT_EQ(standin::ReadRegistryDword(kKey, u"Dword"), 0x1Fu);
    EXPECT_EQ(standin::ReadRegistryDword(kKey, u"ShortDword"), std::nullopt);
    EXPECT_EQ(standin::ReadRegistryDword(kKey, u"Sz"), std::nullopt);
}

TEST_F(ValueTest, EnumerationKeepsTheOrderValuesWereFirstSet)
{
    for (auto name : {u"b", u"a", u"C"})
        ASSERT_EQ(SetDword(key_.get(), name, 1), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(key_.get(), u"B", 2), STATUS_SUCCESS);
    auto names = [&] {
        std::vector<std::u16string> seen;
        for (ULONG index = 0;; ++index) {
            UCHAR buffer[64];
            ULONG result = 0;
            const NTSTATUS status = ZwEnumerateValueKey(key_.get(), index, KeyValueFullInformation, buffer,
                                                        sizeof buffer, &result);
            if (status == STATUS_NO_MORE_ENTRIES)
                return seen;
            EXPECT_EQ(status, STATUS_SUCCESS);
            std::vector<UCHAR> record(buffer, buffer + result);
            const auto* name = reinterpret_cast<const char16_t*>(buffer + 20);
            seen.emplace_back(name, ReadAt<ULONG>(record, 16) / 2);
        }
    };
    EXPECT_EQ(names(), (std::vector<std::u16string>{u"b", u"a", u"C"}));
    Name a(u"A");
    ASSERT_EQ(ZwDeleteValueKey(key_.get(), a.get()), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteValueKey(key_.get(), a.get()), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(names(), (std::vector<std::u16string>{u"b", u"C"}));
}

TEST_F(ValueTest, NamesAndDataAreBounded)
{
    const std::u16string longest(16383, u'v');
    EXPECT_EQ(SetDword(key_.get(), longest, 1), STATUS_SUCCESS);
    EXPECT_EQ(SetDword(key_.get(), longest + u"v", 1), STATUS_INVALID_PARAMETER);
    std::vector<UCHAR> data(standin::kRegistryMaxValueDataBytes + 1, 0x5A);
    EXPECT_EQ(SetValue(key_.get(), u"Big", REG_BINARY, data.data(), static_cast<ULONG>(data.size())),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(SetValue(key_.get(), u"Big", REG_BINARY, data.data(), static_cast<ULONG>(data.size() - 1)),
              STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryValue(kKey, u"Big")->data.size(), standin::kRegistryMaxValueDataBytes);

    UNICODE_STRING odd{3, 4, const_cast<PWSTR>(u"ab")};
    ULONG value = 1;
    EXPECT_EQ(ZwSetValueKey(key_.get(), &odd, 0, REG_DWORD, &value, 4), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(ZwSetValueKey(key_.get(), nullptr, 0, REG_NONE, nullptr, 0), STATUS_SUCCESS);
}

TEST_F(ValueTest, BadHandlesClassesAndPointers)
{
    QuietBreaches quiet;
    UCHAR buffer[32];
    ULONG result = 0;
    Name v(u"v");
    EXPECT_EQ(ZwQueryValueKey(nullptr, v.get(), KeyValuePartialInformation, buffer, sizeof buffer, &result),
              STATUS_INVALID_HANDLE);
    Key closed;
    ASSERT_EQ(Open(&closed, kKey), STATUS_SUCCESS);
    const HANDLE stale = closed.get();
    closed.Close();
    EXPECT_EQ(ZwQueryValueKey(stale, v.get(), KeyValuePartialInformation, buffer, sizeof buffer, &result),
              STATUS_INVALID_HANDLE);
    EXPECT_EQ(ZwClose(stale), STATUS_INVALID_HANDLE);
    EXPECT_EQ(ZwQueryValueKey(key_.get(), v.get(), static_cast<KEY_VALUE_INFORMATION_CLASS>(3), buffer,
                              sizeof buffer, &result),
              STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(quiet.Take().empty());

    EXPECT_EQ(
        ZwQueryValueKey(key_.get(), v.get(), KeyValuePartialInformation, buffer, sizeof buffer, nullptr),
        STATUS_INVALID_PARAMETER);
    EXPECT_EQ(ZwQueryValueKey(key_.get(), v.get(), KeyValuePartialInformation, nullptr, 16, &result),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(
        ZwQueryValueKey(key_.get(), nullptr, KeyValuePartialInformation, buffer, sizeof buffer, &result),
        STATUS_INVALID_PARAMETER);
    EXPECT_EQ(ZwSetValueKey(key_.get(), v.get(), 0, REG_BINARY, nullptr, 4), STATUS_INVALID_PARAMETER);
    const auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 4u);
    for (const auto& breach : breaches)
        EXPECT_EQ(breach.rule, "bad-argument");
    EXPECT_FALSE(standin::ReadRegistryValue(kKey, u"v").has_value());
}
