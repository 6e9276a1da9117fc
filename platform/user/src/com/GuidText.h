// A GUID in its registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", for the key names of
// COM and type libraries.
#pragma once
#include "um/combaseapi.h"

#include <string>

namespace user {

std::u16string GuidText(REFGUID guid);

} // namespace user
