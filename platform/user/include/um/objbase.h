// COM: IUnknown, IClassFactory and the base calls.
#pragma once
#include "um/combaseapi.h"
#include "um/unknwn.h"
