// The resource table a module carries, as a Windows module carries its resource section: the module
// exports, with C linkage,
//     extern "C" const standin::ResourceEntry StandinResourceTable[] = {...};
//     extern "C" const size_t StandinResourceTableCount = <entries>;
// the way a driver file exports its message table (km/messagetable.h). A resource compiler writes
// the table; tests write one by hand. FindResource and its kin read it (um/libloaderapi.h).
#pragma once
#include "um/windef.h"

namespace standin {

// One resource: its type and its name, each a text (compared ignoring ASCII case) or, when the
// text is null, a number; its language; its bytes.
struct ResourceEntry {
    const char* typeName;
    WORD typeId;
    const char* name;
    WORD nameId;
    WORD language;
    const void* data;
    DWORD size;
};

inline constexpr const char kResourceTableSymbol[] = "StandinResourceTable";
inline constexpr const char kResourceTableCountSymbol[] = "StandinResourceTableCount";

} // namespace standin
