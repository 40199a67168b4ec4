/* Pendrel's application shell: process-wide state and the handlers that the
   window procedure hands its messages to. */
#ifndef PENDREL_APP_H
#define PENDREL_APP_H

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "resource.h"

/* The tray icon's callback message. */
#define WM_TRAYNOTIFY (WM_APP + 100)

#define TITLE_LENGTH 100

extern HINSTANCE hInst;
extern HWND MainWindow;
extern HWND CommandBar;
extern NOTIFYICONDATA TrayIcon;
/* 0: the next WM_PAINT hides the window instead of painting; 1: paint. */
extern LONG ShowMain;
/* The window handed to ZELOpen; stays NULL until the read display sets it. */
extern HWND OpenTarget;
/* Non-NULL exactly while the tray popup is being tracked. */
extern HMENU PopupMenu;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* mainwnd.cpp */
LRESULT OnCreate(HWND window);
void OnDestroy(HWND window);
void OnPaint(HWND window);
void OnClose(HWND window);
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnReadKeyOutput(HWND window);
LRESULT OnExit(HWND window);

/* tray.cpp */
void OnTrayNotify(HWND window, LPARAM lParam);
LRESULT OnTrayExit(HWND window);
LRESULT OnTrayRestore(HWND window);

/* dialogs.cpp */
LRESULT OnReadDisplay(HWND window);
LRESULT OnAbout(HWND window);
INT_PTR CALLBACK ReadDisplayDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void CenterDialog(HWND dialog);

/* boxes.cpp: the message boxes' texts. The start-up boxes and the command
   boxes differ in their captions. */
extern const WCHAR TextBufferSwitchFailed[];
extern const WCHAR TextTriggerKeyFailed[];
extern const WCHAR TextDriverOpenFailed[];
extern const WCHAR TextWorkerStartFailed[];
extern const WCHAR CaptionWorkerStart[];
extern const WCHAR CaptionBufferSwitch[];
extern const WCHAR CaptionBufferSwitchJa[];
extern const WCHAR CaptionOpen[];
extern const WCHAR CaptionOpenJa[];
/* A failed mode command: Retry returns to the shown window, any other answer
   ends the program. Returns 1 either way. */
LRESULT CommandRetryBox(HWND window, const WCHAR* text, const WCHAR* caption);

#endif
