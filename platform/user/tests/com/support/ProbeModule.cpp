// A small test module, built several times: PROBE_NAME names it in the log; PROBE_DISABLE_THREADS
// makes it switch the thread notices off at attach; PROBE_FAIL_ATTACH makes its attach fail. It
// carries a hand-written resource table and no COM exports.
#include "ModuleLog.h"
#include "ReasonNames.h"
#include "um/resourcetable.h"
#include "um/windows.h"

namespace {

const char kScript[] = "HKCR { ProbeKey = s 'from the probe' }";
const char kReplacedScript[] = "HKCR { ReplacedKey = s '%MODULE%|%Extra%' }";
const unsigned char kBitmapUs[] = {1, 2, 3, 4};
const unsigned char kBitmapNeutral[] = {5, 6};
const unsigned char kBitmapGerman[] = {7, 8, 9};
const char kNamedText[] = "named";

} // namespace

extern "C" const standin::ResourceEntry StandinResourceTable[] = {
    {"REGISTRY", 0, nullptr, 101, 1033, kScript, sizeof kScript - 1},
    {"REGISTRY", 0, nullptr, 103, 1033, kReplacedScript, sizeof kReplacedScript - 1},
    {nullptr, 2, nullptr, 206, 1033, kBitmapUs, sizeof kBitmapUs},
    {nullptr, 2, nullptr, 206, 0, kBitmapNeutral, sizeof kBitmapNeutral},
    {nullptr, 2, nullptr, 206, 1031, kBitmapGerman, sizeof kBitmapGerman},
    {nullptr, 2, nullptr, 207, 1031, kBitmapGerman, sizeof kBitmapGerman},
    {"Text", 0, "Idr_Named", 0, 0, kNamedText, sizeof kNamedText - 1},
};
extern "C" const size_t StandinResourceTableCount =
    sizeof StandinResourceTable / sizeof StandinResourceTable[0];

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    ModuleLogRecord(PROBE_NAME, ReasonName(reason));
#ifdef PROBE_DISABLE_THREADS
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
#else
    (void)instance;
#endif
#ifdef PROBE_FAIL_ATTACH
    if (reason == DLL_PROCESS_ATTACH)
        return FALSE;
#endif
    return TRUE;
}

extern "C" int ProbeAnswer()
{
    return 42;
}
