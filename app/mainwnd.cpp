/* The main window: start-up sequence, banner, the key-output modes. */
#include "pendrel.h"
#include "reader.h"
#include "settings.h"
#include "zel.h"

HWND MainWindow = NULL;
HWND CommandBar = NULL;
NOTIFYICONDATA TrayIcon;
LONG ShowMain = 0;
HWND OpenTarget = NULL;

#define BANNER_LENGTH 100

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_TRAYNOTIFY:
        OnTrayNotify(window, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

/* A failed start-up step: Retry leaves the window shown with its menu so the
   user can choose a mode; any other answer ends the program. */
static LRESULT StartupRetryBox(HWND window, const WCHAR* text, const WCHAR* caption)
{
    if (MessageBoxW(window, text, caption, MB_RETRYCANCEL) == IDRETRY) {
        ShowMain = 1;
        return 1;
    }
    DestroyWindow(window);
    return 1;
}

LRESULT OnCreate(HWND window)
{
    DWORD result;

    MainWindow = window;
    CommandBar = CommandBar_Create(hInst, window, 1);
    CommandBar_InsertMenubar(CommandBar, hInst, IDR_MAINMENU, 0);
    CommandBar_AddAdornments(CommandBar, 0, 0);

    memset(&TrayIcon, 0, sizeof(TrayIcon));
    TrayIcon.cbSize = sizeof(NOTIFYICONDATA);
    TrayIcon.hWnd = window;
    TrayIcon.uID = 1;
    TrayIcon.uFlags = NIF_MESSAGE | NIF_ICON;
    TrayIcon.uCallbackMessage = WM_TRAYNOTIFY;
    TrayIcon.hIcon = (HICON)LoadImageW(hInst, MAKEINTRESOURCEW(IDI_PENDREL), IMAGE_ICON, 16, 16, 0);

    if (ReadStartupSetting() == 1) {
        ShowMain = 1;
        return 0;
    }

    if (StartReaderWorker(window) != 0)
        MessageBoxW(window, TextWorkerStartFailed, CaptionWorkerStart, MB_OK);

    ResetReader();
    if (ZELChangeBuffMode(ZEL_BUFFER_FETCH) != 0)
        return StartupRetryBox(window, TextBufferSwitchFailed, CaptionBufferSwitch);

    result = ZELOpen(OpenTarget, 0);
    if (result == ZEL_ERR_TRIGGER_KEY)
        return StartupRetryBox(window, TextTriggerKeyFailed, CaptionOpen);
    if (result != 0) {
        MessageBoxW(window, TextDriverOpenFailed, CaptionOpen, MB_OK);
        ShowMain = 1;
        return 1;
    }

    Shell_NotifyIcon(NIM_ADD, &TrayIcon);
    ShowWindow(window, SW_HIDE);
    ShowMain = 0;
    return 0;
}

void OnDestroy(HWND window)
{
    (void)window;
    ZELClose();
    if (CommandBar) {
        DestroyWindow(CommandBar);
        CommandBar = NULL;
    }
    PostQuitMessage(0);
}

void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    RECT client;
    WCHAR banner[BANNER_LENGTH];
    HDC dc;
    int count;

    /* The start-up show is undone here, so a background start only flashes. */
    if (ShowMain == 0) {
        ShowWindow(window, SW_HIDE);
        ShowMain = 1;
        return;
    }

    dc = BeginPaint(window, &paint);
    GetClientRect(window, &client);
    LoadStringW(hInst, IDS_BANNER, banner, BANNER_LENGTH);
    for (count = 0; count < BANNER_LENGTH && banner[count] != 0; count++) {
    }
    DrawTextW(dc, banner, count, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
}

void OnClose(HWND window)
{
    Shell_NotifyIcon(NIM_DELETE, &TrayIcon);
    DestroyWindow(window);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_EXIT:
        return OnExit(window);
    case IDM_ABOUT:
        return OnAbout(window);
    case IDM_EXEC_DISPLAY:
        return OnReadDisplay(window);
    case IDM_EXEC_KEYOUT:
        return OnReadKeyOutput(window);
    case IDM_TRAY_EXIT:
        return OnTrayExit(window);
    case IDM_TRAY_RESTORE:
        return OnTrayRestore(window);
    }
    return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
}

LRESULT OnReadKeyOutput(HWND window)
{
    DWORD result;

    ResetReader();
    if (ZELChangeBuffMode(ZEL_BUFFER_KEY_OUTPUT) != 0)
        return CommandRetryBox(window, TextBufferSwitchFailed, CaptionBufferSwitchJa);

    result = ZELOpen(OpenTarget, 0);
    if (result == ZEL_ERR_TRIGGER_KEY)
        return CommandRetryBox(window, TextTriggerKeyFailed, CaptionOpenJa);
    if (result != 0) {
        MessageBoxW(window, TextDriverOpenFailed, CaptionOpen, MB_OK);
        return 1;
    }

    /* The driver types the reads itself in this mode: no worker of ours. */
    Shell_NotifyIcon(NIM_ADD, &TrayIcon);
    ShowWindow(window, SW_HIDE);
    return 0;
}

LRESULT OnExit(HWND window)
{
    DestroyWindow(window);
    /* WM_DESTROY has already closed the reader; this second close finds it
       closed and changes nothing. */
    ZELClose();
    return 0;
}
