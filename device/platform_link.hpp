// What the device runner needs from the reader driver and from the dialog
// and popup-menu code, in one place: platform_link.cpp forwards each call to
// the part of the platform that implements it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace device::link {

// ---- the simulated reader ----
void boot_reader();                        // before the first launch
void reset_reader();                       // between scenarios: closed, mode 0, nothing pending, no faults
// The operator scans a barcode; empty, or why the reader refused it.
std::string scan(const std::string& bytes);
void fail_open(std::uint32_t result);      // the next ZELOpen returns result
void fail_change_mode(std::uint32_t result);  // the next ZELChangeBuffMode returns result
bool reader_open();
int buffer_mode();

// ---- dialogs ----
// The topmost open dialog (of any process), or null.
HWND open_dialog();
// The resource id of the template the dialog was made from, or 0.
int dialog_template_id(HWND dialog);
// Presses the dialog's caption OK button (IDOK) or its close button (IDCANCEL).
bool press_dialog(HWND dialog, int id);

// ---- popup menus ----
struct PopupItem {
    UINT id = 0;
    std::u16string text;
};
struct Popup {
    POINT at{};  // top-left corner, screen coordinates
    std::vector<PopupItem> items;
};
std::optional<Popup> open_popup();
// Chooses an item of the open popup, or taps outside it (nullopt).
bool choose_popup(std::optional<UINT> id);

}  // namespace device::link
