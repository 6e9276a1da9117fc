// A driver file mapped into the process with dlopen, as the loader maps a driver image: symbols are
// bound at once (RTLD_NOW) and kept to this image (RTLD_LOCAL). The image is unmapped when the
// object goes, unless it was told to stay because code of it may still run.
#pragma once
#include <filesystem>
#include <memory>
#include <string>

namespace platform {

class DriverImage {
public:
    // The mapped image, or null with the loader's reason in *error.
    static std::unique_ptr<DriverImage> Open(const std::filesystem::path& file, std::string* error);
    ~DriverImage();
    DriverImage(const DriverImage&) = delete;
    DriverImage& operator=(const DriverImage&) = delete;

    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    // Never unmap: a driver that left threads, timers or interrupt connections behind would run
    // code that is no longer there.
    void KeepMapped() { keep_ = true; }
    // Unmaps the image now; false when the loader kept it mapped all the same, as glibc does for an
    // object with STB_GNU_UNIQUE symbols, so that a later load would find this load's data.
    bool Unmap();
    const std::filesystem::path& File() const { return file_; }

private:
    DriverImage(void* handle, std::filesystem::path file) : handle_(handle), file_(std::move(file)) {}
    void* handle_;
    std::filesystem::path file_;
    bool keep_ = false;
    bool closed_ = false;
};

} // namespace platform
