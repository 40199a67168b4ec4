/* The tray icon's popup menu and the two tray commands. */
#include "pendrel.h"
#include "reader.h"
#include "zel.h"

HMENU PopupMenu = NULL;

#define POPUP_TEXT_LENGTH 32

static void OpenTrayPopup(HWND window)
{
    WCHAR itemText[POPUP_TEXT_LENGTH];
    int x;
    int y;

    if (PopupMenu != NULL) {
        /* A tap while the popup is tracked: a click posted to our own queue
           makes the tracking loop close the open popup. */
        PostMessageW(NULL, WM_LBUTTONDOWN, 0, 0);
        return;
    }

    PopupMenu = CreatePopupMenu();
    memset(itemText, 0, sizeof(itemText));
    wsprintfW(itemText, TEXT("\x7d42\x4e86")); /* 終了 */
    AppendMenuW(PopupMenu, MF_STRING, IDM_TRAY_EXIT, itemText);

    x = GetSystemMetrics(SM_CXSCREEN) / 2 - 60;
    y = GetSystemMetrics(SM_CYSCREEN) - 30;
    TrackPopupMenuEx(PopupMenu, 0, x, y, window, NULL);

    DestroyMenu(PopupMenu);
    PopupMenu = NULL;
}

void OnTrayNotify(HWND window, LPARAM lParam)
{
    if (lParam == WM_LBUTTONDOWN)
        OpenTrayPopup(window);
}

LRESULT OnTrayExit(HWND window)
{
    StopReaderWorker();
    Shell_NotifyIcon(NIM_DELETE, &TrayIcon);
    /* The posted WM_DESTROY closes the reader and ends the message loop; the
       window itself goes with the process. */
    PostMessageW(window, WM_DESTROY, 0, 0);
    return 0;
}

LRESULT OnTrayRestore(HWND window)
{
    Shell_NotifyIcon(NIM_DELETE, &TrayIcon);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    ZELClose();
    return 0;
}
