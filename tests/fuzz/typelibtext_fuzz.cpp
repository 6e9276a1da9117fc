// Type-library text (the "TYPELIB" resources of modules) through its reader: the bytes are decoded
// as a resource's text and read. A library that reads is written back as IDL and must read to
// the same description.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/ResourceText.h"
#include "typelib/TypeLibText.h"
#include "um/combaseapi.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::u16string Ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

std::u16string Uuid(const GUID& guid)
{
    OLECHAR braced[39];
    Check(StringFromGUID2(guid, braced, 39) == 39);
    return std::u16string(braced + 1, 36);
}

std::u16string String(const std::u16string& text)
{
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out + u"\"";
}

std::u16string Render(const user::TypeLibDescription& library)
{
    std::u16string out =
        u"[uuid(" + Uuid(library.libid) + u"), version(" + Ascii(std::to_string(library.majorVersion)) +
        u"." + Ascii(std::to_string(library.minorVersion)) + u"), lcid(" +
        Ascii(std::to_string(library.lcid)) + u"), helpstring(" + String(library.helpString) + u")";
    if (library.flags & LIBFLAG_FRESTRICTED)
        out += u", restricted";
    if (library.flags & LIBFLAG_FCONTROL)
        out += u", control";
    if (library.flags & LIBFLAG_FHIDDEN)
        out += u", hidden";
    out += u"]\nlibrary " + library.name + u"\n{\n";
    for (const auto& file : library.imports)
        out += u"importlib(" + String(file) + u");\n";
    for (const auto& coclass : library.coclasses)
        out += u"[uuid(" + Uuid(coclass.uuid) + u"), helpstring(" + String(coclass.helpString) +
               u")] coclass " + coclass.name + u" { [default] interface IUnknown; };\n";
    return out + u"};\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16))
        return 0;
    const std::u16string text = user::ResourceText(data, size);
    user::TypeLibDescription library;
    std::string error;
    if (!user::ParseTypeLibText(text, &library, &error)) {
        Check(error.rfind("line ", 0) == 0);
        return 0;
    }
    Check(!library.name.empty());
    for (const auto& coclass : library.coclasses)
        Check(!coclass.name.empty());
    const std::u16string canonical = Render(library);
    user::TypeLibDescription again;
    Check(user::ParseTypeLibText(canonical, &again, &error));
    Check(Render(again) == canonical);
    return 0;
}
