// Writes keys and their values as ".reg" text: the way Windows' registry editor does (keys in
// enumeration order, each followed by an empty line; strings quoted; dword:; hex lines wrapped with
// ",\" near 80 columns), in UTF-8 with LF line ends. Volatile keys and everything below them are
// left out.
#pragma once
#include "RegistryKeyNode.h"
#include "km/registry.h"
#include "standin/registry.h"

#include <string>

namespace standin::registry {

class RegFileWriter {
public:
    // Appends the key (the tree's root writes both root keys) with everything below it. The caller
    // holds the tree's lock. False for a name that .reg text cannot hold.
    bool WriteTree(const RegistryKeyNode& key, bool isTreeRoot, std::string* out, RegistryTextError* error);

private:
    bool WriteKey(const RegistryKeyNode& key, const std::string& path, std::string* out);
    bool WriteValue(const RegistryValue& value, const std::string& keyPath, std::string* out);
    bool Fail(std::string message);

    RegistryTextError* error_ = nullptr;
};

} // namespace standin::registry
