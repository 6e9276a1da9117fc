// KernelFile: one file opened through the kernel's Zw file functions, with the I/O status block of
// its last call. The handle is a kernel handle owned by the object and closed by Close or when the
// object goes.
#pragma once
#include "km/file.h"
#include "km/types.h"

class KernelFile {
public:
    KernelFile() = default;
    ~KernelFile() { Close(); }
    KernelFile(const KernelFile&) = delete;
    KernelFile& operator=(const KernelFile&) = delete;

    // ZwCreateFile on `path` ("\DosDevices\C:\..."), with an object-attributes record of the path,
    // the flags and the security descriptor (no root). A file still open is closed first. A path
    // longer than a counted string can hold (32,767 characters) is refused with
    // STATUS_OBJECT_NAME_INVALID rather than cut short, as is a null path.
    NTSTATUS Create(PCWSTR path, PVOID securityDescriptor, ACCESS_MASK access, ULONG objectAttributeFlags,
                    ULONG fileAttributes, ULONG shareAccess, ULONG disposition, ULONG createOptions,
                    PLARGE_INTEGER allocationSize);
    // ZwReadFile / ZwWriteFile at byteOffset, or at the current position when it is null;
    // *transferred (when given) receives the bytes moved.
    NTSTATUS Read(PVOID buffer, ULONG length, PULONG transferred, PLARGE_INTEGER byteOffset = nullptr);
    NTSTATUS Write(const void* buffer, ULONG length, PULONG transferred, PLARGE_INTEGER byteOffset = nullptr);
    // ZwQueryInformationFile for the standard (24 bytes) and position (8 bytes) records.
    NTSTATUS QueryStandardInfo(FILE_STANDARD_INFORMATION* info);
    NTSTATUS QueryPosition(FILE_POSITION_INFORMATION* info);
    // ZwClose of a held handle, which is then cleared; success when none is held.
    NTSTATUS Close();

    HANDLE Handle() const { return m_handle; }
    const IO_STATUS_BLOCK& IoStatus() const { return m_ioStatus; }

private:
    IO_STATUS_BLOCK m_ioStatus{};
    HANDLE m_handle = nullptr;
};
