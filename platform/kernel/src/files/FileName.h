// FileName: a file name as ZwCreateFile takes it, taken apart into its drive letter and the
// components below the drive folder, each checked against the rules for Windows names.
#pragma once
#include "km/types.h"

#include <string>
#include <string_view>
#include <vector>

namespace standin {

class FileName {
public:
    // Accepts "\DosDevices\X:\...", "\??\X:\..." and "X:\..." (see the .cpp for the statuses of
    // every other form).
    static NTSTATUS Parse(std::u16string_view text, FileName* name);
    // The text without its "\DosDevices\" or "\??\" prefix (for failure-injection patterns).
    static std::u16string_view WithoutPrefix(std::u16string_view text);

    char Drive() const { return drive_; }
    // The components below the drive folder; none for the drive's root folder.
    const std::vector<std::u16string>& Components() const { return components_; }
    // The name ends in a backslash: it can only name a folder.
    bool NamesFolderOnly() const { return trailingSeparator_; }
    // "C:\t\a.bin": the drive letter upper-case, the rest as the caller spelled it.
    const std::u16string& Display() const { return display_; }

private:
    char drive_ = 0;
    std::vector<std::u16string> components_;
    bool trailingSeparator_ = false;
    std::u16string display_;
};

} // namespace standin
