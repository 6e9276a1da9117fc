// The shared fixture of the user-side kernel-streaming tests.
#include "KsMinidriverFixture.h"

#include "um/cfgmgr32.h"
#include "standin/devicefile.h"
#include "standin/devices.h"
#include "standin/registry.h"

namespace kstest {

namespace {

constexpr char16_t kInstance[] = u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01\\4&1&0&0020";

} // namespace

NTSTATUS Pnp(PDEVICE_OBJECT pdo, UCHAR minor)
{
    IO_STACK_LOCATION request{};
    request.MajorFunction = IRP_MJ_PNP;
    request.MinorFunction = minor;
    CM_RESOURCE_LIST none{};
    if (minor == IRP_MN_START_DEVICE) {
        request.Parameters.StartDevice.AllocatedResources = &none;
        request.Parameters.StartDevice.AllocatedResourcesTranslated = &none;
    }
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(pdo);
    const IO_STATUS_BLOCK result = standin::CallDriverAndWait(top, request);
    ObDereferenceObject(top);
    return result.Status;
}

std::vector<std::u16string> Interfaces(const GUID& category)
{
    ULONG length = 0;
    EXPECT_EQ(CM_Get_Device_Interface_List_SizeW(&length, &category, nullptr, 0), CR_SUCCESS);
    std::vector<WCHAR> list(length);
    EXPECT_EQ(CM_Get_Device_Interface_ListW(&category, nullptr, list.data(), length, 0), CR_SUCCESS);
    std::vector<std::u16string> paths;
    for (const WCHAR* p = list.data(); *p; p += paths.back().size() + 1)
        paths.emplace_back(p);
    return paths;
}

KSPROPERTY Property(const GUID& set, ULONG id, ULONG flags)
{
    KSPROPERTY property{};
    property.Set = set;
    property.Id = id;
    property.Flags = flags;
    return property;
}

void MinidriverTest::SetUp()
{
    standin::ResetRegistry();
    standin::ResetDeviceInterfaces();
    ResetSeen();
    standin::PhysicalDeviceProperties properties;
    properties.instancePath = kInstance;
    pdo_ = standin::CreatePhysicalDeviceObject(properties);
    driver_ = LoadMinidriver(withProxyFilters_);
    ASSERT_NE(driver_, nullptr);
    ASSERT_EQ(driver_->DriverExtension->AddDevice(driver_, pdo_), STATUS_SUCCESS);
    ASSERT_EQ(Pnp(pdo_, IRP_MN_START_DEVICE), STATUS_SUCCESS);
    const auto paths = Interfaces(KSCATEGORY_CAPTURE);
    ASSERT_EQ(paths.size(), withProxyFilters_ ? 2u : 1u);
    path_ = paths.front();
}

void MinidriverTest::TearDown()
{
    if (pdo_ && pdo_->AttachedDevice)
        Pnp(pdo_, IRP_MN_REMOVE_DEVICE);
    if (driver_)
        UnloadMinidriver(driver_);
    if (pdo_)
        standin::DeletePhysicalDeviceObject(pdo_);
    standin::ResetDeviceInterfaces();
    standin::ResetRegistry();
}

HANDLE MinidriverTest::OpenCapture() const
{
    return CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

DWORD MinidriverTest::Ask(HANDLE handle, const void* request, DWORD requestLength, void* data, DWORD dataLength,
                          DWORD* bytes)
{
    *bytes = 0;
    if (DeviceIoControl(handle, IOCTL_KS_PROPERTY, const_cast<void*>(request), requestLength, data, dataLength,
                        bytes, nullptr))
        return 0;
    return GetLastError();
}

} // namespace kstest
