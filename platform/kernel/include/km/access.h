// Standard and generic access rights, shared by every object kind (keys, files, threads).
#pragma once
#include "shared/accessrights.h"
