/* Start-up, single instance and the message loop. */
#include "pendrel.h"

HINSTANCE hInst = NULL;

static const WCHAR InstanceMutexName[] = TEXT("PENDRELInstance");

/* Registers the class and creates the main window; WM_CREATE runs the
   start-up sequence and may already hide or destroy the window. */
static BOOL InitInstance(HINSTANCE instance, int showCommand)
{
    WCHAR className[TITLE_LENGTH];
    WCHAR title[TITLE_LENGTH];
    WNDCLASSW windowClass;
    HWND window;

    hInst = instance;

    LoadStringW(hInst, IDS_CLASSNAME, className, TITLE_LENGTH);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = hInst;
    windowClass.hIcon = LoadIconW(hInst, MAKEINTRESOURCEW(IDI_PENDREL));
    windowClass.hCursor = NULL;
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);

    LoadStringW(hInst, IDS_TITLE, title, TITLE_LENGTH);
    window = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, NULL, NULL, hInst, NULL);
    if (!window)
        return FALSE;

    /* In a background start this show is undone by the first paint. */
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (CommandBar)
        CommandBar_Show(CommandBar, TRUE);
    return TRUE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand)
{
    /* The second copy only reads: everything it touches is local, so the
       running copy's state is never disturbed. */
    WCHAR className[TITLE_LENGTH];
    HANDLE instanceMutex;
    HACCEL accelerators;
    HWND running;
    MSG msg;

    (void)previous;
    (void)commandLine;

    instanceMutex = CreateMutexW(NULL, FALSE, InstanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        LoadStringW(instance, IDS_CLASSNAME, className, TITLE_LENGTH);
        running = FindWindowW(className, NULL);
        /* A copy waiting in the tray stays there: asking for the front would
           give its hidden window the keyboard, and every later read would go
           where no one sees it. A shown copy comes back as it was left, with
           its open box or dialog in front (the handle's low bit asks for
           that). */
        if (running && IsWindowVisible(running))
            SetForegroundWindow((HWND)((ULONG_PTR)running | 0x01));
        CloseHandle(instanceMutex);
        return 0;
    }

    if (!InitInstance(instance, showCommand))
        return 0;

    accelerators = LoadAcceleratorsW(hInst, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    while (GetMessageW(&msg, NULL, 0, 0)) {
        if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
    return (int)msg.wParam;
}
