// Device interfaces: the link name and the "DeviceClasses" keys in Windows' layout, enabling and
// disabling with their statuses, the "Device Parameters" key where a driver writes "FriendlyName",
// the lists of a class, opening a device through its interface, and the end of a device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "../core/Breaches.h"
#include "TestDriver.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/registry.h"

using iotest::Counted;
using iotest::TestDriver;
using testing::ElementsAre;

namespace {

constexpr char16_t kInstance[] = u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01\\4&2c9f3b4a&0&0020";
constexpr char16_t kMangled[] = u"PCI#VEN_1172&DEV_0004&SUBSYS_00041172&REV_01#4&2c9f3b4a&0&0020";
constexpr char16_t kCapture[] = u"{65e8773d-8f56-11d0-a3b9-00a0c9223196}";
constexpr char16_t kVideoReference[] = u"{13637B79-A9F8-4ce5-8AB7-4C9C15CC4834}";
const std::u16string kClasses = u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\";

std::u16string Text(const UNICODE_STRING& s)
{
    return std::u16string(s.Buffer, s.Length / sizeof(WCHAR));
}

std::vector<std::u16string> List(PWSTR list)
{
    std::vector<std::u16string> names;
    for (PWSTR p = list; *p; p += names.back().size() + 1)
        names.emplace_back(p);
    ExFreePool(list);
    return names;
}

} // namespace

class DeviceInterface : public testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetRegistry();
        standin::ResetDeviceInterfaces();
        standin::PhysicalDeviceProperties properties;
        properties.instancePath = kInstance;
        properties.hardwareIds = {u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01"};
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        fdo_ = driver_.AddDevice(u"");
        ASSERT_EQ(IoAttachDeviceToDeviceStack(fdo_, pdo_), pdo_);
    }
    void TearDown() override
    {
        if (pdo_) {
            IoDetachDevice(pdo_);
            standin::DeletePhysicalDeviceObject(pdo_);
        }
        standin::ResetDeviceInterfaces();
        standin::ResetRegistry();
    }
    std::u16string Register(const GUID& category, const char16_t* reference)
    {
        std::u16string text = reference ? reference : u"";
        UNICODE_STRING ref = Counted(text);
        UNICODE_STRING link{};
        EXPECT_EQ(IoRegisterDeviceInterface(pdo_, &category, reference ? &ref : nullptr, &link),
                  STATUS_SUCCESS);
        std::u16string name = Text(link);
        RtlFreeUnicodeString(&link);
        return name;
    }
    NTSTATUS SetState(const std::u16string& link, bool enable)
    {
        UNICODE_STRING name = Counted(link);
        return IoSetDeviceInterfaceState(&name, enable);
    }

    TestDriver driver_;
    PDEVICE_OBJECT pdo_ = nullptr;
    PDEVICE_OBJECT fdo_ = nullptr;
};

TEST_F(DeviceInterface, RegistrationGivesWindowsLinkNameAndKeys)
{
    const std::u16string link = Register(KSCATEGORY_CAPTURE, kVideoReference);
    EXPECT_EQ(link, std::u16string(u"\\??\\") + kMangled + u"#" + kCapture + u"\\" + kVideoReference);
    const std::u16string interfaceKey = kClasses + kCapture + u"\\##?#" + kMangled + u"#" + kCapture;
    EXPECT_EQ(standin::ReadRegistryString(interfaceKey, u"DeviceInstance"), kInstance);
    const std::u16string referenceKey = interfaceKey + u"\\#" + kVideoReference;
    EXPECT_EQ(standin::ReadRegistryString(referenceKey, u"SymbolicLink"),
              std::u16string(u"\\\\?\\") + kMangled + u"#" + kCapture + u"\\" + kVideoReference);
    EXPECT_TRUE(standin::RegistryKeyExists(referenceKey + u"\\Device Parameters"));
    EXPECT_FALSE(standin::RegistryKeyExists(referenceKey + u"\\Control")); // registered, not enabled

    // Without a reference string the key is "#" and the link has no tail; registering again finds it.
    const std::u16string plain = Register(KSCATEGORY_CAPTURE, nullptr);
    EXPECT_EQ(plain, std::u16string(u"\\??\\") + kMangled + u"#" + kCapture);
    EXPECT_TRUE(standin::RegistryKeyExists(interfaceKey + u"\\#\\Device Parameters"));
    EXPECT_EQ(Register(KSCATEGORY_CAPTURE, kVideoReference), link);
    EXPECT_EQ(standin::DeviceInterfaces(&KSCATEGORY_CAPTURE).size(), 2u);
}

TEST_F(DeviceInterface, EnablingLinksTheInterfaceAndDisablingUnlinksIt)
{
    const std::u16string link = Register(KSCATEGORY_VIDEO, kVideoReference);
    const std::u16string control = standin::DeviceInterfaces(&KSCATEGORY_VIDEO)[0].deviceParametersKeyPath;
    const std::u16string referenceKey = control.substr(0, control.rfind(u'\\'));
    standin::DeviceOpenRequest request;
    HANDLE handle;
    EXPECT_EQ(standin::OpenDeviceFile(link, nullptr, request, &handle), STATUS_OBJECT_NAME_NOT_FOUND);

    EXPECT_EQ(SetState(link, true), STATUS_SUCCESS);
    EXPECT_EQ(SetState(link, true), STATUS_OBJECT_NAME_EXISTS);
    EXPECT_EQ(standin::ReadRegistryDword(referenceKey + u"\\Control", u"Linked"), 1u);
    // The open reaches the top of the physical device's stack with the reference string as the name.
    ASSERT_EQ(standin::OpenDeviceFile(link, nullptr, request, &handle), STATUS_SUCCESS);
    EXPECT_THAT(TestDriver::State(fdo_).createNames, ElementsAre(u"\\" + std::u16string(kVideoReference)));
    ZwClose(handle);

    EXPECT_EQ(SetState(link, false), STATUS_SUCCESS);
    EXPECT_EQ(SetState(link, false), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_FALSE(standin::RegistryKeyExists(referenceKey + u"\\Control"));
    EXPECT_EQ(standin::OpenDeviceFile(link, nullptr, request, &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(SetState(u"\\??\\Nothing#{00000000-0000-0000-0000-000000000000}", true),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(DeviceInterface, TheDriversFriendlyNameLandsWhereTheDeviceClassesLayoutPutsIt)
{
    const std::u16string link = Register(KSCATEGORY_CAPTURE, kVideoReference);
    UNICODE_STRING name = Counted(link);
    HANDLE key;
    ASSERT_EQ(IoOpenDeviceInterfaceRegistryKey(&name, KEY_ALL_ACCESS, &key), STATUS_SUCCESS);
    std::u16string valueName = u"FriendlyName", value = u"Framecap HD Video Device 1";
    UNICODE_STRING counted = Counted(valueName);
    ASSERT_EQ(ZwSetValueKey(key, &counted, 0, REG_SZ, value.data(), ULONG((value.size() + 1) * 2)),
              STATUS_SUCCESS);
    ZwClose(key);
    // The path a driver builds from the link name: "##?#" + the link's device part + "\#" + reference.
    const std::u16string path = kClasses + kCapture + u"\\##?#" + link.substr(4, link.find(u'\\', 4) - 4) +
                                u"\\#" + kVideoReference + u"\\Device Parameters";
    EXPECT_EQ(standin::ReadRegistryString(path, u"FriendlyName"), value);
    std::u16string unknown = u"\\??\\Unknown";
    UNICODE_STRING missing = Counted(unknown);
    EXPECT_EQ(IoOpenDeviceInterfaceRegistryKey(&missing, KEY_READ, &key), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(DeviceInterface, ListsHoldTheEnabledInterfacesOfAClassInRegistrationOrder)
{
    const std::u16string first = Register(KSCATEGORY_CAPTURE, u"{first}");
    const std::u16string crossbar = Register(KSCATEGORY_CROSSBAR, u"{other}");
    const std::u16string second = Register(KSCATEGORY_CAPTURE, u"{second}");
    SetState(second, true);
    SetState(first, true);
    SetState(crossbar, true);
    PWSTR list;
    ASSERT_EQ(IoGetDeviceInterfaces(&KSCATEGORY_CAPTURE, nullptr, 0, &list), STATUS_SUCCESS);
    EXPECT_THAT(List(list), ElementsAre(first, second));
    SetState(first, false);
    ASSERT_EQ(IoGetDeviceInterfaces(&KSCATEGORY_CAPTURE, nullptr, 0, &list), STATUS_SUCCESS);
    EXPECT_THAT(List(list), ElementsAre(second));
    ASSERT_EQ(IoGetDeviceInterfaces(&KSCATEGORY_CAPTURE, pdo_, DEVICE_INTERFACE_INCLUDE_NONACTIVE, &list),
              STATUS_SUCCESS);
    EXPECT_THAT(List(list), ElementsAre(first, second));
    ASSERT_EQ(IoGetDeviceInterfaces(&KSCATEGORY_AUDIO, nullptr, 0, &list), STATUS_SUCCESS);
    EXPECT_TRUE(List(list).empty());
}

TEST_F(DeviceInterface, ADeviceThatGoesAwayTakesItsInterfacesDownAndABackComingOneFindsThem)
{
    const std::u16string link = Register(KSCATEGORY_CAPTURE, kVideoReference);
    SetState(link, true);
    IoDetachDevice(pdo_);
    standin::DeletePhysicalDeviceObject(pdo_);
    pdo_ = nullptr;
    auto records = standin::DeviceInterfaces(&KSCATEGORY_CAPTURE);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].enabled);
    EXPECT_EQ(SetState(link, true), STATUS_OBJECT_NAME_NOT_FOUND);

    standin::PhysicalDeviceProperties properties;
    properties.instancePath = kInstance;
    pdo_ = standin::CreatePhysicalDeviceObject(properties);
    ASSERT_EQ(IoAttachDeviceToDeviceStack(fdo_, pdo_), pdo_);
    EXPECT_EQ(Register(KSCATEGORY_CAPTURE, kVideoReference), link);
    EXPECT_EQ(SetState(link, true), STATUS_SUCCESS);
    standin::DeviceOpenRequest request;
    HANDLE handle;
    ASSERT_EQ(standin::OpenDeviceFile(link, nullptr, request, &handle), STATUS_SUCCESS);
    ZwClose(handle);
}

TEST_F(DeviceInterface, OnlyPhysicalDevicesWithAnInstancePathAndPlainReferenceStringsRegister)
{
    QuietBreaches quiet;
    UNICODE_STRING link{};
    EXPECT_EQ(IoRegisterDeviceInterface(fdo_, &KSCATEGORY_CAPTURE, nullptr, &link),
              STATUS_INVALID_DEVICE_REQUEST);
    standin::PhysicalDeviceProperties bare;
    PDEVICE_OBJECT noPath = standin::CreatePhysicalDeviceObject(bare);
    EXPECT_EQ(IoRegisterDeviceInterface(noPath, &KSCATEGORY_CAPTURE, nullptr, &link),
              STATUS_INVALID_DEVICE_REQUEST);
    standin::DeletePhysicalDeviceObject(noPath);
    EXPECT_EQ(quiet.Take().size(), 2u);
    std::u16string bad = u"a\\b";
    UNICODE_STRING reference = Counted(bad);
    EXPECT_EQ(IoRegisterDeviceInterface(pdo_, &KSCATEGORY_CAPTURE, &reference, &link),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(IoRegisterDeviceInterface(pdo_, nullptr, nullptr, &link), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(link.Buffer, nullptr);
}
