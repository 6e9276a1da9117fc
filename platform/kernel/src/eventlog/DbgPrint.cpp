// DbgPrint: formats with Windows' printf rules, cuts the text to what one call transmits, and hands
// it to the stand-in's debugger.
#include "Debugger.h"
#include "Reports.h"
#include "km/debug.h"
#include "km/format.h"
#include "km/irql.h"
#include "km/status.h"
#include "standin/format.h"
#include "standin/verifier.h"

#include <cstdarg>
#include <cstring>
#include <string>

namespace standin {
namespace {

// Whether the format has a conversion that reads wide text, which Windows converts with pageable
// tables and so allows only at PASSIVE_LEVEL. The walk reads conversions the way the formatter
// does: in narrow output l and w mean wide text, h narrow, and the capital letters C and S without a
// size mean wide.
bool UsesWideText(const char* p)
{
    auto isInteger = [](char c) { return c && std::strchr("diouxX", c); };
    while (*p) {
        if (*p++ != '%')
            continue;
        while (*p && std::strchr("-+ #0", *p))
            ++p;
        if (*p == '*')
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '.') {
            ++p;
            if (*p == '*')
                ++p;
            while (*p >= '0' && *p <= '9')
                ++p;
        }
        bool narrowSize = false; // h or hh
        bool wideSize = false;   // l or w
        bool wPrefix = false;    // w: also makes %Z a counted wide string
        bool literalI = false;
        for (bool sizing = true; sizing;) {
            switch (*p) {
            case 'h':
                p += p[1] == 'h' ? 2 : 1;
                narrowSize = true;
                break;
            case 'l':
                if (p[1] == 'l') {
                    p += 2;
                } else {
                    ++p;
                    wideSize = true;
                }
                break;
            case 'w':
                ++p;
                wideSize = true;
                wPrefix = true;
                break;
            case 'L':
                ++p;
                break;
            case 'I':
                ++p;
                if ((p[0] == '6' && p[1] == '4') || (p[0] == '3' && p[1] == '2'))
                    p += 2;
                else if (!isInteger(*p)) {
                    literalI = true;
                    sizing = false;
                }
                break;
            default:
                sizing = false;
                break;
            }
        }
        if (literalI)
            continue;
        const char conversion = *p;
        if (!conversion)
            break;
        ++p;
        const bool sized = narrowSize || wideSize;
        if ((conversion == 'c' || conversion == 's') && wideSize)
            return true;
        if ((conversion == 'C' || conversion == 'S') && (wideSize || !sized))
            return true;
        if (conversion == 'Z' && wPrefix)
            return true;
    }
    return false;
}

} // namespace
} // namespace standin

extern "C" ULONG DbgPrint(PCSTR Format, ...)
{
    using namespace standin;
    if (!Format) {
        VerifierReport("bad-argument", "DbgPrint without a format");
        return static_cast<ULONG>(STATUS_INVALID_PARAMETER);
    }
    const KIRQL irql = KeGetCurrentIrql();
    if (irql > PASSIVE_LEVEL && UsesWideText(Format))
        VerifierReport("irql", std::string("DbgPrint of wide text at IRQL ") + std::to_string(irql) + ": \"" +
                                   Format + "\"");
    va_list args;
    va_start(args, Format);
    std::string text = FormatV(Format, args);
    va_end(args);
    const bool truncated = text.size() > DBGPRINT_MAXIMUM_BYTES - 1;
    if (truncated)
        text.resize(DBGPRINT_MAXIMUM_BYTES - 1);
    Debugger::Instance().Print(std::move(text), truncated);
    return static_cast<ULONG>(STATUS_SUCCESS);
}
