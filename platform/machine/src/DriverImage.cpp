// Mapping driver files with dlopen.
#include "DriverImage.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<DriverImage> DriverImage::Open(const std::filesystem::path& file, std::string* error)
{
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        if (error)
            *error = reason ? reason : "dlopen failed";
        return nullptr;
    }
    return std::unique_ptr<DriverImage>(new DriverImage(handle, file));
}

DriverImage::~DriverImage()
{
    if (!keep_ && !closed_)
        dlclose(handle_);
}

bool DriverImage::Unmap()
{
    if (keep_ || closed_)
        return false;
    closed_ = true;
    dlclose(handle_);
    void* still = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!still)
        return true;
    dlclose(still);
    return false;
}

void* DriverImage::Symbol(const char* name) const
{
    return dlsym(handle_, name);
}

} // namespace platform
