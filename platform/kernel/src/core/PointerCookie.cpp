// The table of pointer cookies: live cookies with their address, length and owner, the next number
// to try, and the leak check that lists the cookies left.
#include "Reports.h"
#include "km/pointercookie.h"
#include "standin/verifier.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace standin {
namespace {

struct CookieEntry {
    PVOID address;
    SIZE_T length;
    const void* owner;
};

struct CookieTable {
    std::mutex lock;
    std::map<ULONG, CookieEntry> live;
    ULONG next = 1;

    CookieTable()
    {
        VerifierRegisterLeakCheck("cookies", [this] {
            std::lock_guard<std::mutex> hold(lock);
            std::vector<std::string> lines;
            for (const auto& [cookie, entry] : live)
                lines.push_back("pointer cookie " + std::to_string(cookie) + " of owner " + PointerText(entry.owner) +
                                " for " + std::to_string(entry.length) + " bytes at " + PointerText(entry.address) +
                                " still live");
            return lines;
        });
    }
};

CookieTable& Table()
{
    static auto* table = new CookieTable; // lives as long as the process: leak checks read it
    return *table;
}

} // namespace

ULONG PointerCookie::Give(PVOID address, SIZE_T length, const void* owner)
{
    if (!address || !owner)
        return 0;
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    for (uint64_t tries = 0; tries < 0xFFFFFFFFull; ++tries) {
        const ULONG cookie = table.next++;
        if (table.next == 0)
            table.next = 1;
        if (cookie != 0 && table.live.emplace(cookie, CookieEntry{address, length, owner}).second)
            return cookie;
    }
    return 0;
}

PVOID PointerCookie::Resolve(ULONG cookie, const void* owner, SIZE_T* length)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.live.find(cookie);
    if (it == table.live.end() || it->second.owner != owner || !owner)
        return nullptr;
    if (length)
        *length = it->second.length;
    return it->second.address;
}

BOOLEAN PointerCookie::Drop(ULONG cookie, const void* owner)
{
    auto& table = Table();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.live.find(cookie);
    if (it == table.live.end() || it->second.owner != owner)
        return FALSE;
    table.live.erase(it);
    return TRUE;
}

} // namespace standin
