// Hardware ids, compatible ids and instance paths of PCI functions.
#include "PciDeviceIds.h"

#include "Text.h"

#include <cstdio>

namespace platform {
namespace {

// The hash Windows puts in a child's instance id stands for the parent bus; any stable hash of the
// bus number serves the same purpose.
uint32_t BusHash(uint32_t bus)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "PCI bus %u", bus);
    uint32_t hash = 2166136261u;
    for (int i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(text[i]);
        hash *= 16777619u;
    }
    return hash;
}

} // namespace

PciDeviceIds MakePciDeviceIds(const PciIdentity& identity, const PciLocation& location)
{
    const std::u16string vendor = u"VEN_" + Hex(identity.vendorId, 4);
    const std::u16string device = u"DEV_" + Hex(identity.deviceId, 4);
    const std::u16string subsystem =
        u"SUBSYS_" + Hex((uint32_t{identity.subsystemId} << 16) | identity.subsystemVendorId, 8);
    const std::u16string revision = u"REV_" + Hex(identity.revision, 2);
    const std::u16string classFull = u"CC_" + Hex(identity.classCode & 0xFFFFFF, 6);
    const std::u16string classShort = u"CC_" + Hex((identity.classCode >> 8) & 0xFFFF, 4);
    const std::u16string vendorDevice = u"PCI\\" + vendor + u"&" + device;

    PciDeviceIds ids;
    ids.hardwareIds = {
        vendorDevice + u"&" + subsystem + u"&" + revision,
        vendorDevice + u"&" + subsystem,
        vendorDevice + u"&" + classFull,
        vendorDevice + u"&" + classShort,
    };
    ids.compatibleIds = {
        vendorDevice + u"&" + revision,
        vendorDevice,
        u"PCI\\" + vendor + u"&" + classFull,
        u"PCI\\" + vendor + u"&" + classShort,
        u"PCI\\" + vendor,
        u"PCI\\" + classFull,
        u"PCI\\" + classShort,
    };

    char instance[48];
    std::snprintf(instance, sizeof instance, "3&%08x&0&%02X", BusHash(location.bus),
                  (location.device << 3) | location.function);
    ids.instancePath = ids.hardwareIds.front() + u"\\" + Utf16(instance);

    char where[64];
    std::snprintf(where, sizeof where, "PCI bus %u, device %u, function %u", location.bus, location.device,
                  location.function);
    ids.location = Utf16(where);
    ids.address = (location.device << 16) | location.function;
    return ids;
}

} // namespace platform
