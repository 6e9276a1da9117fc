// The C runtime's formatting into a counted buffer (_snprintf, _vsnprintf, _snwprintf,
// _vsnwprintf): the kernel side's functions and formatter themselves, floating point included (l is
// 32 bits; %ls / %S take UTF-16 text in the narrow forms), declared in shared/crtformat.h with their
// count rule.
#pragma once
#include "shared/crtformat.h"
