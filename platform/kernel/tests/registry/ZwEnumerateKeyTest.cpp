// Sub-key enumeration and key queries: the order, the end, the basic, node and full records with
// their boundaries, classes, and the driver's usual two-step read with a retry on overflow.
#include "RegistryTestSupport.h"

using namespace regtest;

namespace {

const std::u16string kKey = u"\\Registry\\Machine\\Software";

NTSTATUS CreateWithClass(Key* key, std::u16string_view path, std::u16string_view className)
{
    Name name(path);
    Name keyClass(className);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name.get(), OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    return ZwCreateKey(key->out(), KEY_ALL_ACCESS, &attributes, 0, keyClass.get(), 0, nullptr);
}

std::u16string NameIn(const std::vector<UCHAR>& record, size_t offset, ULONG bytes)
{
    std::u16string name(bytes / 2, u'\0');
    std::memcpy(name.data(), record.data() + offset, bytes);
    return name;
}

} // namespace

TEST_F(RegistryTest, EnumerationReturnsEverySubKeyInNameOrderThenNoMoreEntries)
{
    Key parent;
    ASSERT_EQ(Create(&parent, kKey), STATUS_SUCCESS);
    for (auto name : {u"Gamma", u"alpha", u"Beta"}) {
        Key child;
        ASSERT_EQ(Create(&child, name, nullptr, 0, parent.get()), STATUS_SUCCESS);
    }
    std::vector<std::u16string> seen;
    ULONG index = 0;
    NTSTATUS status;
    std::vector<UCHAR> record(232);
    ULONG result = 0;
    while ((status = ZwEnumerateKey(parent.get(), index, KeyNodeInformation, record.data(),
                                    static_cast<ULONG>(record.size()), &result)) == STATUS_SUCCESS) {
        seen.push_back(NameIn(record, 24, ReadAt<ULONG>(record, 20)));
        ++index;
    }
    EXPECT_EQ(status, STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"alpha", u"Beta", u"Gamma"}));
    EXPECT_EQ(ZwEnumerateKey(parent.get(), 0xFFFFFFFF, KeyBasicInformation, record.data(), 232, &result),
              STATUS_NO_MORE_ENTRIES);
    EXPECT_EQ(
        ZwEnumerateKey(parent.get(), 0, static_cast<KEY_INFORMATION_CLASS>(9), record.data(), 232, &result),
        STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryTest, NodeRecordAtItsBoundariesWithAndWithoutClass)
{
    Key parent, withClass, plain;
    ASSERT_EQ(Create(&parent, kKey), STATUS_SUCCESS);
    ASSERT_EQ(CreateWithClass(&withClass, kKey + u"\\Sub", u"Cls"), STATUS_SUCCESS);
    ASSERT_EQ(Create(&plain, kKey + u"\\Tail"), STATUS_SUCCESS);

    // "Sub" and "Cls" are 6 bytes each: 24 + 6 + 6.
    constexpr ULONG kNeeded = 36;
    for (ULONG length : {0u, 23u, 24u, 35u, kNeeded}) {
        SCOPED_TRACE(length);
        std::vector<UCHAR> record(length, 0xCD);
        ULONG result = 0;
        const NTSTATUS status = ZwEnumerateKey(parent.get(), 0, KeyNodeInformation,
                                               length ? record.data() : nullptr, length, &result);
        EXPECT_EQ(result, kNeeded);
        if (length < 24) {
            EXPECT_EQ(status, STATUS_BUFFER_TOO_SMALL);
            continue;
        }
        EXPECT_EQ(status, length == kNeeded ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW);
        EXPECT_EQ(ReadAt<ULONG>(record, 12), 30u); // ClassOffset: right after the name
        EXPECT_EQ(ReadAt<ULONG>(record, 16), 6u);  // ClassLength
        EXPECT_EQ(ReadAt<ULONG>(record, 20), 6u);  // NameLength
        if (length == kNeeded) {
            EXPECT_EQ(NameIn(record, 24, 6), u"Sub");
            EXPECT_EQ(NameIn(record, 30, 6), u"Cls");
        }
    }
    std::vector<UCHAR> record(64);
    ULONG result = 0;
    ASSERT_EQ(ZwEnumerateKey(parent.get(), 1, KeyNodeInformation, record.data(), 64, &result),
              STATUS_SUCCESS);
    EXPECT_EQ(result, 24u + 8);
    EXPECT_EQ(ReadAt<ULONG>(record, 12), 0xFFFFFFFFu);
    EXPECT_EQ(ReadAt<ULONG>(record, 16), 0u);
}

TEST_F(RegistryTest, FullRecordSummarisesSubKeysAndValues)
{
    Key key;
    ASSERT_EQ(CreateWithClass(&key, kKey, u"Klass"), STATUS_SUCCESS);
    for (auto name : {u"A", u"Longer"}) {
        Key child;
        ASSERT_EQ(Create(&child, name, nullptr, 0, key.get()), STATUS_SUCCESS);
    }
    const UCHAR ten[10] = {};
    ASSERT_EQ(SetDword(key.get(), u"x", 1), STATUS_SUCCESS);
    ASSERT_EQ(SetValue(key.get(), u"LongName", REG_BINARY, ten, sizeof ten), STATUS_SUCCESS);

    std::vector<UCHAR> record(43);
    ULONG result = 0;
    EXPECT_EQ(ZwQueryKey(key.get(), KeyFullInformation, record.data(), 43, &result), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(result, 44u + 10);
    record.assign(54, 0);
    ASSERT_EQ(ZwQueryKey(key.get(), KeyFullInformation, record.data(), 54, &result), STATUS_SUCCESS);
    EXPECT_GT(ReadAt<LONGLONG>(record, 0), 0);
    EXPECT_EQ(ReadAt<ULONG>(record, 12), 44u); // ClassOffset
    EXPECT_EQ(ReadAt<ULONG>(record, 16), 10u); // ClassLength
    EXPECT_EQ(ReadAt<ULONG>(record, 20), 2u);  // SubKeys
    EXPECT_EQ(ReadAt<ULONG>(record, 24), 12u); // MaxNameLen: "Longer"
    EXPECT_EQ(ReadAt<ULONG>(record, 28), 0u);  // MaxClassLen
    EXPECT_EQ(ReadAt<ULONG>(record, 32), 2u);  // Values
    EXPECT_EQ(ReadAt<ULONG>(record, 36), 16u); // MaxValueNameLen: "LongName"
    EXPECT_EQ(ReadAt<ULONG>(record, 40), 10u); // MaxValueDataLen
    EXPECT_EQ(NameIn(record, 44, 10), u"Klass");

    // The same summary through the parent, with no class: the class offset says so.
    Key parent;
    ASSERT_EQ(Open(&parent, u"\\Registry\\Machine"), STATUS_SUCCESS);
    record.assign(44, 0);
    ASSERT_EQ(ZwQueryKey(parent.get(), KeyFullInformation, record.data(), 44, &result), STATUS_SUCCESS);
    EXPECT_EQ(ReadAt<ULONG>(record, 12), 0xFFFFFFFFu);
    EXPECT_EQ(ReadAt<ULONG>(record, 20), 1u);
    EXPECT_EQ(ReadAt<ULONG>(record, 24), 16u); // "Software"
}

TEST_F(RegistryTest, BasicRecordNamesTheKeyAndRetryingWithTheReportedSizeSucceeds)
{
    Key key;
    ASSERT_EQ(Create(&key, kKey), STATUS_SUCCESS);
    std::vector<UCHAR> record(16);
    ULONG result = 0;
    ASSERT_EQ(ZwQueryKey(key.get(), KeyBasicInformation, record.data(), 16, &result), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(ReadAt<ULONG>(record, 12), 16u);
    record.assign(result, 0);
    ASSERT_EQ(ZwQueryKey(key.get(), KeyBasicInformation, record.data(), result, &result), STATUS_SUCCESS);
    EXPECT_EQ(NameIn(record, 16, 16), u"Software");
}
