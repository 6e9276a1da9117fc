// The HAL's register accessors, routed through the bus to the device models.
#include "km/hal.h"

#include <cstdio>
#include <string>

#include "platform/bus/Bus.h"
#include "standin/verifier.h"

namespace {

using platform::AccessWidth;
using platform::BusStatus;

platform::BusMemoryMap& Memory()
{
    return platform::Bus::Instance().Memory();
}

void Report(const char* function, const volatile void* address, size_t bytes, BusStatus status)
{
    char where[64];
    std::snprintf(where, sizeof where, "(%p, %zu bytes): ", const_cast<const void*>(address), bytes);
    standin::VerifierReport("register-access", std::string(function) + where + platform::BusStatusText(status));
}

template <typename T>
constexpr AccessWidth WidthOf()
{
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4);
    return static_cast<AccessWidth>(sizeof(T));
}

template <typename T>
T ReadOne(const char* function, volatile T* reg)
{
    uint32_t value = 0;
    const BusStatus status = Memory().Read(reg, WidthOf<T>(), value);
    if (status != BusStatus::Ok)
        Report(function, reg, sizeof(T), status);
    return static_cast<T>(value);
}

template <typename T>
void WriteOne(const char* function, volatile T* reg, T value)
{
    const BusStatus status = Memory().Write(reg, WidthOf<T>(), value);
    if (status != BusStatus::Ok)
        Report(function, reg, sizeof(T), status);
}

template <typename T>
void ReadRun(const char* function, volatile T* reg, T* buffer, ULONG count)
{
    const BusStatus status = Memory().ReadBuffer(reg, WidthOf<T>(), buffer, count);
    if (status != BusStatus::Ok)
        Report(function, reg, size_t{count} * sizeof(T), status);
}

template <typename T>
void WriteRun(const char* function, volatile T* reg, const T* buffer, ULONG count)
{
    const BusStatus status = Memory().WriteBuffer(reg, WidthOf<T>(), buffer, count);
    if (status != BusStatus::Ok)
        Report(function, reg, size_t{count} * sizeof(T), status);
}

} // namespace

extern "C" {

UCHAR NTAPI READ_REGISTER_UCHAR(volatile UCHAR* Register)
{
    return ReadOne(__func__, Register);
}

USHORT NTAPI READ_REGISTER_USHORT(volatile USHORT* Register)
{
    return ReadOne(__func__, Register);
}

ULONG NTAPI READ_REGISTER_ULONG(volatile ULONG* Register)
{
    return ReadOne(__func__, Register);
}

VOID NTAPI WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value)
{
    WriteOne(__func__, Register, Value);
}

VOID NTAPI WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value)
{
    WriteOne(__func__, Register, Value);
}

VOID NTAPI WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value)
{
    WriteOne(__func__, Register, Value);
}

VOID NTAPI READ_REGISTER_BUFFER_UCHAR(volatile UCHAR* Register, PUCHAR Buffer, ULONG Count)
{
    ReadRun(__func__, Register, Buffer, Count);
}

VOID NTAPI READ_REGISTER_BUFFER_USHORT(volatile USHORT* Register, PUSHORT Buffer, ULONG Count)
{
    ReadRun(__func__, Register, Buffer, Count);
}

VOID NTAPI READ_REGISTER_BUFFER_ULONG(volatile ULONG* Register, PULONG Buffer, ULONG Count)
{
    ReadRun(__func__, Register, Buffer, Count);
}

VOID NTAPI WRITE_REGISTER_BUFFER_UCHAR(volatile UCHAR* Register, PUCHAR Buffer, ULONG Count)
{
    WriteRun(__func__, Register, Buffer, Count);
}

VOID NTAPI WRITE_REGISTER_BUFFER_USHORT(volatile USHORT* Register, PUSHORT Buffer, ULONG Count)
{
    WriteRun(__func__, Register, Buffer, Count);
}

VOID NTAPI WRITE_REGISTER_BUFFER_ULONG(volatile ULONG* Register, PULONG Buffer, ULONG Count)
{
    WriteRun(__func__, Register, Buffer, Count);
}

} // extern "C"
