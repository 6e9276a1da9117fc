// Finding a device by interface class from user mode: the configuration manager's lists of paths,
// the friendly name a driver wrote, and opening a device by its interface path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "TestDriver.h"
#include "um/cfgmgr32.h"
#include "um/windows.h"
#include "standin/devices.h"
#include "standin/registry.h"

using iotest::Counted;
using iotest::TestDriver;
using testing::ElementsAre;

namespace {

constexpr char16_t kInstance[] = u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01\\4&1&0&0020";
constexpr char16_t kPrefix[] =
    u"\\\\?\\PCI#VEN_1172&DEV_0004&SUBSYS_00041172&REV_01#4&1&0&0020#{65e8773d-8f56-11d0-a3b9-00a0c9223196}";

std::vector<std::u16string> Split(const std::vector<WCHAR>& list)
{
    std::vector<std::u16string> paths;
    for (const WCHAR* p = list.data(); *p; p += paths.back().size() + 1)
        paths.emplace_back(p);
    return paths;
}

} // namespace

class InterfaceList : public testing::Test {
protected:
    void SetUp() override
    {
        standin::ResetRegistry();
        standin::ResetDeviceInterfaces();
        standin::PhysicalDeviceProperties properties;
        properties.instancePath = kInstance;
        pdo_ = standin::CreatePhysicalDeviceObject(properties);
        fdo_ = driver_.AddDevice(u"");
        IoAttachDeviceToDeviceStack(fdo_, pdo_);
        video_ = Register(u"{video}");
        audio_ = Register(u"{audio}");
        Enable(video_);
        SetFriendlyName(video_, u"Framecap HD Video Device 1");
    }
    void TearDown() override
    {
        IoDetachDevice(pdo_);
        driver_.RemoveDevice(fdo_);
        standin::DeletePhysicalDeviceObject(pdo_);
        standin::ResetDeviceInterfaces();
        standin::ResetRegistry();
    }
    std::u16string Register(const std::u16string& reference)
    {
        UNICODE_STRING ref = Counted(reference), link{};
        EXPECT_EQ(IoRegisterDeviceInterface(pdo_, &KSCATEGORY_CAPTURE, &ref, &link), STATUS_SUCCESS);
        std::u16string text(link.Buffer, link.Length / 2);
        RtlFreeUnicodeString(&link);
        return text;
    }
    void Enable(const std::u16string& link)
    {
        UNICODE_STRING name = Counted(link);
        ASSERT_EQ(IoSetDeviceInterfaceState(&name, TRUE), STATUS_SUCCESS);
    }
    void SetFriendlyName(const std::u16string& link, std::u16string value)
    {
        UNICODE_STRING name = Counted(link);
        HANDLE key;
        ASSERT_EQ(IoOpenDeviceInterfaceRegistryKey(&name, KEY_SET_VALUE, &key), STATUS_SUCCESS);
        std::u16string valueName = u"FriendlyName";
        UNICODE_STRING counted = Counted(valueName);
        ZwSetValueKey(key, &counted, 0, REG_SZ, value.data(), ULONG((value.size() + 1) * 2));
        ZwClose(key);
    }
    std::vector<WCHAR> List(ULONG flags, DEVINSTID_W device = nullptr)
    {
        ULONG length = 0;
        EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_CAPTURE, device, flags),
                  CR_SUCCESS);
        std::vector<WCHAR> list(length);
        EXPECT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, device, list.data(), length, flags),
                  CR_SUCCESS);
        return list;
    }

    TestDriver driver_;
    PDEVICE_OBJECT pdo_ = nullptr;
    PDEVICE_OBJECT fdo_ = nullptr;
    std::u16string video_, audio_;
};

TEST_F(InterfaceList, ListsTheEnabledInterfacesOfAClassAsUserPaths)
{
    const std::u16string video = std::u16string(kPrefix) + u"\\{video}";
    const std::u16string audio = std::u16string(kPrefix) + u"\\{audio}";
    const std::vector<WCHAR> list = List(CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    EXPECT_EQ(list.size(), video.size() + 2);
    EXPECT_THAT(Split(list), ElementsAre(video));
    EXPECT_THAT(Split(List(CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES)), ElementsAre(video, audio));
    std::u16string other = u"PCI\\VEN_0000&DEV_0000\\0";
    EXPECT_TRUE(Split(List(CM_GET_DEVICE_INTERFACE_LIST_PRESENT, other.data())).empty());
    std::u16string same = u"pci\\ven_1172&dev_0004&subsys_00041172&rev_01\\4&1&0&0020";
    EXPECT_THAT(Split(List(CM_GET_DEVICE_INTERFACE_LIST_PRESENT, same.data())), ElementsAre(video));

    ULONG length = 0;
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_AUDIO, nullptr, 0), CR_SUCCESS);
    EXPECT_EQ(length, 1u);
    std::vector<WCHAR> small(10);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, nullptr, small.data(), 10, 0),
              CR_BUFFER_SMALL);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, nullptr, small.data(), 10, 2),
              CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(nullptr, &KSCATEGORY_CAPTURE, nullptr, 0),
              CR_INVALID_POINTER);
}

TEST_F(InterfaceList, TheFriendlyNameIsTheOneTheDriverWrote)
{
    const std::u16string video = std::u16string(kPrefix) + u"\\{video}";
    DEVPROPTYPE type = 0;
    ULONG size = 0;
    EXPECT_EQ(CM_Get_Device_Interface_PropertyW(video.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                nullptr, &size, 0),
              CR_BUFFER_SMALL);
    const std::u16string expected = u"Framecap HD Video Device 1";
    EXPECT_EQ(size, (expected.size() + 1) * 2);
    std::vector<BYTE> buffer(size);
    ASSERT_EQ(CM_Get_Device_Interface_PropertyW(video.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                buffer.data(), &size, 0),
              CR_SUCCESS);
    EXPECT_EQ(type, ULONG(DEVPROP_TYPE_STRING));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer.data())), expected);

    const std::u16string audio = std::u16string(kPrefix) + u"\\{audio}";
    size = 0;
    EXPECT_EQ(CM_Get_Device_Interface_PropertyW(audio.c_str(), &DEVPKEY_DeviceInterface_FriendlyName, &type,
                                                nullptr, &size, 0),
              CR_NO_SUCH_VALUE);
    EXPECT_EQ(CM_Get_Device_Interface_PropertyW(u"\\\\?\\nothing", &DEVPKEY_DeviceInterface_FriendlyName,
                                                &type, nullptr, &size, 0),
              CR_NO_SUCH_DEVICE_INTERFACE);
    DEVPROPKEY other = DEVPKEY_DeviceInterface_FriendlyName;
    other.pid = 3;
    EXPECT_EQ(CM_Get_Device_Interface_PropertyW(video.c_str(), &other, &type, nullptr, &size, 0),
              CR_NO_SUCH_VALUE);
}

TEST_F(InterfaceList, AnInterfacePathOpensTheDeviceWithTheReferenceStringAsItsName)
{
    const std::vector<WCHAR> list = List(CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
    HANDLE handle =
        CreateFileW(list.data(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(TestDriver::State(fdo_).createNames, ElementsAre(u"\\{video}"));
    CloseHandle(handle);
    // The registered but disabled interface cannot be opened.
    const std::u16string audio = std::u16string(kPrefix) + u"\\{audio}";
    EXPECT_EQ(CreateFileW(audio.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}
