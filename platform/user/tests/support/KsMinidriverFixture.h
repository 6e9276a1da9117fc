// The fixture every user-side kernel-streaming test starts from: a physical device with the test
// minidriver added and started through plug and play, its capture interface found by category, and
// the helpers those tests share (property records, one property request with its Win32 error). The
// tear-down removes the device if it is still there, unloads the minidriver and resets the
// registry and the interface table.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KsMinidriver.h"
#include "um/ks.h"
#include "um/windows.h"

namespace kstest {

// A plug-and-play request of minor code `minor` sent down the device's stack; start carries empty
// resource lists.
NTSTATUS Pnp(PDEVICE_OBJECT pdo, UCHAR minor);
// The interface paths of `category`, in the order the configuration manager lists them.
std::vector<std::u16string> Interfaces(const GUID& category);
KSPROPERTY Property(const GUID& set, ULONG id, ULONG flags);

class MinidriverTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new handle on the capture filter (INVALID_HANDLE_VALUE when it cannot be opened).
    HANDLE OpenCapture() const;
    // One property request; returns the Win32 error (0 on success) and the byte count.
    static DWORD Ask(HANDLE handle, const void* request, DWORD requestLength, void* data, DWORD dataLength,
                     DWORD* bytes);

    // Set before SetUp: the device also has the proxy tests' capture filter and crossbar.
    bool withProxyFilters_ = false;
    PDRIVER_OBJECT driver_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
    // The capture filter's interface path.
    std::u16string path_;
};

} // namespace kstest
