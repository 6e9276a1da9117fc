// The private sets' identifiers (privatesets.h) named at namespace scope as the platform's GUIDs,
// for the code that runs on the platform: the driver, the pages, the host programs and the tests.
// The including file brings the platform's GUID type into scope first (shared/guiddef.h); this
// folder itself includes no platform header.
#pragma once
#include "privatesets.h"

BREVICOR_NAME_PRIVATE_SETS(GUID);
