// The embedded kernel mutex.
#include "kernel/kernelmutex.h"

KernelMutex::KernelMutex(ULONG level)
{
    KeInitializeMutex(&m_mutex, level);
    Attach(&m_mutex, false);
}
