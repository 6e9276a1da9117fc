// One driver service loaded into the machine, as the I/O manager loads a driver: the image mapped,
// its driver object made, and DriverEntry called with the object and the service's registry path at
// PASSIVE_LEVEL on a system thread. Unloading calls DriverUnload the same way and ends the object;
// the image is handed back to the machine, which decides whether it may be unmapped.
#pragma once
#include "DriverImage.h"
#include "km/iodevice.h"

#include <memory>
#include <string>

namespace platform {

class LoadedDriver {
public:
    // Loads the service whose key is under ...\Services. Statuses: STATUS_OBJECT_NAME_NOT_FOUND for a
    // service without a key or a driver file that is not on the machine's drives (other statuses of
    // the file lookup pass through), STATUS_INVALID_IMAGE_FORMAT for a file dlopen refuses,
    // STATUS_PROCEDURE_NOT_FOUND for one without "DriverEntry", STATUS_INSUFFICIENT_RESOURCES when no
    // driver object can be made, or what DriverEntry returned. On a failure of DriverEntry the
    // object is ended again without DriverUnload, as Windows does, and the image comes back in
    // *image for the machine to release.
    static NTSTATUS Load(const std::u16string& service, std::unique_ptr<LoadedDriver>* driver,
                         std::unique_ptr<DriverImage>* failedImage);
    ~LoadedDriver();
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;

    const std::u16string& Service() const { return service_; }
    PDRIVER_OBJECT Object() const { return object_; }

    // Calls DriverUnload (a driver without one is simply let go) and ends the driver object, which
    // reports the device objects the driver left. Returns how many it left and the image.
    size_t Unload(std::unique_ptr<DriverImage>* image);

private:
    LoadedDriver(std::u16string service, std::unique_ptr<DriverImage> image, PDRIVER_OBJECT object)
        : service_(std::move(service)), image_(std::move(image)), object_(object)
    {
    }
    std::u16string service_;
    std::unique_ptr<DriverImage> image_;
    PDRIVER_OBJECT object_;
};

} // namespace platform
