// The names the plug and play manager gives a PCI function, in Windows' forms: its hardware and
// compatible ids, its device instance path, and its location text and address.
#pragma once
#include "platform/bus/PciFunction.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct PciDeviceIds {
    // Most specific first: "PCI\VEN_v&DEV_d&SUBSYS_ss&REV_rr", without the revision, then with the
    // class code "CC_bbss pp" and "CC_bbss" in place of the subsystem.
    std::vector<std::u16string> hardwareIds;
    // "PCI\VEN_v&DEV_d&REV_rr", "PCI\VEN_v&DEV_d", "PCI\VEN_v&CC_bbsspp", "PCI\VEN_v&CC_bbss",
    // "PCI\VEN_v", "PCI\CC_bbsspp", "PCI\CC_bbss".
    std::vector<std::u16string> compatibleIds;
    // "PCI\VEN_v&DEV_d&SUBSYS_ss&REV_rr\<parent depth>&<parent hash>&0&<slot>", the slot being
    // device << 3 | function in two hexadecimal digits; the same location always gives the same path,
    // so a board keeps its registry keys from one run to the next.
    std::u16string instancePath;
    std::u16string location; // "PCI bus 2, device 4, function 0"
    uint32_t address = 0;    // device << 16 | function
};

PciDeviceIds MakePciDeviceIds(const PciIdentity& identity, const PciLocation& location);

} // namespace platform
