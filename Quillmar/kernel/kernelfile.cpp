// Files through the kernel's Zw functions.
#include "kernel/kernelfile.h"

#include "kernel/widelength.h"
#include "km/status.h"

namespace {

// The most characters a UNICODE_STRING can count (Length is 16 bits of bytes).
constexpr size_t kMaxCountedCharacters = 0xFFFE / sizeof(WCHAR);

void StoreTransferred(PULONG transferred, const IO_STATUS_BLOCK& ioStatus)
{
    if (transferred)
        *transferred = static_cast<ULONG>(ioStatus.Information);
}

} // namespace

NTSTATUS KernelFile::Create(PCWSTR path, PVOID securityDescriptor, ACCESS_MASK access,
                            ULONG objectAttributeFlags, ULONG fileAttributes, ULONG shareAccess,
                            ULONG disposition, ULONG createOptions, PLARGE_INTEGER allocationSize)
{
    Close();
    const size_t characters = WideLength(path, kMaxCountedCharacters + 1);
    if (!path || characters > kMaxCountedCharacters)
        return STATUS_OBJECT_NAME_INVALID;
    UNICODE_STRING name;
    name.Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    name.MaximumLength = name.Length;
    name.Buffer = const_cast<PWSTR>(path);

    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, objectAttributeFlags, nullptr, securityDescriptor);
    HANDLE handle = nullptr;
    const NTSTATUS status = ZwCreateFile(&handle, access, &attributes, &m_ioStatus, allocationSize,
                                         fileAttributes, shareAccess, disposition, createOptions, nullptr, 0);
    if (NT_SUCCESS(status))
        m_handle = handle;
    return status;
}

NTSTATUS KernelFile::Read(PVOID buffer, ULONG length, PULONG transferred, PLARGE_INTEGER byteOffset)
{
    m_ioStatus = IO_STATUS_BLOCK{};
    const NTSTATUS status =
        ZwReadFile(m_handle, nullptr, nullptr, nullptr, &m_ioStatus, buffer, length, byteOffset, nullptr);
    StoreTransferred(transferred, m_ioStatus);
    return status;
}

NTSTATUS KernelFile::Write(const void* buffer, ULONG length, PULONG transferred, PLARGE_INTEGER byteOffset)
{
    m_ioStatus = IO_STATUS_BLOCK{};
    const NTSTATUS status = ZwWriteFile(m_handle, nullptr, nullptr, nullptr, &m_ioStatus,
                                        const_cast<PVOID>(buffer), length, byteOffset, nullptr);
    StoreTransferred(transferred, m_ioStatus);
    return status;
}

NTSTATUS KernelFile::QueryStandardInfo(FILE_STANDARD_INFORMATION* info)
{
    return ZwQueryInformationFile(m_handle, &m_ioStatus, info, sizeof(FILE_STANDARD_INFORMATION),
                                  FileStandardInformation);
}

NTSTATUS KernelFile::QueryPosition(FILE_POSITION_INFORMATION* info)
{
    return ZwQueryInformationFile(m_handle, &m_ioStatus, info, sizeof(FILE_POSITION_INFORMATION),
                                  FilePositionInformation);
}

NTSTATUS KernelFile::Close()
{
    if (!m_handle)
        return STATUS_SUCCESS;
    const NTSTATUS status = ZwClose(m_handle);
    m_handle = nullptr;
    return status;
}
