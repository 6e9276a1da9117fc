// UTF-16 text as UTF-8, for reports and for the event log's rendered text.
#pragma once
#include <string>
#include <string_view>

namespace standin {

// An unpaired surrogate becomes U+FFFD.
std::string Utf8Text(std::u16string_view text);

} // namespace standin
