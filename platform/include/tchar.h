// <tchar.h>: the generic-text names (TCHAR, TEXT) come from windef.h here.
#pragma once
#include "windef.h"
