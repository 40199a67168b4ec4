// The device API, as the application sees it on the emulated handheld.
#pragma once
#include "windef.h"
#include "winbase.h"
#include "winuser.h"
#include "wingdi.h"
