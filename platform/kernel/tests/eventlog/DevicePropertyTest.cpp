// IoGetDeviceProperty on physical device objects: every kept property in its Windows form, with
// the buffer too small, exact and absent; properties a device lacks or the stand-in does not keep;
// objects that are not physical device objects; and the objects' lifetime.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../core/Breaches.h"
#include "km/iodevice.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/devices.h"
#include "standin/verifier.h"

using testing::HasSubstr;

namespace {

standin::PhysicalDeviceProperties BoardProperties()
{
    standin::PhysicalDeviceProperties p;
    p.deviceDescription = u"Multimedia Video Controller";
    p.hardwareIds = {u"PCI\\VEN_1172&DEV_0004&SUBSYS_00041172&REV_01", u"PCI\\VEN_1172&DEV_0004"};
    p.compatibleIds = {u"PCI\\CC_040000"};
    p.className = u"MEDIA";
    p.classGuid = u"{4d36e96c-e325-11ce-bfc1-08002be10318}";
    p.driverKeyName = u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0003";
    p.friendlyName = u"Framecap HD 1";
    p.locationInformation = u"PCI bus 2, device 4, function 1";
    p.physicalDeviceObjectName = u"\\Device\\NTPNP_PCI0007";
    p.enumeratorName = u"PCI";
    p.busNumber = 2;
    p.address = 4 << 16 | 1;
    p.installState = InstallStateInstalled;
    return p;
}

// The bytes Windows returns: text with its zero, lists with one more zero at the end.
std::vector<unsigned char> Bytes(const std::vector<std::u16string>& texts, bool list)
{
    std::vector<unsigned char> bytes;
    auto append = [&bytes](const std::u16string& t) {
        const auto* p = reinterpret_cast<const unsigned char*>(t.c_str());
        bytes.insert(bytes.end(), p, p + (t.size() + 1) * 2);
    };
    for (const auto& t : texts)
        append(t);
    if (list)
        append(u"");
    return bytes;
}

std::vector<unsigned char> Bytes(ULONG value)
{
    std::vector<unsigned char> bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

struct Case {
    DEVICE_REGISTRY_PROPERTY property;
    std::vector<unsigned char> expected;
};

} // namespace

TEST(DeviceProperty, EveryKeptPropertyWithBufferTooSmallExactAndAbsent)
{
    const auto p = BoardProperties();
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(p);
    const Case cases[] = {
        {DevicePropertyDeviceDescription, Bytes({p.deviceDescription}, false)},
        {DevicePropertyHardwareID, Bytes(p.hardwareIds, true)},
        {DevicePropertyCompatibleIDs, Bytes(p.compatibleIds, true)},
        {DevicePropertyClassName, Bytes({p.className}, false)},
        {DevicePropertyClassGuid, Bytes({p.classGuid}, false)},
        {DevicePropertyDriverKeyName, Bytes({p.driverKeyName}, false)},
        {DevicePropertyFriendlyName, Bytes({p.friendlyName}, false)},
        {DevicePropertyLocationInformation, Bytes({p.locationInformation}, false)},
        {DevicePropertyPhysicalDeviceObjectName, Bytes({p.physicalDeviceObjectName}, false)},
        {DevicePropertyEnumeratorName, Bytes({p.enumeratorName}, false)},
        {DevicePropertyBusNumber, Bytes(2)},
        {DevicePropertyAddress, Bytes(0x40001)},
        {DevicePropertyInstallState, Bytes(InstallStateInstalled)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.property);
        const ULONG size = static_cast<ULONG>(c.expected.size());
        ULONG result = 0xDEAD;
        EXPECT_EQ(IoGetDeviceProperty(pdo, c.property, 0, nullptr, &result), STATUS_BUFFER_TOO_SMALL);
        EXPECT_EQ(result, size);

        std::vector<unsigned char> buffer(size + 4, 0xEE);
        result = 0;
        EXPECT_EQ(IoGetDeviceProperty(pdo, c.property, size - 1, buffer.data(), &result),
                  STATUS_BUFFER_TOO_SMALL);
        EXPECT_EQ(result, size);
        EXPECT_EQ(buffer, std::vector<unsigned char>(size + 4, 0xEE)); // nothing copied

        EXPECT_EQ(IoGetDeviceProperty(pdo, c.property, size, buffer.data(), &result), STATUS_SUCCESS);
        EXPECT_EQ(result, size);
        EXPECT_EQ(std::vector<unsigned char>(buffer.begin(), buffer.begin() + size), c.expected);
        EXPECT_EQ(buffer[size], 0xEE); // nothing past the value
    }
    standin::DeletePhysicalDeviceObject(pdo);
}

TEST(DeviceProperty, MissingAndUnkeptPropertiesHaveTheirOwnStatuses)
{
    standin::PhysicalDeviceProperties bare;
    bare.busNumber = 0;
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(bare);
    ULONG result = 0xDEAD;
    unsigned char buffer[64];
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyDriverKeyName, sizeof buffer, buffer, &result),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyAddress, sizeof buffer, buffer, &result),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyHardwareID, sizeof buffer, buffer, &result),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyBusNumber, sizeof buffer, buffer, &result),
              STATUS_SUCCESS);
    EXPECT_EQ(result, 4u);
    for (auto unkept : {DevicePropertyBootConfiguration, DevicePropertyManufacturer, DevicePropertyUINumber,
                        DevicePropertyContainerID, static_cast<DEVICE_REGISTRY_PROPERTY>(23),
                        static_cast<DEVICE_REGISTRY_PROPERTY>(31)})
        EXPECT_EQ(IoGetDeviceProperty(pdo, unkept, sizeof buffer, buffer, &result),
                  STATUS_INVALID_PARAMETER_2);

    // Without a name of its own the object gets one of the bus driver's pattern.
    std::u16string name(32, u'\0');
    ASSERT_EQ(IoGetDeviceProperty(pdo, DevicePropertyPhysicalDeviceObjectName, 64, name.data(), &result),
              STATUS_SUCCESS);
    EXPECT_EQ(name.substr(0, 17), u"\\Device\\NTPNP_PCI");
    EXPECT_EQ(result, 2 * (17 + 4 + 1u));
    standin::DeletePhysicalDeviceObject(pdo);
}

TEST(DeviceProperty, ObjectsThatAreNotPhysicalDeviceObjectsAndBadArgumentsAreRefused)
{
    QuietBreaches breaches;
    DEVICE_OBJECT plain{};
    plain.Type = IO_TYPE_DEVICE;
    ULONG result = 0;
    unsigned char buffer[16];
    EXPECT_EQ(IoGetDeviceProperty(&plain, DevicePropertyBusNumber, 4, buffer, &result),
              STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(IoGetDeviceProperty(nullptr, DevicePropertyBusNumber, 4, buffer, &result),
              STATUS_INVALID_DEVICE_REQUEST);

    auto properties = BoardProperties();
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(properties);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyBusNumber, 4, buffer, nullptr),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyBusNumber, 4, nullptr, &result),
              STATUS_INVALID_PARAMETER);
    standin::DeletePhysicalDeviceObject(pdo);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyBusNumber, 4, buffer, &result),
              STATUS_INVALID_DEVICE_REQUEST);
    standin::DeletePhysicalDeviceObject(pdo);
    EXPECT_EQ(breaches.Take().size(), 6u);

    KIRQL old;
    pdo = standin::CreatePhysicalDeviceObject(properties);
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_EQ(IoGetDeviceProperty(pdo, DevicePropertyBusNumber, 4, buffer, &result), STATUS_SUCCESS);
    KeLowerIrql(old);
    standin::DeletePhysicalDeviceObject(pdo);
    const auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].rule, "irql");
}

TEST(DeviceProperty, APhysicalDeviceObjectLooksLikeABusDriversChildAndALeftOneIsALeak)
{
    PDEVICE_OBJECT pdo = standin::CreatePhysicalDeviceObject(BoardProperties());
    EXPECT_EQ(pdo->Type, IO_TYPE_DEVICE);
    EXPECT_TRUE(pdo->Flags & DO_BUS_ENUMERATED_DEVICE);
    EXPECT_EQ(pdo->DriverObject, standin::PciBusDriverObject());
    EXPECT_EQ(pdo->DriverObject->Type, IO_TYPE_DRIVER);
    ASSERT_NE(pdo->DeviceObjectExtension, nullptr);
    EXPECT_EQ(std::u16string(pdo->DeviceObjectExtension->ObjectName.Buffer,
                             pdo->DeviceObjectExtension->ObjectName.Length / 2),
              u"\\Device\\NTPNP_PCI0007");

    QuietBreaches breaches;
    standin::VerifierCheckLeaks();
    const auto taken = breaches.Take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_THAT(taken[0].detail, HasSubstr("physical device object \\Device\\NTPNP_PCI0007"));
    standin::DeletePhysicalDeviceObject(pdo);
}
