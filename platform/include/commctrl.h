// Common controls of the device: the command bar.
#pragma once
#include "windows.h"

PF_BEGIN_DECLS
HWND WINAPI CommandBar_Create(HINSTANCE hInst, HWND hwndParent, int idCmdBar);
BOOL WINAPI CommandBar_InsertMenubar(HWND hwndCB, HINSTANCE hInst, WORD idMenu, WORD iButton);
BOOL WINAPI CommandBar_AddAdornments(HWND hwndCB, DWORD dwFlags, DWORD dwReserved);
BOOL WINAPI CommandBar_Show(HWND hwndCB, BOOL fShow);
int WINAPI CommandBar_Height(HWND hwndCB);
PF_END_DECLS
