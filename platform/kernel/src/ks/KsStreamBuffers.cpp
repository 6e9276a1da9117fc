// The frame buffers callers register so that a stream header's 32-bit Data field can name them: a
// table of cookies, each the buffer's address and length. A cookie is never reused while registered
// and is never 0.
#include "KsStream.h"

#include "standin/verifier.h"

#include <map>
#include <mutex>
#include <string>

namespace standin {
namespace {

struct BufferTable {
    std::mutex lock;
    std::map<uint32_t, std::pair<PUCHAR, ULONG>> buffers;
    uint32_t next = 1;

    BufferTable()
    {
        VerifierRegisterLeakCheck("ks-stream-buffers", [this] {
            std::lock_guard<std::mutex> guard(lock);
            std::vector<std::string> lines;
            for (const auto& [cookie, buffer] : buffers)
                lines.push_back("stream buffer cookie " + std::to_string(cookie) + " still registered");
            return lines;
        });
    }
};

BufferTable& Table()
{
    static BufferTable* table = new BufferTable; // lives as long as the process: leak checks read it
    return *table;
}

} // namespace

uint32_t KsRegisterStreamBuffer(void* data, uint32_t length)
{
    if (!data)
        return 0;
    BufferTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (uint64_t tries = 0; tries < 0xFFFFFFFFull; ++tries) {
        const uint32_t cookie = table.next++;
        if (table.next == 0)
            table.next = 1;
        if (cookie != 0 && table.buffers.emplace(cookie, std::make_pair(static_cast<PUCHAR>(data), length)).second)
            return cookie;
    }
    return 0;
}

void KsUnregisterStreamBuffer(uint32_t cookie)
{
    BufferTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.buffers.erase(cookie);
}

bool KsResolveStreamBuffer(uint32_t cookie, PUCHAR* data, ULONG* length)
{
    BufferTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.buffers.find(cookie);
    if (it == table.buffers.end())
        return false;
    *data = it->second.first;
    *length = it->second.second;
    return true;
}

} // namespace standin
