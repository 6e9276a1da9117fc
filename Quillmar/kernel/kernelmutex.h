// KernelMutex: a HandleHolder whose object is a kernel mutex stored right behind it. The mutex is
// taken with KeWaitForSingleObject and given back with KeReleaseMutex, recursively.
#pragma once
#include "kernel/handleholder.h"
#include "km/sync.h"

class KernelMutex : public HandleHolder {
public:
    explicit KernelMutex(ULONG level);

    PKMUTEX Mutex() { return &m_mutex; }

private:
    KMUTEX m_mutex{};
};
