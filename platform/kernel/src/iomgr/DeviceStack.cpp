// Device stacks: attaching a device on top of another's stack, detaching, and finding the top.
#include "DeviceObject.h"
#include "Reports.h"
#include "km/irql.h"
#include "standin/object.h"
#include "standin/verifier.h"

namespace {

// Both devices must be live device objects; the caller's references keep them so while it works.
bool ReferenceBoth(PDEVICE_OBJECT a, PDEVICE_OBJECT b, standin::DeviceObjectRecord** first,
                   standin::DeviceObjectRecord** second)
{
    *first = standin::ReferenceDeviceRecord(a);
    *second = standin::ReferenceDeviceRecord(b);
    if (*first && *second)
        return true;
    if (*first)
        standin::DereferenceObject(*first);
    if (*second)
        standin::DereferenceObject(*second);
    return false;
}

} // namespace

extern "C" PDEVICE_OBJECT NTAPI IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                                            PDEVICE_OBJECT TargetDevice)
{
    using namespace standin;
    CheckIrqlAtMost("IoAttachDeviceToDeviceStack", DISPATCH_LEVEL);
    DeviceObjectRecord *source, *target;
    if (!ReferenceBoth(SourceDevice, TargetDevice, &source, &target)) {
        VerifierReport("bad-object", "IoAttachDeviceToDeviceStack of " + PointerText(SourceDevice) + " to " +
                                         PointerText(TargetDevice) + ", which are not both device objects");
        return nullptr;
    }
    PDEVICE_OBJECT below = nullptr;
    {
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        if (SourceDevice->DeviceObjectExtension->AttachedTo || SourceDevice->AttachedDevice ||
            SourceDevice == TargetDevice) {
            VerifierReport("device-stack", "IoAttachDeviceToDeviceStack of " + source->Describe() +
                                               ", which is already part of a stack");
        } else if (!target->IsDeleted()) {
            below = TopOfStackLocked(TargetDevice);
            below->AttachedDevice = SourceDevice;
            SourceDevice->DeviceObjectExtension->AttachedTo = below;
            SourceDevice->StackSize = static_cast<CCHAR>(below->StackSize + 1);
            SourceDevice->AlignmentRequirement = below->AlignmentRequirement;
        }
    }
    DereferenceObject(source);
    DereferenceObject(target);
    return below;
}

extern "C" VOID NTAPI IoDetachDevice(PDEVICE_OBJECT TargetDevice)
{
    using namespace standin;
    CheckIrqlAtMost("IoDetachDevice", DISPATCH_LEVEL);
    DeviceObjectRecord* target = ReferenceDeviceRecord(TargetDevice);
    if (!target) {
        VerifierReport("bad-object",
                       CallText("IoDetachDevice", TargetDevice) + ", which is not a device object");
        return;
    }
    {
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        PDEVICE_OBJECT above = TargetDevice->AttachedDevice;
        if (!above) {
            VerifierReport("device-stack",
                           "IoDetachDevice of " + target->Describe() + ", which has nothing attached");
        } else {
            above->DeviceObjectExtension->AttachedTo = nullptr;
            TargetDevice->AttachedDevice = nullptr;
        }
    }
    DereferenceObject(target);
}

extern "C" PDEVICE_OBJECT NTAPI IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject)
{
    using namespace standin;
    DeviceObjectRecord* record = ReferenceDeviceRecord(DeviceObject);
    if (!record) {
        VerifierReport("bad-object",
                       CallText("IoGetAttachedDevice", DeviceObject) + ", which is not a device object");
        return nullptr;
    }
    PDEVICE_OBJECT top;
    {
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        top = TopOfStackLocked(DeviceObject);
    }
    DereferenceObject(record);
    return top;
}

extern "C" PDEVICE_OBJECT NTAPI IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject)
{
    using namespace standin;
    DeviceObjectRecord* record = ReferenceDeviceRecord(DeviceObject);
    if (!record) {
        VerifierReport("bad-object", CallText("IoGetAttachedDeviceReference", DeviceObject) +
                                         ", which is not a device object");
        return nullptr;
    }
    PDEVICE_OBJECT top;
    {
        // Devices in a stack are alive while linked, so the top's reference cannot miss.
        std::lock_guard<std::mutex> hold(DeviceDatabaseLock());
        top = TopOfStackLocked(DeviceObject);
        ReferenceDeviceRecord(top);
    }
    DereferenceObject(record);
    return top;
}
