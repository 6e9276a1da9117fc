// File names between the kernel's wide text and the host's bytes: host names are UTF-8, and names
// compare without regard to case the way the drives' lookups do.
#pragma once
#include <string>
#include <string_view>

namespace standin::hostnames {

// The UTF-8 form of a wide name; false for text that has no such form (an unpaired surrogate).
bool ToHost(std::u16string_view name, std::string* host);
// The wide form of a host name; bytes that are not UTF-8 become U+FFFD.
std::u16string FromHost(std::string_view host);
// For messages: the UTF-8 form, with '?' for what has none.
std::string Printable(std::u16string_view name);
// Equal after upper-casing every character.
bool SameIgnoringCase(std::u16string_view a, std::u16string_view b);
// Whether `name` matches `pattern` ignoring case: `*` matches any run of characters, `?` one.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name);

} // namespace standin::hostnames
