// The Win32 calls of the stand-in's user side in one include.
#pragma once
#include "um/windef.h"
#include "um/winerror.h"
#include "um/errhandlingapi.h"
#include "um/minwinbase.h"
#include "um/handleapi.h"
#include "um/fileapi.h"
#include "um/ioapiset.h"
#include "um/winioctl.h"
#include "um/synchapi.h"
