// Memory descriptor lists: how a direct-I/O request describes the caller's buffer to the driver.
// The stand-in runs driver and caller in one address space, so an MDL's system address is the
// described buffer itself; what the MDL adds is the bookkeeping Windows asks for (locked, mapped,
// freed once), which the stand-in checks. Live MDLs are tracked; one never freed is reported by the
// "mdls" leak check.
#pragma once
#include "km/sync.h"
#include "km/types.h"

#define PAGE_SIZE 0x1000
#define PAGE_SHIFT 12

struct IRP;
struct EPROCESS;
using CSHORT = SHORT;

// The page-frame array Windows keeps after the header is not kept: nothing here needs pages.
struct MDL {
    MDL* Next; // the next MDL of the IRP's chain
    CSHORT Size;
    CSHORT MdlFlags;
    EPROCESS* Process;
    PVOID MappedSystemVa; // valid with MDL_MAPPED_TO_SYSTEM_VA or MDL_SOURCE_IS_NONPAGED_POOL
    PVOID StartVa;        // the described buffer's address rounded down to its page
    ULONG ByteCount;
    ULONG ByteOffset; // the buffer's offset within that page
};
using PMDL = MDL*;

// MDL::MdlFlags.
#define MDL_MAPPED_TO_SYSTEM_VA 0x0001
#define MDL_PAGES_LOCKED 0x0002
#define MDL_SOURCE_IS_NONPAGED_POOL 0x0004
#define MDL_ALLOCATED_FIXED_SIZE 0x0008
#define MDL_PARTIAL 0x0010
#define MDL_IO_PAGE_READ 0x0040
#define MDL_WRITE_OPERATION 0x0080

enum LOCK_OPERATION { IoReadAccess, IoWriteAccess, IoModifyAccess };

enum MM_PAGE_PRIORITY { LowPagePriority = 0, NormalPagePriority = 16, HighPagePriority = 32 };
// May be or-ed into the priority; accepted and without effect here.
#define MdlMappingNoWrite 0x80000000
#define MdlMappingNoExecute 0x40000000

#define MmGetMdlVirtualAddress(Mdl) ((PVOID)((PCHAR)((Mdl)->StartVa) + (Mdl)->ByteOffset))
#define MmGetMdlByteCount(Mdl) ((Mdl)->ByteCount)
#define MmGetMdlByteOffset(Mdl) ((Mdl)->ByteOffset)

extern "C" {
// Describes Length bytes at VirtualAddress. With an Irp, the MDL becomes Irp->MdlAddress
// (SecondaryBuffer FALSE; a breach when the IRP already has one) or is added to the end of its chain
// (SecondaryBuffer TRUE). NULL for a Length of 0 or when memory runs out. IRQL <= DISPATCH_LEVEL.
PMDL NTAPI IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota,
                         IRP* Irp);
// Frees an MDL from IoAllocateMdl. Freeing one whose pages are still locked, or anything that is not
// a live MDL, is a breach (rule "mdl").
VOID NTAPI IoFreeMdl(PMDL Mdl);
// Marks an MDL over non-paged memory as mapped: MappedSystemVa is the described buffer.
VOID NTAPI MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList);
// Locks the described pages for the operation (sets MDL_PAGES_LOCKED; MDL_WRITE_OPERATION for
// IoWriteAccess and IoModifyAccess). Locking twice is a breach.
VOID NTAPI MmProbeAndLockPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                               LOCK_OPERATION Operation);
// Unlocks pages MmProbeAndLockPages locked (a breach when they are not locked) and drops the mapping.
VOID NTAPI MmUnlockPages(PMDL MemoryDescriptorList);
// The system address of the described buffer: for an MDL that is locked or built for non-paged
// pool, maps it (MDL_MAPPED_TO_SYSTEM_VA) and returns the address; NULL, as when system address space
// runs out, for an MDL that is neither (a breach) or is not a live MDL.
PVOID NTAPI MmGetSystemAddressForMdlSafe(PMDL Mdl, ULONG Priority);
}

