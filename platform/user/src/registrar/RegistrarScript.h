// Registration scripts as ATL's registrar reads them, parsed whole into a tree before anything is
// written:
//     HKCR { NoRemove CLSID { ForceRemove {clsid} = s 'Description' {
//         InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' } } } }
// Roots HKCR / HKEY_CLASSES_ROOT and HKLM / HKEY_LOCAL_MACHINE; keys with an optional default value
// and a braced body; `val name = type value` for named values; `ForceRemove`, `NoRemove` and
// `Delete` before a key; types `s` (REG_SZ), `d` (REG_DWORD, decimal or 0x hex) and `b`
// (REG_BINARY, pairs of hex digits). Names and values are bare words or quoted with ' (a quote
// inside doubled). %NAME% is replaced inside each word, after the words are found, so a
// replacement never changes the script's structure; %% is a percent sign. Keywords ignore case.
#pragma once
#include "um/winerror.h"
#include "um/winreg.h"

#include <string>
#include <string_view>
#include <vector>

namespace user {

struct RegistrarValue {
    DWORD type = REG_SZ;
    std::u16string text;     // REG_SZ
    DWORD number = 0;        // REG_DWORD
    std::vector<BYTE> bytes; // REG_BINARY
};

struct RegistrarNode {
    enum Kind { Key, Value, Delete };
    Kind kind = Key;
    bool noRemove = false;
    bool forceRemove = false;
    std::u16string name;
    bool hasValue = false; // a key's default value, or always for a named value
    RegistrarValue value;
    std::vector<RegistrarNode> children;
};

struct RegistrarRoot {
    HKEY key = nullptr;
    std::vector<RegistrarNode> nodes;
};

struct RegistrarScript {
    std::vector<RegistrarRoot> roots;
};

struct RegistrarReplacement {
    std::u16string name; // compared ignoring ASCII case
    std::u16string value;
};

// True with the whole script in *script; false with a message naming the fault and its line.
bool ParseRegistrarScript(std::u16string_view text, const std::vector<RegistrarReplacement>& replacements,
                          RegistrarScript* script, std::string* error);

// Registers (creates keys and values, ForceRemove first deleting the key's subtree, Delete
// removing a key) or unregisters (a key without NoRemove goes once its listed children are gone:
// a ForceRemove key with everything under it, any other key when no sub-key is left; a NoRemove
// key stays and only its listed children and values go; missing keys are no fault). The first
// registry failure ends the run with its HRESULT_FROM_WIN32.
HRESULT ApplyRegistrarScript(const RegistrarScript& script, bool registering);

} // namespace user
