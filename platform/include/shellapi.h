// Shell part of the device API: the taskbar's notification area.
#pragma once
#include "windows.h"

typedef struct _NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[64];
} NOTIFYICONDATAW, *PNOTIFYICONDATAW;
typedef NOTIFYICONDATAW NOTIFYICONDATA;

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

PF_BEGIN_DECLS
BOOL WINAPI Shell_NotifyIcon(DWORD dwMessage, PNOTIFYICONDATAW lpData);
PF_END_DECLS
