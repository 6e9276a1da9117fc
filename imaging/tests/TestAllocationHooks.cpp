// The test program's definitions of the image primitives' allocation hooks.
#include "TestAllocationHooks.h"

#include "imaging/imaging.h"

#include <cstdlib>
#include <mutex>

namespace imaging_test {
namespace {

std::mutex g_lock;
int g_successesLeft = -1;
std::vector<AllocationRecord> g_allocations;
std::vector<void*> g_releases;
std::vector<uint32_t> g_refused;

} // namespace

void ResetAllocationHooks()
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_successesLeft = -1;
    g_allocations.clear();
    g_releases.clear();
    g_refused.clear();
}

void FailAllocationsAfter(int count)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_successesLeft = count;
}

const std::vector<AllocationRecord>& Allocations()
{
    return g_allocations;
}

const std::vector<void*>& Releases()
{
    return g_releases;
}

const std::vector<uint32_t>& RefusedRequests()
{
    return g_refused;
}

} // namespace imaging_test

using namespace imaging_test;

extern "C" void* ImagingAllocate(uint32_t bytes) noexcept
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_successesLeft == 0) {
        g_refused.push_back(bytes);
        return nullptr;
    }
    if (g_successesLeft > 0)
        --g_successesLeft;
    void* block = std::malloc(bytes);
    if (block)
        g_allocations.push_back({block, bytes});
    return block;
}

extern "C" void ImagingRelease(void* block) noexcept
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_releases.push_back(block);
    std::free(block);
}
