// Conversion between the stand-in's wide text (UTF-16) and the UTF-8 of host files and reports:
// Utf16ToUtf8, Utf16ToUtf8Lossy and Utf8ToUtf16, declared on the control surface (standin/text.h)
// because the user side's conversions use them too.
#pragma once
#include "standin/text.h"
