// The fixture with a real pin (see StreamPinTest.h).
#include "StreamPinTest.h"

#include "StreamTestFilter.h"
#include "km/deviceinterface.h"
#include "km/registry.h"
#include "um/cfgmgr32.h"
#include "standin/control.h"

namespace streamtest {
namespace {

constexpr char16_t kInstance[] = u"PCI\\VEN_1172&DEV_0005&SUBSYS_00051172&REV_01\\4&1&0&0028";

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

std::u16string FirstCaptureInterface()
{
    ULONG length = 0;
    if (CM_Get_Device_Interface_List_SizeW(&length, &KSCATEGORY_CAPTURE, nullptr, 0) != CR_SUCCESS)
        return {};
    std::vector<WCHAR> list(length + 1, 0);
    if (CM_Get_Device_Interface_ListW(&KSCATEGORY_CAPTURE, nullptr, list.data(), length, 0) != CR_SUCCESS)
        return {};
    return std::u16string(list.data());
}

} // namespace

void StreamPinTest::SetUp()
{
    TraceTest::SetUp();
    standin::ResetRegistry();
    standin::ResetDeviceInterfaces();
    ResetStreamTestFilter();
    standin::PhysicalDeviceProperties properties;
    properties.instancePath = kInstance;
    pdo_ = standin::CreatePhysicalDeviceObject(properties);
    driver_ = LoadStreamTestFilter();
    ASSERT_NE(driver_, nullptr);
    ASSERT_EQ(driver_->DriverExtension->AddDevice(driver_, pdo_), STATUS_SUCCESS);
    ASSERT_EQ(Pnp(pdo_, IRP_MN_START_DEVICE), STATUS_SUCCESS);
    filterPath = FirstCaptureInterface();
    ASSERT_FALSE(filterPath.empty());
    OpenPin(KS_VIDEO_STREAM_HEADER_SIZE, KSSTATE_RUN);
}

void StreamPinTest::OpenPin(ULONG headerSize, KSSTATE state)
{
    client.reset();
    client = std::make_unique<FrameClient>(filterPath);
    ASSERT_TRUE(client->FilterOpen());
    ASSERT_EQ(client->Open(headerSize), 0u);
    ASSERT_NE(client->KsPin(), nullptr);
    ASSERT_EQ(client->SetState(state), 0u);
    pin.SetKsPin(client->KsPin());
    pin.SetRunState(KSSTATE_RUN);
}

void StreamPinTest::TearDown()
{
    pin.SetKsPin(nullptr);
    client.reset();
    if (pdo_ && pdo_->AttachedDevice)
        Pnp(pdo_, IRP_MN_REMOVE_DEVICE);
    UnloadStreamTestFilter(driver_);
    if (pdo_)
        standin::DeletePhysicalDeviceObject(pdo_);
    standin::ResetDeviceInterfaces();
    standin::ResetRegistry();
    TraceTest::TearDown();
}

} // namespace streamtest
