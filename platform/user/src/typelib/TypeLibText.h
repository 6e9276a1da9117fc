// A type library as the IDL text of its `library` statement, which a module's "TYPELIB" resource
// holds:
//     [ uuid(6B22BB19-4035-49AB-95BF-754DB7DB0E6F), version(1.0), helpstring("... Type Library") ]
//     library NAMELib {
//         importlib("stdole2.tlb");
//         [ uuid(...), helpstring("X Class") ] coclass X { [default] interface IUnknown; };
//     };
// Read: // and /* */ comments, `import "file";` lines before the library, attribute lists with
// uuid, version, lcid, helpstring and any other attribute (its arguments skipped; hidden,
// restricted and control set the library's flags), importlib, coclasses whose bodies name
// interfaces. The library needs its uuid; a coclass needs a name. Nothing else: interfaces of its
// own are not read.
#pragma once
#include "um/oaidl.h"

#include <string>
#include <string_view>
#include <vector>

namespace user {

struct TypeLibCoclass {
    std::u16string name;
    GUID uuid{};
    std::u16string helpString;
};

struct TypeLibDescription {
    std::u16string name;
    GUID libid{};
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    LCID lcid = 0;
    WORD flags = 0;
    std::u16string helpString;
    std::vector<std::u16string> imports;
    std::vector<TypeLibCoclass> coclasses;
};

// True with the library in *library; false with a message naming the fault and its line.
bool ParseTypeLibText(std::u16string_view text, TypeLibDescription* library, std::string* error);

} // namespace user
