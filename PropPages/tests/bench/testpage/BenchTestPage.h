// The bench's test page library: one page class, registered by its script, that implements
// IPropertyPage over ATL's page base and dialog, with one control of each kind the pages use. At
// WM_INITDIALOG it reads DEVICE_CONFIG through the handle of the filter it is bound to and shows the
// board's serial number; "Ask" asks a yes-or-no question, "Browse..." and "Font..." open the file and
// font dialogs; every edit makes it dirty; Apply sends DEVICE_CONFIG back (a SET that changes
// nothing), counts itself and makes it clean.
#pragma once
#include "um/objbase.h"

// {B3E1C0DE-5A1F-4B0C-9E21-7C1D2B3A4F50}, as the registration script names it.
inline constexpr CLSID CLSID_BenchTestPage{0xB3E1C0DE, 0x5A1F, 0x4B0C, {0x9E, 0x21, 0x7C, 0x1D, 0x2B, 0x3A, 0x4F, 0x50}};
