/* The command bar on the desktop: a menu bar on the parent window. The bar
   itself is an empty child window, so that the program can destroy it. */
#include <windows.h>

#include "cecompat.h"

static const WCHAR CommandBarClass[] = L"PendrelCommandBar";

static LRESULT CALLBACK CommandBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

extern "C" HWND WINAPI CommandBar_Create(HINSTANCE hInst, HWND hwndParent, int idCmdBar)
{
    WNDCLASSW windowClass;
    memset(&windowClass, 0, sizeof(windowClass));
    windowClass.lpfnWndProc = CommandBarProc;
    windowClass.hInstance = hInst;
    windowClass.lpszClassName = CommandBarClass;
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, CommandBarClass, L"", WS_CHILD, 0, 0, 0, 0, hwndParent,
                           (HMENU)(INT_PTR)idCmdBar, hInst, NULL);
}

extern "C" BOOL WINAPI CommandBar_InsertMenubar(HWND hwndCB, HINSTANCE hInst, WORD idMenu, WORD iButton)
{
    (void)iButton;
    HMENU menu = LoadMenuW(hInst, MAKEINTRESOURCEW(idMenu));
    if (!menu)
        return FALSE;
    return SetMenu(GetParent(hwndCB), menu);
}

extern "C" BOOL WINAPI CommandBar_AddAdornments(HWND hwndCB, DWORD dwFlags, DWORD dwReserved)
{
    (void)hwndCB;
    (void)dwFlags;
    (void)dwReserved;
    return TRUE;
}

extern "C" BOOL WINAPI CommandBar_Show(HWND hwndCB, BOOL fShow)
{
    HWND parent = GetParent(hwndCB);
    if (parent)
        DrawMenuBar(parent);
    (void)fShow;
    return TRUE;
}
