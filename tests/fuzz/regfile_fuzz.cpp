// Fuzz harness of the registry's ".reg" text: any bytes imported into an empty registry. A refused
// text leaves the registry as it was; an accepted one exports, and that export imports into an
// empty registry again and exports to the same text (the round trip loses nothing and the writer
// writes only what the reader reads back). A second import of the same text over the first
// changes nothing either.
#include "standin/registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The whole registry as text (it always exports: the roots are never missing).
std::string Whole()
{
    std::string text;
    standin::RegistryTextError error;
    if (!standin::ExportRegistryText(u"", &text, &error)) {
        std::fprintf(stderr, "export failed at line %zu: %s\n", error.line, error.message.c_str());
        std::abort();
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    standin::ResetRegistry();
    const std::string empty = Whole();
    if (!standin::ImportRegistryText(text)) {
        if (Whole() != empty)
            std::abort();
        return 0;
    }
    const std::string first = Whole();
    if (!standin::ImportRegistryText(text) || Whole() != first)
        std::abort();

    standin::ResetRegistry();
    standin::RegistryTextError error;
    if (!standin::ImportRegistryText(first, &error)) {
        std::fprintf(stderr, "the export does not import again: line %zu: %s\n", error.line, error.message.c_str());
        std::abort();
    }
    if (Whole() != first)
        std::abort();
    return 0;
}
