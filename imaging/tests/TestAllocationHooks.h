// The allocation hooks of the imaging test program: a counting allocator over malloc that records
// every block it hands out and takes back, and that can be told to fail.
#pragma once

#include <cstdint>
#include <vector>

namespace imaging_test {

struct AllocationRecord {
    void* block;
    uint32_t bytes;
};

void ResetAllocationHooks();
// The next `count` allocations succeed, every later one fails; a negative count never fails.
void FailAllocationsAfter(int count);
const std::vector<AllocationRecord>& Allocations();
const std::vector<void*>& Releases();
// Requests the hook refused (by FailAllocationsAfter).
const std::vector<uint32_t>& RefusedRequests();

} // namespace imaging_test
