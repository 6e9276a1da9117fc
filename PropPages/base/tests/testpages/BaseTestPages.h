// The page base's test pages: a library of property pages that tests register beside the board's
// driver. Three editing pages over CPropPageImpl (titles "Device", "Video Proc Amp" and "Trace",
// which the base counts among its own) edit the crop record's top line per pin type, follow crop
// notifications and list every notification they receive in a label ("C<pin>:<top> " for a crop
// record, "? " for another set); two plain ATL pages stand for pages of other libraries: "Color" and the
// system's "Video Proc Amp".
#pragma once
#include "um/objbase.h"

// {6A0B5E10-91C2-4D7E-8F3A-0C5D2E7B1A01} and on, as the registration script names them.
inline constexpr CLSID CLSID_BaseTestDevicePage{0x6A0B5E10, 0x91C2, 0x4D7E, {0x8F, 0x3A, 0x0C, 0x5D, 0x2E, 0x7B, 0x1A, 0x01}};
inline constexpr CLSID CLSID_BaseTestProcAmpPage{0x6A0B5E10, 0x91C2, 0x4D7E, {0x8F, 0x3A, 0x0C, 0x5D, 0x2E, 0x7B, 0x1A, 0x02}};
inline constexpr CLSID CLSID_BaseTestTracePage{0x6A0B5E10, 0x91C2, 0x4D7E, {0x8F, 0x3A, 0x0C, 0x5D, 0x2E, 0x7B, 0x1A, 0x03}};
inline constexpr CLSID CLSID_ForeignColorPage{0x6A0B5E10, 0x91C2, 0x4D7E, {0x8F, 0x3A, 0x0C, 0x5D, 0x2E, 0x7B, 0x1A, 0x04}};
inline constexpr CLSID CLSID_SystemProcAmpPage{0x6A0B5E10, 0x91C2, 0x4D7E, {0x8F, 0x3A, 0x0C, 0x5D, 0x2E, 0x7B, 0x1A, 0x05}};
