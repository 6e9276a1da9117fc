// Tagged pool allocation of the driver.
#include "kernel/poolallocation.h"

PVOID AllocatePool(SIZE_T size)
{
    return AllocatePoolOfType(size, NonPagedPool);
}

PVOID AllocatePoolOfType(SIZE_T size, POOL_TYPE type)
{
    if (size == 0)
        return nullptr;
    return ExAllocatePoolWithTag(type, size, kDriverPoolTag);
}

PVOID AllocatePoolPlain(SIZE_T size)
{
    return ExAllocatePoolWithTag(NonPagedPool, size, kDriverPoolTag);
}

void FreePool(PVOID block)
{
    if (block)
        ExFreePoolWithTag(block, kDriverPoolTag);
}
