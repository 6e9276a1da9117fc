// Memory descriptor lists: allocation and chaining onto IRPs, locking, mapping, freeing, and the
// "mdls" leak check.
#include "Reports.h"
#include "km/irp.h"
#include "km/irql.h"
#include "km/mdl.h"
#include "standin/devicefile.h"
#include "standin/verifier.h"

#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct MdlTable {
    std::mutex lock;
    std::unordered_set<PMDL> live;

    MdlTable()
    {
        standin::VerifierRegisterLeakCheck("mdls", [this] {
            std::lock_guard<std::mutex> hold(lock);
            std::vector<std::string> lines;
            for (PMDL mdl : live)
                lines.push_back("MDL " + standin::PointerText(mdl) + " over " +
                                std::to_string(mdl->ByteCount) + " bytes at " +
                                standin::PointerText(MmGetMdlVirtualAddress(mdl)) + " not freed");
            return lines;
        });
    }
    static MdlTable& Instance()
    {
        static MdlTable* table = new MdlTable;
        return *table;
    }
    bool IsLive(PMDL mdl)
    {
        std::lock_guard<std::mutex> hold(lock);
        return live.count(mdl) != 0;
    }
};

bool CheckLive(const char* function, PMDL mdl)
{
    if (mdl && MdlTable::Instance().IsLive(mdl))
        return true;
    standin::VerifierReport("mdl", standin::CallText(function, mdl) + ", which is not a live MDL");
    return false;
}

} // namespace

namespace standin {
size_t LiveMdlCount()
{
    auto& table = MdlTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    return table.live.size();
}
} // namespace standin

extern "C" PMDL NTAPI IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN,
                                    IRP* Irp)
{
    standin::CheckIrqlAtMost("IoAllocateMdl", DISPATCH_LEVEL);
    if (Length == 0)
        return nullptr;
    auto* mdl = new (std::nothrow) MDL{};
    if (!mdl)
        return nullptr;
    const auto address = reinterpret_cast<uintptr_t>(VirtualAddress);
    mdl->Size = sizeof(MDL);
    mdl->StartVa = reinterpret_cast<PVOID>(address & ~uintptr_t(PAGE_SIZE - 1));
    mdl->ByteOffset = static_cast<ULONG>(address & (PAGE_SIZE - 1));
    mdl->ByteCount = Length;
    {
        auto& table = MdlTable::Instance();
        std::lock_guard<std::mutex> hold(table.lock);
        table.live.insert(mdl);
    }
    if (Irp) {
        if (!SecondaryBuffer) {
            if (Irp->MdlAddress)
                standin::VerifierReport("mdl", "IoAllocateMdl for IRP " + standin::PointerText(Irp) +
                                                   ", which already has an MDL; it is replaced");
            Irp->MdlAddress = mdl;
        } else {
            PMDL* link = &Irp->MdlAddress;
            while (*link)
                link = &(*link)->Next;
            *link = mdl;
        }
    }
    return mdl;
}

extern "C" VOID NTAPI IoFreeMdl(PMDL Mdl)
{
    standin::CheckIrqlAtMost("IoFreeMdl", DISPATCH_LEVEL);
    auto& table = MdlTable::Instance();
    {
        std::lock_guard<std::mutex> hold(table.lock);
        if (!Mdl || !table.live.erase(Mdl)) {
            standin::VerifierReport("mdl", standin::CallText("IoFreeMdl", Mdl) + ", which is not a live MDL");
            return;
        }
    }
    if (Mdl->MdlFlags & MDL_PAGES_LOCKED)
        standin::VerifierReport("mdl",
                                standin::CallText("IoFreeMdl", Mdl) + ", whose pages are still locked");
    delete Mdl;
}

extern "C" VOID NTAPI MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList)
{
    if (!CheckLive("MmBuildMdlForNonPagedPool", MemoryDescriptorList))
        return;
    MemoryDescriptorList->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
    MemoryDescriptorList->MappedSystemVa = MmGetMdlVirtualAddress(MemoryDescriptorList);
}

extern "C" VOID NTAPI MmProbeAndLockPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE,
                                          LOCK_OPERATION Operation)
{
    standin::CheckIrqlAtMost("MmProbeAndLockPages", DISPATCH_LEVEL);
    if (!CheckLive("MmProbeAndLockPages", MemoryDescriptorList))
        return;
    if (MemoryDescriptorList->MdlFlags & MDL_PAGES_LOCKED) {
        standin::VerifierReport("mdl", standin::CallText("MmProbeAndLockPages", MemoryDescriptorList) +
                                           ", whose pages are already locked");
        return;
    }
    MemoryDescriptorList->MdlFlags |= MDL_PAGES_LOCKED;
    if (Operation != IoReadAccess)
        MemoryDescriptorList->MdlFlags |= MDL_WRITE_OPERATION;
}

extern "C" VOID NTAPI MmUnlockPages(PMDL MemoryDescriptorList)
{
    standin::CheckIrqlAtMost("MmUnlockPages", DISPATCH_LEVEL);
    if (!CheckLive("MmUnlockPages", MemoryDescriptorList))
        return;
    if (!(MemoryDescriptorList->MdlFlags & MDL_PAGES_LOCKED)) {
        standin::VerifierReport("mdl", standin::CallText("MmUnlockPages", MemoryDescriptorList) +
                                           ", whose pages are not locked");
        return;
    }
    MemoryDescriptorList->MdlFlags &= ~(MDL_PAGES_LOCKED | MDL_MAPPED_TO_SYSTEM_VA | MDL_WRITE_OPERATION);
    MemoryDescriptorList->MappedSystemVa = nullptr;
}

extern "C" PVOID NTAPI MmGetSystemAddressForMdlSafe(PMDL Mdl, ULONG)
{
    standin::CheckIrqlAtMost("MmGetSystemAddressForMdlSafe", DISPATCH_LEVEL);
    if (!CheckLive("MmGetSystemAddressForMdlSafe", Mdl))
        return nullptr;
    if (Mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL))
        return Mdl->MappedSystemVa;
    if (!(Mdl->MdlFlags & MDL_PAGES_LOCKED)) {
        standin::VerifierReport("mdl", standin::CallText("MmGetSystemAddressForMdlSafe", Mdl) +
                                           ", whose pages are neither locked nor non-paged");
        return nullptr;
    }
    Mdl->MappedSystemVa = MmGetMdlVirtualAddress(Mdl);
    Mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    return Mdl->MappedSystemVa;
}
