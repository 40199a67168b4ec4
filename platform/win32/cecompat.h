/* What desktop Windows lacks and the handheld has, for the Win32 build of
   the same application sources. Force-included before every source file. */
#ifndef PENDREL_CECOMPAT_H
#define PENDREL_CECOMPAT_H

#include <windows.h>
#include <commctrl.h>

/* The handheld's entry point takes a wide command line. */
#define WinMain wWinMain

/* A press without a key click. On the desktop 4 is KEYEVENTF_UNICODE, so the
   flag must not reach keybd_event there. */
#define KEYEVENTF_SILENT 0

/* The OK button in a dialog's caption; desktop dialogs have none. */
#ifndef WS_EX_CAPTIONOKBTN
#define WS_EX_CAPTIONOKBTN 0x80000000L
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The command bar: on the desktop, a menu bar on the parent window. */
HWND WINAPI CommandBar_Create(HINSTANCE hInst, HWND hwndParent, int idCmdBar);
BOOL WINAPI CommandBar_InsertMenubar(HWND hwndCB, HINSTANCE hInst, WORD idMenu, WORD iButton);
BOOL WINAPI CommandBar_AddAdornments(HWND hwndCB, DWORD dwFlags, DWORD dwReserved);
BOOL WINAPI CommandBar_Show(HWND hwndCB, BOOL fShow);

#ifdef __cplusplus
}
#endif

#endif
