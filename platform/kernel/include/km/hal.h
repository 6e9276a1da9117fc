// The HAL's register accessors: the only way to reach device memory mapped with MmMapIoSpace.
//
// Each accessor passes the token address to the bus, which routes it to the device model behind the
// mapping with the access's exact width. The _BUFFER_ forms move Count units at rising device
// addresses, one unit of the named width at a time, as a string move does; the host Buffer needs no
// alignment. Any IRQL.
//
// An access outside every mapping, one that runs past the end of its mapping, one through a mapping
// already unmapped, or one whose device range has been unregistered, is a breach (rule
// "register-access"): it never touches host memory, a read returns all ones (a buffer read fills the
// buffer with 0xFF) as a device that does not answer, and a write is dropped. A NULL Buffer with a
// non-zero Count is a breach too. A misaligned address is passed to the device model unchanged, as
// the processor would put it on the bus; the model decides what its hardware does with it.
#pragma once
#include "km/types.h"

extern "C" {
UCHAR NTAPI READ_REGISTER_UCHAR(volatile UCHAR* Register);
USHORT NTAPI READ_REGISTER_USHORT(volatile USHORT* Register);
ULONG NTAPI READ_REGISTER_ULONG(volatile ULONG* Register);

VOID NTAPI WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value);
VOID NTAPI WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value);
VOID NTAPI WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value);

VOID NTAPI READ_REGISTER_BUFFER_UCHAR(volatile UCHAR* Register, PUCHAR Buffer, ULONG Count);
VOID NTAPI READ_REGISTER_BUFFER_USHORT(volatile USHORT* Register, PUSHORT Buffer, ULONG Count);
VOID NTAPI READ_REGISTER_BUFFER_ULONG(volatile ULONG* Register, PULONG Buffer, ULONG Count);

VOID NTAPI WRITE_REGISTER_BUFFER_UCHAR(volatile UCHAR* Register, PUCHAR Buffer, ULONG Count);
VOID NTAPI WRITE_REGISTER_BUFFER_USHORT(volatile USHORT* Register, PUSHORT Buffer, ULONG Count);
VOID NTAPI WRITE_REGISTER_BUFFER_ULONG(volatile ULONG* Register, PULONG Buffer, ULONG Count);
}
