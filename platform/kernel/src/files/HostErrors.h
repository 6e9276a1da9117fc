// The status a file function reports for a host error (an errno value).
#pragma once
#include "km/types.h"

namespace standin {

NTSTATUS StatusFromHostError(int error);

} // namespace standin
