// What the system reports about itself: the driver model version and the processors, both settings
// of the stand-in.
#include "Reports.h"
#include "km/systeminfo.h"
#include "standin/system.h"
#include "standin/verifier.h"

#include <atomic>

namespace {

constexpr UCHAR kDefaultMajor = 6;
constexpr UCHAR kDefaultMinor = 0;
constexpr int kDefaultProcessors = 4;

std::atomic<unsigned> g_wdmVersion{kDefaultMajor << 8 | kDefaultMinor};

} // namespace

CCHAR KeNumberProcessors = kDefaultProcessors; // declared extern "C" in km/systeminfo.h

extern "C" BOOLEAN NTAPI IoIsWdmVersionAvailable(UCHAR MajorVersion, UCHAR MinorVersion)
{
    return (unsigned(MajorVersion) << 8 | MinorVersion) <= g_wdmVersion.load() ? TRUE : FALSE;
}

extern "C" KAFFINITY NTAPI KeQueryActiveProcessors()
{
    const int count = KeNumberProcessors;
    return count >= 64 ? ~KAFFINITY(0) : (KAFFINITY(1) << count) - 1;
}

extern "C" ULONG NTAPI KeQueryActiveProcessorCount(KAFFINITY* ActiveProcessors)
{
    if (ActiveProcessors)
        *ActiveProcessors = KeQueryActiveProcessors();
    return static_cast<ULONG>(KeNumberProcessors);
}

namespace standin {

void SetWdmVersion(UCHAR majorVersion, UCHAR minorVersion)
{
    g_wdmVersion.store(unsigned(majorVersion) << 8 | minorVersion);
}

void SetNumberOfProcessors(int count)
{
    if (count < 1 || count > 64) {
        VerifierReport("bad-argument",
                       "SetNumberOfProcessors(" + std::to_string(count) + "): 1 to 64 processors");
        return;
    }
    KeNumberProcessors = static_cast<CCHAR>(count);
}

void ResetSystemInformation()
{
    SetWdmVersion(kDefaultMajor, kDefaultMinor);
    KeNumberProcessors = kDefaultProcessors;
}

} // namespace standin
