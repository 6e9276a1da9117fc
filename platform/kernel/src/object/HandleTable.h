// The process-wide handle table: handle values to objects, with the access each handle was granted.
#pragma once
#include "km/object.h"
#include "standin/object.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace standin {

class HandleTable {
public:
    static HandleTable& Instance();

    NTSTATUS Create(KernelObject* object, ACCESS_MASK grantedAccess, ULONG attributes, PHANDLE handle);
    NTSTATUS Reference(HANDLE handle, ACCESS_MASK desiredAccess, POBJECT_TYPE type,
                       KPROCESSOR_MODE accessMode, KernelObject** object,
                       POBJECT_HANDLE_INFORMATION information);
    NTSTATUS Close(HANDLE handle);
    size_t Count();
    std::vector<std::string> OpenHandles();

private:
    HandleTable();

    struct Entry {
        KernelObject* object;
        ACCESS_MASK grantedAccess;
        ULONG attributes;
    };
    std::mutex lock_;
    std::map<uintptr_t, Entry> entries_;
    // Values are multiples of 4 as on Windows, and never reused, so a closed handle stays invalid.
    uintptr_t next_ = 4;
};

} // namespace standin
