// SysAllocString, SysAllocStringLen, SysFreeString and SysStringLen: a BSTR is a block holding its
// byte length, the characters and a zero; every live one is listed so that a leak or a foreign
// pointer shows.
#include "standin/verifier.h"
#include "um/oleauto.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

std::mutex g_lock;

std::set<BSTR>& Live()
{
    static auto* live = new std::set<BSTR>;
    return *live;
}

void RegisterLeakCheck()
{
    static std::once_flag once;
    std::call_once(once, [] {
        standin::VerifierRegisterLeakCheck("bstr", [] {
            std::vector<std::string> lines;
            std::lock_guard<std::mutex> hold(g_lock);
            for (BSTR text : Live())
                lines.push_back("a BSTR of " + std::to_string(SysStringLen(text)) + " characters");
            return lines;
        });
    });
}

// The byte length stored before the characters.
DWORD* LengthOf(BSTR text)
{
    return reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(text) - sizeof(DWORD));
}

} // namespace

extern "C" BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui)
{
    // The byte length must fit its 32-bit field.
    if (ui >= (0xFFFFFFFFu - sizeof(DWORD)) / sizeof(OLECHAR) - 1)
        return nullptr;
    RegisterLeakCheck();
    auto* block = static_cast<BYTE*>(std::malloc(sizeof(DWORD) + (ui + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const DWORD bytes = ui * sizeof(OLECHAR);
    std::memcpy(block, &bytes, sizeof bytes);
    auto* text = reinterpret_cast<BSTR>(block + sizeof(DWORD));
    if (strIn)
        std::memcpy(text, strIn, bytes);
    else
        std::memset(text, 0, bytes);
    text[ui] = 0;
    std::lock_guard<std::mutex> hold(g_lock);
    Live().insert(text);
    return text;
}

extern "C" BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz)
{
    if (!psz)
        return nullptr;
    UINT length = 0;
    while (psz[length])
        ++length;
    return SysAllocStringLen(psz, length);
}

extern "C" void STDAPICALLTYPE SysFreeString(BSTR bstrString)
{
    if (!bstrString)
        return;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (Live().erase(bstrString) == 0) {
            char detail[80];
            std::snprintf(detail, sizeof detail, "SysFreeString of %p, which is not a live BSTR",
                          static_cast<void*>(bstrString));
            standin::VerifierReport("bstr", detail);
            return;
        }
    }
    std::free(LengthOf(bstrString));
}

extern "C" UINT STDAPICALLTYPE SysStringLen(BSTR pbstr)
{
    if (!pbstr)
        return 0;
    DWORD bytes = 0;
    std::memcpy(&bytes, LengthOf(pbstr), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}
