// The text a resource holds: UTF-16LE with its byte-order mark, UTF-8 with its mark, or ANSI
// (Windows-1252) text, each up to a terminating zero or the resource's end.
#pragma once
#include "um/windef.h"

#include <string>

namespace user {

std::u16string ResourceText(const BYTE* data, size_t size);

} // namespace user
