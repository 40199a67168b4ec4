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

/* On the handheld a click posted to the thread closes the popup menu being
   tracked, which is how the program closes its tray popup on a second tap.
   The desktop's menu loop judges such a click by the cursor's position, so
   here the posted click closes the menu directly. */
static inline BOOL PendrelPostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window == NULL && message == WM_LBUTTONDOWN)
        return EndMenu();
    return PostMessageW(window, message, wParam, lParam);
}
#define PostMessageW PendrelPostMessageW

/* On the handheld a window handle with its low bit set asks the foreground
   request to bring back the window's last active box or dialog rather than
   the window itself; the desktop has no such form, but GetLastActivePopup
   names the same window. */
static inline BOOL PendrelSetForegroundWindow(HWND window)
{
    if (((ULONG_PTR)window & 0x01) == 0)
        return SetForegroundWindow(window);
    return SetForegroundWindow(GetLastActivePopup((HWND)((ULONG_PTR)window & ~(ULONG_PTR)0x01)));
}
#define SetForegroundWindow PendrelSetForegroundWindow

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
