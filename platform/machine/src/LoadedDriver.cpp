// Loading and unloading driver services.
#include "LoadedDriver.h"

#include "MachineKey.h"
#include "MachinePaths.h"
#include "MachineStatus.h"
#include "SystemWork.h"
#include "Text.h"
#include "km/raise.h"
#include "km/registry.h"
#include "platform/machine/DriverFileExports.h"
#include "standin/devices.h"
#include "standin/registry.h"
#include "standin/verifier.h"

#include <exception>

namespace platform {
namespace {

using DriverEntryRoutine = NTSTATUS(NTAPI*)(PDRIVER_OBJECT, PUNICODE_STRING);

// Runs a driver routine on a system thread. An exception that leaves the driver is a breach (on
// Windows the machine would stop); the call then counts as failed with the raised status.
NTSTATUS CallDriver(const std::u16string& service, const char* routine, const std::function<NTSTATUS()>& call)
{
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    try {
        RunOnSystemThread([&] { status = call(); });
    } catch (const standin::RaisedStatus& raised) {
        standin::VerifierReport("unhandled-exception",
                                Utf8(service) + " " + routine + " raised " + raised.what());
        status = raised.status;
    } catch (const std::exception& error) {
        standin::VerifierReport("unhandled-exception",
                                Utf8(service) + " " + routine + " threw " + error.what());
    } catch (...) {
        standin::VerifierReport("unhandled-exception", Utf8(service) + " " + routine + " threw an exception");
    }
    return status;
}

} // namespace

NTSTATUS LoadedDriver::Load(const std::u16string& service, std::unique_ptr<LoadedDriver>* driver,
                            std::unique_ptr<DriverImage>* failedImage)
{
    const std::u16string serviceKey = ServiceKeyPath(service);
    if (service.empty() || !standin::RegistryKeyExists(serviceKey))
        return STATUS_OBJECT_NAME_NOT_FOUND;

    const std::u16string fileName =
        DriverFileName(ReadStringValue(serviceKey, u"ImagePath").value_or(u""), service);
    std::filesystem::path host;
    const NTSTATUS found = HostFileOf(fileName, &host);
    if (!NT_SUCCESS(found))
        return found;

    std::string reason;
    auto image = DriverImage::Open(host, &reason);
    if (!image) {
        standin::VerifierReport("driver-load",
                                Utf8(service) + ": " + Utf8(fileName) + " cannot be mapped: " + reason);
        return STATUS_INVALID_IMAGE_FORMAT;
    }
    auto entry = reinterpret_cast<DriverEntryRoutine>(image->Symbol(kDriverEntrySymbol));
    if (!entry)
        return STATUS_PROCEDURE_NOT_FOUND; // the image goes unmapped: none of its code ran

    PDRIVER_OBJECT object = standin::CreateDriverObject(service);
    if (!object)
        return STATUS_INSUFFICIENT_RESOURCES;
    object->DriverInit = entry;

    // Windows hands DriverEntry a path that lives only for the call; a driver keeps its own copy.
    std::u16string registryPath = serviceKey;
    UNICODE_STRING path;
    path.Buffer = registryPath.data();
    path.Length = static_cast<USHORT>(registryPath.size() * sizeof(WCHAR));
    path.MaximumLength = path.Length;
    const NTSTATUS status = CallDriver(service, "DriverEntry", [&] { return entry(object, &path); });
    if (!NT_SUCCESS(status)) {
        standin::DeleteDriverObject(object);
        *failedImage = std::move(image);
        return status;
    }
    driver->reset(new LoadedDriver(service, std::move(image), object));
    return STATUS_SUCCESS;
}

LoadedDriver::~LoadedDriver() = default;

size_t LoadedDriver::Unload(std::unique_ptr<DriverImage>* image)
{
    PDRIVER_OBJECT object = object_;
    if (object->DriverUnload) {
        object->Flags |= DRVO_UNLOAD_INVOKED;
        CallDriver(service_, "DriverUnload", [object] {
            object->DriverUnload(object);
            return STATUS_SUCCESS;
        });
    }
    const size_t devicesLeft = standin::DeleteDriverObject(object);
    object_ = nullptr;
    *image = std::move(image_);
    return devicesLeft;
}

} // namespace platform
