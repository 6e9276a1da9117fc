// COM and OLE Automation in one include.
#pragma once
#include "um/objbase.h"
#include "um/oleauto.h"
