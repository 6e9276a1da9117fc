// DspHostSettings: the host port's settings taken from the driver's loaded values.
#include "dsphostsettings.h"

#include "driver.h"

DspHostSettings DspHostSettings::FromDriver(const Driver& driver)
{
    DspHostSettings settings;
    settings.hardwareInstalled = driver.GetHardwareInstalled();
    settings.resetDspOnStartup = driver.GetResetDSPOnStartup();
    settings.emifGblctl = driver.GetDspRegEmifaGblctl();
    settings.emifCectl[0] = driver.GetDspRegEmifaCectl0();
    settings.emifCectl[1] = driver.GetDspRegEmifaCectl1();
    settings.emifCectl[2] = driver.GetDspRegEmifaCectl2();
    settings.emifCectl[3] = driver.GetDspRegEmifaCectl3();
    settings.emifSdtim = driver.GetDspRegEmifaSdtim();
    settings.emifSdext = driver.GetDspRegEmifaSdext();
    settings.emifCesec[0] = driver.GetDspRegEmifaCesec0();
    settings.emifCesec[1] = driver.GetDspRegEmifaCesec1();
    settings.emifCesec[2] = driver.GetDspRegEmifaCesec2();
    settings.emifCesec[3] = driver.GetDspRegEmifaCesec3();
    settings.emifSdctl = driver.GetDspRegEmifaSdctl();
    settings.pciSDXferSize = driver.GetDspPciSDXferSize();
    settings.pciHD720XferSize = driver.GetDspPciHD720XferSize();
    settings.pciHDOtherXferSize = driver.GetDspPciHDOtherXferSize();
    settings.edmaVideoPriority = driver.GetDspEdmaVideoPriority();
    settings.edmaAudioPriority = driver.GetDspEdmaAudioPriority();
    settings.edmaPciPriority = driver.GetDspEdmaPciPriority();
    settings.edmaCpuPriority = driver.GetDspEdmaCpuPriority();
    settings.hd1080HalfScale = driver.GetDspHD1080HalfScale();
    return settings;
}
