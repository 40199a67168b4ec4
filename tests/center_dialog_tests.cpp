// CenterDialog: centred in a rectangle the size of the parent's client area,
// counted from the screen origin; a dialog that does not fit goes to 0,0.
#include <gtest/gtest.h>

#include "pendrel.h"
#include "trace_table.hpp"

using trace_table::TracedProcess;

namespace {

LRESULT CALLBACK PlainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct Placement {
    RECT parent_client;
    RECT dialog;
};

// A parent whose client area is client_w x client_h, at (px, py), and an owned
// popup of dialog_w x dialog_h standing for the dialog.
Placement center(int px, int py, int client_w, int client_h, int dialog_w, int dialog_h) {
    // Classes belong to the registering process, which each test makes anew.
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainWndProc;
    wc.lpszClassName = u"CenterTest";
    RegisterClassW(&wc);
    // A WS_POPUP window without a frame: its client area is its window.
    HWND parent = CreateWindowExW(0, u"CenterTest", u"parent", WS_POPUP | WS_VISIBLE, px, py, client_w, client_h,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND dialog = CreateWindowExW(0, u"CenterTest", u"dialog", WS_POPUP | WS_VISIBLE, 100, 100, dialog_w,
                                  dialog_h, parent, nullptr, nullptr, nullptr);
    CenterDialog(dialog);
    Placement p{};
    GetClientRect(parent, &p.parent_client);
    GetWindowRect(dialog, &p.dialog);
    DestroyWindow(dialog);
    DestroyWindow(parent);
    return p;
}

TEST(CenterDialog, CentresInTheParentsClientSizeFromTheScreenOrigin) {
    struct Case {
        int client_w, client_h, dialog_w, dialog_h;
        LONG left, top;
    } cases[] = {
        {200, 150, 100, 50, 50, 50},  // (200 - 100) / 2, (150 - 50) / 2: the parent's own position left out
        {201, 151, 100, 50, 50, 50},  // odd differences truncate toward zero
        {120, 100, 199, 262, 0, 0},   // larger than the client area: to the origin
        {100, 200, 150, 100, 0, 50},  // wider only: clamped only across
    };
    for (const Case& c : cases) {
        TracedProcess app;
        Placement p = center(30, 40, c.client_w, c.client_h, c.dialog_w, c.dialog_h);
        SCOPED_TRACE(std::to_string(c.client_w) + " x " + std::to_string(c.client_h));
        EXPECT_EQ(p.parent_client.right, c.client_w);
        EXPECT_EQ(p.dialog.left, c.left);
        EXPECT_EQ(p.dialog.top, c.top);
        EXPECT_EQ(p.dialog.right - p.dialog.left, c.dialog_w);
        EXPECT_EQ(p.dialog.bottom - p.dialog.top, c.dialog_h);
    }
}

}  // namespace
