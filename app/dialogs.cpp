/* The read-display test dialog and the About box. */
#include "pendrel.h"
#include "reader.h"
#include "zel.h"

static INT_PTR RunDialog(HWND owner, int dialogId, DLGPROC procedure)
{
    HRSRC resource;
    HGLOBAL loaded;

    resource = FindResourceW(hInst, MAKEINTRESOURCEW(dialogId), RT_DIALOG);
    if (!resource)
        return -1;
    loaded = LoadResource(hInst, resource);
    if (!loaded)
        return -1;
    return DialogBoxIndirectParamW(hInst, (LPCDLGTEMPLATEW)LockResource(loaded), owner, procedure, 0);
}

LRESULT OnReadDisplay(HWND window)
{
    DWORD result;

    Shell_NotifyIcon(NIM_DELETE, &TrayIcon);
    ShowWindow(window, SW_SHOW);
    OpenTarget = window;
    ResetReader();
    StartReaderWorker(window);
    ZELClose();
    ZELChangeBuffMode(ZEL_BUFFER_FETCH);

    result = ZELOpen(OpenTarget, 0);
    if (result == ZEL_ERR_TRIGGER_KEY)
        return CommandRetryBox(window, TextTriggerKeyFailed, CaptionOpenJa);
    if (result != 0) {
        MessageBoxW(window, TextDriverOpenFailed, CaptionOpen, MB_OK);
        return 1;
    }

    RunDialog(window, IDD_READDISPLAY, ReadDisplayDlgProc);
    ZELClose();
    return 0;
}

LRESULT OnAbout(HWND window)
{
    RunDialog(window, IDD_ABOUT, AboutDlgProc);
    return 0;
}

INT_PTR CALLBACK ReadDisplayDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            /* The worker stops before the dialog goes; the reader is closed
               after it has gone. */
            StopReaderWorker();
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        CenterDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

/* Centres the dialog in a rectangle the size of its parent's client area,
   counted from the screen origin. */
void CenterDialog(HWND dialog)
{
    RECT dialogRect;
    RECT parentClient;
    int x;
    int y;

    if (!GetWindowRect(dialog, &dialogRect))
        return;
    GetClientRect(GetParent(dialog), &parentClient);
    x = ((parentClient.right - parentClient.left) - (dialogRect.right - dialogRect.left)) / 2;
    y = ((parentClient.bottom - parentClient.top) - (dialogRect.bottom - dialogRect.top)) / 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
