// Opening, creating and deleting keys: paths and their case, dispositions, missing parents,
// malformed names, relative opens, volatile keys, access rights, handles and the breaches of bad
// callers.
#include "RegistryTestSupport.h"

#include "../core/Breaches.h"
#include "km/irql.h"
#include "km/thread.h"
#include "km/time.h"
#include "platform/Clock.h"
#include "standin/registry.h"
#include "standin/verifier.h"

using namespace regtest;

namespace {
const std::u16string kSoftware = u"\\Registry\\Machine\\Software";
} // namespace

TEST_F(RegistryTest, CreateMakesOnlyTheLastNameAndReportsTheDisposition)
{
    Key key;
    ULONG disposition = 0;
    ASSERT_EQ(Create(&key, kSoftware, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    key.Close();
    ASSERT_EQ(Create(&key, u"\\REGISTRY\\MACHINE\\SOFTWARE", &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    key.Close();

    Key missing;
    disposition = 77;
    EXPECT_EQ(Create(&missing, u"\\Registry\\Machine\\System\\CurrentControlSet", &disposition),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(missing.get(), nullptr);
    EXPECT_EQ(disposition, 77u);
    EXPECT_FALSE(standin::RegistryKeyExists(u"\\Registry\\Machine\\System"));
    EXPECT_EQ(standin::RegistrySubKeyNames(u"\\Registry\\Machine"), std::vector<std::u16string>{u"Software"});
}

TEST_F(RegistryTest, PathsResolveWhateverTheirCase)
{
    Key hardware, devicemap;
    ASSERT_EQ(Create(&hardware, u"\\Registry\\Machine\\HARDWARE"), STATUS_SUCCESS);
    ASSERT_EQ(Create(&devicemap, u"\\Registry\\Machine\\HARDWARE\\DEVICEMAP"), STATUS_SUCCESS);
    for (auto path :
         {u"\\REGISTRY\\Machine\\HARDWARE\\DEVICEMAP", u"\\registry\\machine\\hardware\\devicemap",
          u"\\Registry\\MACHINE\\Hardware\\DeviceMap"}) {
        Key key;
        EXPECT_EQ(Open(&key, path), STATUS_SUCCESS);
    }
    ULONG disposition = 0;
    Key again;
    ASSERT_EQ(Create(&again, u"\\registry\\machine\\hardware\\devicemap", &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(standin::RegistrySubKeyNames(u"\\Registry\\Machine\\Hardware"),
              std::vector<std::u16string>{u"DEVICEMAP"});
}

TEST_F(RegistryTest, MissingKeysAndMalformedPathsAreRefused)
{
    Key software;
    ASSERT_EQ(Create(&software, kSoftware), STATUS_SUCCESS);
    const std::u16string longest(255, u'n');
    const struct {
        std::u16string path;
        NTSTATUS status;
    } cases[] = {
        {u"\\Registry\\Machine\\Nope", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\Registry\\Machine\\Nope\\Deeper", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\Elsewhere\\Machine", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"\\", STATUS_OBJECT_NAME_NOT_FOUND},
        {u"Registry\\Machine", STATUS_OBJECT_PATH_SYNTAX_BAD},
        {u"\\Registry\\\\Machine", STATUS_OBJECT_NAME_INVALID},
        {u"\\Registry\\Machine\\", STATUS_OBJECT_NAME_INVALID},
        {u"", STATUS_OBJECT_NAME_INVALID},
        {kSoftware + u"\\" + longest, STATUS_OBJECT_NAME_NOT_FOUND},
        {kSoftware + u"\\" + longest + u"n", STATUS_OBJECT_NAME_INVALID},
    };
    for (const auto& c : cases) {
        Key key;
        EXPECT_EQ(Open(&key, c.path), c.status) << c.path.size();
        EXPECT_EQ(key.get(), nullptr);
    }
    Key created;
    EXPECT_EQ(Create(&created, kSoftware + u"\\" + longest), STATUS_SUCCESS);
    Key tooLong;
    EXPECT_EQ(Create(&tooLong, kSoftware + u"\\" + longest + u"n"), STATUS_OBJECT_NAME_INVALID);

    UNICODE_STRING odd{3, 4, const_cast<PWSTR>(u"\\R")};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &odd, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE handle = nullptr;
    EXPECT_EQ(ZwOpenKey(&handle, KEY_READ, &attributes), STATUS_OBJECT_NAME_INVALID);
    attributes.Length = sizeof attributes - 1;
    EXPECT_EQ(ZwOpenKey(&handle, KEY_READ, &attributes), STATUS_INVALID_PARAMETER);
}

TEST_F(RegistryTest, PathsRelativeToARootKey)
{
    Key software, vendor;
    ASSERT_EQ(Create(&software, kSoftware), STATUS_SUCCESS);
    ULONG disposition = 0;
    ASSERT_EQ(Create(&vendor, u"Vendor", &disposition, 0, software.get()), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_TRUE(standin::RegistryKeyExists(kSoftware + u"\\vendor"));

    Key relative, itself, absolute, bad;
    EXPECT_EQ(Open(&relative, u"VENDOR", KEY_READ, software.get()), STATUS_SUCCESS);
    EXPECT_EQ(Open(&itself, u"", KEY_READ, vendor.get()), STATUS_SUCCESS);
    EXPECT_EQ(Open(&absolute, u"\\Vendor", KEY_READ, software.get()), STATUS_OBJECT_PATH_SYNTAX_BAD);
    EXPECT_EQ(Open(&bad, u"Vendor", KEY_READ, reinterpret_cast<HANDLE>(0x7FFFFFF0)), STATUS_INVALID_HANDLE);
    ASSERT_EQ(SetDword(itself.get(), u"Seen", 5), STATUS_ACCESS_DENIED); // opened for reading
    ASSERT_EQ(SetDword(vendor.get(), u"Seen", 5), STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kSoftware + u"\\Vendor", u"seen"), 5u);
}

TEST_F(RegistryTest, OnlyTheTwoHivesHangBelowTheRoot)
{
    Key other, machine;
    EXPECT_EQ(Create(&other, u"\\Registry\\Other"), STATUS_ACCESS_DENIED);
    ASSERT_EQ(Open(&machine, u"\\Registry\\Machine", KEY_ALL_ACCESS), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteKey(machine.get()), STATUS_CANNOT_DELETE);
    EXPECT_TRUE(standin::RegistryKeyExists(u"\\Registry\\Machine"));
}

TEST_F(RegistryTest, DeletionRefusesParentsAndLeavesHandlesThatAnswerKeyDeleted)
{
    Key parent, child, second;
    ASSERT_EQ(Create(&parent, kSoftware), STATUS_SUCCESS);
    ASSERT_EQ(Create(&child, kSoftware + u"\\Child"), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(child.get(), u"v", 1), STATUS_SUCCESS);
    ASSERT_EQ(Open(&second, kSoftware + u"\\Child", KEY_ALL_ACCESS), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteKey(parent.get()), STATUS_CANNOT_DELETE);

    Key reader;
    ASSERT_EQ(Open(&reader, kSoftware + u"\\Child", KEY_READ), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteKey(reader.get()), STATUS_ACCESS_DENIED);

    ASSERT_EQ(ZwDeleteKey(child.get()), STATUS_SUCCESS);
    EXPECT_FALSE(standin::RegistryKeyExists(kSoftware + u"\\Child"));
    UCHAR buffer[64];
    ULONG result = 0;
    Name v(u"v");
    EXPECT_EQ(
        ZwQueryValueKey(second.get(), v.get(), KeyValuePartialInformation, buffer, sizeof buffer, &result),
        STATUS_KEY_DELETED);
    EXPECT_EQ(SetDword(second.get(), u"v", 2), STATUS_KEY_DELETED);
    EXPECT_EQ(ZwEnumerateKey(second.get(), 0, KeyBasicInformation, buffer, sizeof buffer, &result),
              STATUS_KEY_DELETED);
    EXPECT_EQ(ZwFlushKey(second.get()), STATUS_KEY_DELETED);
    EXPECT_EQ(ZwDeleteKey(second.get()), STATUS_KEY_DELETED);
    Key below;
    EXPECT_EQ(Create(&below, u"Below", nullptr, 0, second.get()), STATUS_KEY_DELETED);

    // A new key of the same name is another key: the old handles stay dead.
    Key recreated;
    ASSERT_EQ(Create(&recreated, kSoftware + u"\\Child"), STATUS_SUCCESS);
    EXPECT_EQ(SetDword(second.get(), u"v", 3), STATUS_KEY_DELETED);
    recreated.Close();
    ASSERT_EQ(Open(&recreated, kSoftware + u"\\Child", KEY_ALL_ACCESS), STATUS_SUCCESS);
    ASSERT_EQ(ZwDeleteKey(recreated.get()), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteKey(parent.get()), STATUS_SUCCESS);
    EXPECT_EQ(standin::RegistrySubKeyNames(u"\\Registry\\Machine"), std::vector<std::u16string>{});
}

TEST_F(RegistryTest, EveryCallChecksTheAccessItsHandleWasGranted)
{
    Key writer;
    ASSERT_EQ(Create(&writer, kSoftware), STATUS_SUCCESS);
    ASSERT_EQ(SetDword(writer.get(), u"v", 1), STATUS_SUCCESS);
    UCHAR buffer[64];
    ULONG result = 0;
    Name v(u"v");

    Key reader;
    ASSERT_EQ(Open(&reader, kSoftware, KEY_READ), STATUS_SUCCESS);
    EXPECT_EQ(SetDword(reader.get(), u"v", 2), STATUS_ACCESS_DENIED);
    EXPECT_EQ(ZwDeleteValueKey(reader.get(), v.get()), STATUS_ACCESS_DENIED);
    EXPECT_EQ(
        ZwQueryValueKey(reader.get(), v.get(), KeyValuePartialInformation, buffer, sizeof buffer, &result),
        STATUS_SUCCESS);
    EXPECT_EQ(standin::ReadRegistryDword(kSoftware, u"v"), 1u);

    Key setOnly;
    ASSERT_EQ(Open(&setOnly, kSoftware, KEY_SET_VALUE), STATUS_SUCCESS);
    EXPECT_EQ(
        ZwQueryValueKey(setOnly.get(), v.get(), KeyValuePartialInformation, buffer, sizeof buffer, &result),
        STATUS_ACCESS_DENIED);
    EXPECT_EQ(ZwEnumerateKey(setOnly.get(), 0, KeyBasicInformation, buffer, sizeof buffer, &result),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(ZwQueryKey(setOnly.get(), KeyBasicInformation, buffer, sizeof buffer, &result),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(SetDword(setOnly.get(), u"v", 3), STATUS_SUCCESS);

    Key generic, maximum;
    ASSERT_EQ(Open(&generic, kSoftware, GENERIC_READ | GENERIC_WRITE), STATUS_SUCCESS);
    EXPECT_EQ(SetDword(generic.get(), u"v", 4), STATUS_SUCCESS);
    EXPECT_EQ(ZwDeleteKey(generic.get()), STATUS_ACCESS_DENIED);
    ASSERT_EQ(Open(&maximum, kSoftware, MAXIMUM_ALLOWED), STATUS_SUCCESS);
    PVOID object = nullptr;
    OBJECT_HANDLE_INFORMATION information{};
    ASSERT_EQ(
        ObReferenceObjectByHandle(maximum.get(), 0, *CmKeyObjectType, KernelMode, &object, &information),
        STATUS_SUCCESS);
    EXPECT_EQ(information.GrantedAccess, ACCESS_MASK(KEY_ALL_ACCESS));
    ObDereferenceObject(object);
    EXPECT_EQ(ObReferenceObjectByHandle(maximum.get(), 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_OBJECT_TYPE_MISMATCH);
}

TEST_F(RegistryTest, VolatileKeysTakeOnlyVolatileChildren)
{
    Key software, scratch, child, volatileChild;
    ASSERT_EQ(Create(&software, kSoftware), STATUS_SUCCESS);
    ASSERT_EQ(Create(&scratch, kSoftware + u"\\Scratch", nullptr, REG_OPTION_VOLATILE), STATUS_SUCCESS);
    EXPECT_EQ(Create(&child, kSoftware + u"\\Scratch\\Child"), STATUS_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(Create(&volatileChild, kSoftware + u"\\Scratch\\Child", nullptr, REG_OPTION_VOLATILE),
              STATUS_SUCCESS);
    Key link, unknown;
    EXPECT_EQ(Create(&link, kSoftware + u"\\Link", nullptr, REG_OPTION_CREATE_LINK),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Create(&unknown, kSoftware + u"\\Odd", nullptr, 0x100), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(standin::RegistryKeyExists(kSoftware + u"\\Link"));
}

TEST_F(RegistryTest, CreatingAKeyUpdatesItsParentsLastWriteTime)
{
    Key software;
    ASSERT_EQ(Create(&software, kSoftware), STATUS_SUCCESS);
    LARGE_INTEGER before;
    KeQuerySystemTime(&before);
    constexpr LONGLONG kHour = 36'000'000'000LL;
    platform::Clock::SetSystemTime(before.QuadPart + kHour);
    Key child;
    ASSERT_EQ(Create(&child, kSoftware + u"\\Child"), STATUS_SUCCESS);
    KEY_BASIC_INFORMATION information[4];
    ULONG result = 0;
    ASSERT_EQ(ZwQueryKey(software.get(), KeyBasicInformation, information, sizeof information, &result),
              STATUS_SUCCESS);
    EXPECT_GE(information[0].LastWriteTime.QuadPart, before.QuadPart + kHour);
    ASSERT_EQ(
        ZwEnumerateKey(software.get(), 0, KeyBasicInformation, information, sizeof information, &result),
        STATUS_SUCCESS);
    EXPECT_GE(information[0].LastWriteTime.QuadPart, before.QuadPart + kHour);
}

TEST_F(RegistryTest, KeysLeftOpenAreReportedAndBadCallersAreBreaches)
{
    QuietBreaches quiet;
    Key software;
    ASSERT_EQ(Create(&software, kSoftware), STATUS_SUCCESS);
    EXPECT_GE(standin::VerifierCheckLeaks(), 1u);
    auto breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_NE(breaches[0].detail.find("Key object \\REGISTRY\\MACHINE\\Software"), std::string::npos)
        << breaches[0].detail;

    Name name(kSoftware);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name.get(), OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    EXPECT_EQ(ZwOpenKey(nullptr, KEY_READ, &attributes), STATUS_INVALID_PARAMETER);
    HANDLE handle = nullptr;
    EXPECT_EQ(ZwOpenKey(&handle, KEY_READ, nullptr), STATUS_INVALID_PARAMETER);
    UNICODE_STRING unreadable{8, 8, nullptr};
    attributes.ObjectName = &unreadable;
    EXPECT_EQ(ZwOpenKey(&handle, KEY_READ, &attributes), STATUS_INVALID_PARAMETER);
    breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 3u);
    for (const auto& breach : breaches)
        EXPECT_EQ(breach.rule, "bad-argument");

    KIRQL old;
    KeRaiseIrql(APC_LEVEL, &old);
    Key raised;
    EXPECT_EQ(Open(&raised, kSoftware), STATUS_SUCCESS);
    KeLowerIrql(old);
    breaches = quiet.Take();
    ASSERT_EQ(breaches.size(), 1u);
    EXPECT_EQ(breaches[0].rule, "irql");
    EXPECT_NE(breaches[0].detail.find("ZwOpenKey"), std::string::npos);
}
