// The table of DMA adapters and their common buffers: lookup, the "dma" leak check, the usage
// counts and the failure injection of km/dma.h.
#include "DmaAdapterTable.h"

#include "Reports.h"
#include "standin/dma.h"
#include "standin/verifier.h"

#include <vector>

namespace standin {

DmaAdapterTable& DmaAdapterTable::Instance()
{
    static DmaAdapterTable* table = new DmaAdapterTable; // never destroyed, see the header
    return *table;
}

DmaAdapterRecord* DmaAdapterTable::Find(const void* adapter)
{
    const auto found = adapters.find(static_cast<const DMA_ADAPTER*>(adapter));
    return found == adapters.end() ? nullptr : found->second.get();
}

std::string DmaAdapterText(const DmaAdapterRecord& record)
{
    return "adapter " + PointerText(&record.adapter) + " of " + record.owner;
}

namespace {

// One line per adapter not put and per common buffer not freed.
std::vector<std::string> OutstandingDma()
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    std::vector<std::string> lines;
    for (const auto& [address, record] : table.adapters) {
        if (!record->put)
            lines.push_back(DmaAdapterText(*record) + " never put");
        for (const auto& [host, buffer] : record->buffers)
            lines.push_back("common buffer of " + std::to_string(buffer.length) + " bytes at bus address " +
                            HexText(buffer.busAddress) + " (" + DmaAdapterText(*record) + ") never freed");
    }
    return lines;
}

// Registered when the kernel library loads, so every program on the stand-in checks its DMA.
const bool g_leakCheckRegistered = [] {
    VerifierRegisterLeakCheck("dma", OutstandingDma);
    return true;
}();

} // namespace

DmaUsage DmaUsageTotal()
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    return table.usage;
}

void DmaFailNextAdapter()
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    table.failNextAdapter = true;
}

void DmaFailNthCommonBuffer(uint64_t n)
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    table.failNthBuffer = n;
}

void DmaFailEveryCommonBuffer()
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    table.failEveryBuffer = true;
}

void DmaClearFailures()
{
    DmaAdapterTable& table = DmaAdapterTable::Instance();
    std::lock_guard<std::mutex> hold(table.lock);
    table.failNextAdapter = false;
    table.failNthBuffer = 0;
    table.failEveryBuffer = false;
}

} // namespace standin
