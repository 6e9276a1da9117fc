// A board's driver package as setup installs it at a device's first installation: the INF file the
// service's "InfPath" names (in C:\Windows\INF unless it names a drive), the install section its
// models section gives the device's best-matching id (the first of the device's hardware ids, then
// compatible ids, that a model line lists; the service's "InfSection" when none does), taken in its
// ".NTx86", ".NT" or plain form, and the registry lines of every AddReg section it names.
//
// AddReg lines: root (HKR: the device's driver key; HKLM), subkey, value name, flags, value...
// Flags: the type (0 string, 0x20000 expandable string, 0x10000 multi-string, 1 binary, 0x10001
// DWORD), 0x2 no-clobber (an existing value stays), 0x10 key only. Any other root or flag, a value
// that does not fit its type, a missing section or a malformed line makes the whole package fail,
// named by file and line, before anything is written.
#pragma once
#include "InfFile.h"
#include "km/status.h"
#include "km/types.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct PackageRegistryWrite {
    bool driverKey = false; // HKR; otherwise a path under \Registry\Machine
    std::u16string subkey;
    std::u16string name;
    bool keyOnly = false;
    bool noClobber = false;
    ULONG type = 0;
    std::vector<unsigned char> data;
};

struct DriverPackagePlan {
    std::u16string installSection;
    std::vector<PackageRegistryWrite> writes; // in file order
};

// Reads the package of `infPath` for a device with `deviceIds` (most specific first). An empty
// `infPath` is no package: STATUS_SUCCESS and an empty plan. A missing file fails with the file
// lookup's status, a malformed one with STATUS_INVALID_PARAMETER; `error` then says what and where.
NTSTATUS PlanDriverPackage(const std::u16string& infPath, const std::vector<std::u16string>& deviceIds,
                           const std::u16string& fallbackSection, DriverPackagePlan* plan, std::string* error);
// Same from an INF already read (for tests and the fuzz harness).
NTSTATUS PlanDriverPackage(const InfFile& inf, const std::vector<std::u16string>& deviceIds,
                           const std::u16string& fallbackSection, DriverPackagePlan* plan, std::string* error);

// Carries out the writes, HKR being `driverKeyPath`. Stops at the first failing write.
NTSTATUS ApplyDriverPackage(const DriverPackagePlan& plan, const std::u16string& driverKeyPath);

} // namespace platform
