// Device-control codes as both sides build them: CTL_CODE packs the device type (bits 16-31), the
// required access (bits 14-15), the function (bits 2-13) and the transfer method (bits 0-1), so that
// 0x226006 is device type 0x22, read access, function 0x801, METHOD_OUT_DIRECT. The I/O manager
// reads the method from the code to decide how the caller's buffers reach the driver.
#pragma once

#define CTL_CODE(DeviceType, Function, Method, Access)                                                      \
    (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define DEVICE_TYPE_FROM_CTL_CODE(ctrlCode) (((unsigned long)((ctrlCode) & 0xffff0000)) >> 16)
#define METHOD_FROM_CTL_CODE(ctrlCode) ((unsigned long)((ctrlCode) & 3))

// Transfer methods.
#define METHOD_BUFFERED 0
#define METHOD_IN_DIRECT 1
#define METHOD_OUT_DIRECT 2
#define METHOD_NEITHER 3
#define METHOD_DIRECT_TO_HARDWARE METHOD_IN_DIRECT
#define METHOD_DIRECT_FROM_HARDWARE METHOD_OUT_DIRECT

// Required access.
#define FILE_ANY_ACCESS 0
#define FILE_SPECIAL_ACCESS (FILE_ANY_ACCESS)
#define FILE_READ_ACCESS (0x0001)
#define FILE_WRITE_ACCESS (0x0002)

// Device types the stand-in and the driver name.
#define FILE_DEVICE_BEEP 0x00000001
#define FILE_DEVICE_DISK 0x00000007
#define FILE_DEVICE_FILE_SYSTEM 0x00000009
#define FILE_DEVICE_NULL 0x00000015
#define FILE_DEVICE_UNKNOWN 0x00000022
#define FILE_DEVICE_BUS_EXTENDER 0x0000002a
#define FILE_DEVICE_KS 0x0000002f
