// Graphics part of the device API: only stock objects.
#pragma once
#include "windef.h"

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

PF_BEGIN_DECLS
HGDIOBJ WINAPI GetStockObject(int fnObject);
PF_END_DECLS
