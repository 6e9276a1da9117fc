// CoTaskMemAlloc, CoTaskMemRealloc and CoTaskMemFree over the host heap, with every live block
// listed so that a block left at a test's end is reported and a foreign pointer is refused.
#include "standin/verifier.h"
#include "um/combaseapi.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

namespace {

std::mutex g_lock;

std::map<void*, size_t>& Blocks()
{
    static auto* blocks = new std::map<void*, size_t>;
    return *blocks;
}

void RegisterLeakCheck()
{
    static std::once_flag once;
    std::call_once(once, [] {
        standin::VerifierRegisterLeakCheck("co-task-memory", [] {
            std::vector<std::string> lines;
            std::lock_guard<std::mutex> hold(g_lock);
            for (const auto& [block, size] : Blocks()) {
                char line[64];
                std::snprintf(line, sizeof line, "block %p of %zu bytes", block, size);
                lines.emplace_back(line);
            }
            return lines;
        });
    });
}

void ReportForeign(const char* call, void* pointer)
{
    char detail[96];
    std::snprintf(detail, sizeof detail, "%s of %p, which is not a live block", call, pointer);
    standin::VerifierReport("co-task-memory", detail);
}

} // namespace

extern "C" LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb)
{
    RegisterLeakCheck();
    void* block = std::malloc(cb ? cb : 1);
    if (!block)
        return nullptr;
    std::lock_guard<std::mutex> hold(g_lock);
    Blocks()[block] = cb;
    return block;
}

extern "C" LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    if (!pv)
        return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(g_lock);
    const auto found = Blocks().find(pv);
    if (found == Blocks().end()) {
        ReportForeign("CoTaskMemRealloc", pv);
        return nullptr;
    }
    void* moved = std::realloc(pv, cb);
    if (!moved)
        return nullptr; // the old block stays as it was
    Blocks().erase(found);
    Blocks()[moved] = cb;
    return moved;
}

extern "C" void STDAPICALLTYPE CoTaskMemFree(LPVOID pv)
{
    if (!pv)
        return;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (Blocks().erase(pv) == 0) {
            ReportForeign("CoTaskMemFree", pv);
            return;
        }
    }
    std::free(pv);
}
