// A driver package's setup information file, as setup reads it: sections in brackets, lines of
// comma-separated fields with an optional "key =" before them, ";" comments, "\" at the end of a
// line continuing it, quoted fields (a doubled quote stands for one) and %token% references replaced
// by the [Strings] section's values ("%%" is a percent sign; tokens are not looked for inside
// quotes). Section names and tokens are case-insensitive. The text is UTF-8 (an optional byte-order
// mark is skipped) or UTF-16LE with its byte-order mark.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct InfLine {
    int number = 0; // of its first physical line, from 1
    bool hasKey = false;
    std::u16string key;
    std::vector<std::u16string> fields; // at least one (possibly empty) field
};

class InfFile {
public:
    // Parses `bytes`; on failure returns nothing and sets `error` to "<name>, line <n>: <what>".
    static std::optional<InfFile> Parse(std::string_view bytes, const std::string& name, std::string* error);

    const std::string& Name() const { return name_; }
    // The section's lines in file order (a section given twice has both parts); null when missing.
    const std::vector<InfLine>* Section(std::u16string_view name) const;

private:
    struct SectionLines {
        std::u16string name;
        std::vector<InfLine> lines;
    };
    std::string name_;
    std::vector<SectionLines> sections_;
};

} // namespace platform
