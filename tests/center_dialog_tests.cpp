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
    TracedProcess app;
    Placement p = center(30, 40, 200, 150, 100, 50);
    ASSERT_EQ(p.parent_client.right, 200);
    // (200 - 100) / 2 and (150 - 50) / 2, without the parent's own position.
    EXPECT_EQ(p.dialog.left, 50);
    EXPECT_EQ(p.dialog.top, 50);
    EXPECT_EQ(p.dialog.right - p.dialog.left, 100);
}

TEST(CenterDialog, OddDifferencesTruncateTowardZero) {
    TracedProcess app;
    Placement p = center(0, 0, 201, 151, 100, 50);
    EXPECT_EQ(p.dialog.left, 50);
    EXPECT_EQ(p.dialog.top, 50);
}

TEST(CenterDialog, ADialogLargerThanTheClientAreaGoesToTheOrigin) {
    TracedProcess app;
    Placement p = center(10, 10, 120, 100, 199, 262);
    EXPECT_EQ(p.dialog.left, 0);
    EXPECT_EQ(p.dialog.top, 0);
    EXPECT_EQ(p.dialog.right, 199);
    EXPECT_EQ(p.dialog.bottom, 262);
}

TEST(CenterDialog, WiderOnlyIsClampedOnlyAcross) {
    TracedProcess app;
    Placement p = center(0, 0, 100, 200, 150, 100);
    EXPECT_EQ(p.dialog.left, 0);
    EXPECT_EQ(p.dialog.top, 50);
}

}  // namespace
