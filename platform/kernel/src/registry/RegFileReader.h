// Reads ".reg" text into a list of registry changes, checking all of it before anything is applied,
// then applies the list to the tree in one step under its lock.
#pragma once
#include "RegistryTree.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <string>
#include <string_view>
#include <vector>

namespace standin::registry {

struct RegTextOperation {
    enum class Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue };
    Kind kind = Kind::kOpenKey;
    size_t line = 0;
    std::vector<std::u16string> keyNames; // below "\Registry", for the key operations
    std::u16string valueName;
    ULONG type = 0;
    std::vector<UCHAR> data;
};

class RegFileReader {
public:
    // False with the first fault found; the operations are then incomplete.
    bool Parse(std::string_view bytes, RegistryTextError* error);
    const std::vector<RegTextOperation>& Operations() const { return operations_; }
    // Applies the parsed operations; false, with nothing changed, when a key would have to be made
    // below a volatile key.
    bool Apply(RegistryTree& tree, RegistryTextError* error) const;

private:
    bool Decode(std::string_view bytes);
    bool ParseKeyLine(std::string_view text);
    // May take continuation lines after the current one.
    bool ParseValueLine(std::string_view text);
    bool ParseQuoted(std::string_view text, size_t* position, std::u16string* out);
    bool ParseHexBytes(std::string_view text, std::vector<UCHAR>* out);
    bool Fail(std::string message);
    bool Fail(size_t line, std::string message);

    std::string text_;                    // UTF-8
    std::vector<std::string_view> lines_; // without their line ends
    size_t current_ = 0;                  // index of the line being read
    bool inKey_ = false;                  // a key line stands before the next value line
    std::vector<RegTextOperation> operations_;
    RegistryTextError* error_ = nullptr;
};

} // namespace standin::registry
