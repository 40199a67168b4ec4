// Menus made at run time (CreatePopupMenu, AppendMenuW) and the modal
// popup that TrackPopupMenuEx shows; what the device sees of it.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace pf::user {

// Popup geometry on this device.
constexpr int popup_item_height = 20;
constexpr int popup_char_width = 8;   // per character, full- or half-width alike
constexpr int popup_padding = 24;     // left and right margins together
constexpr int popup_min_width = 60;

}  // namespace pf::user

namespace pf::user::handheld {

struct PopupItem {
    UINT id = 0;
    UINT flags = 0;          // MF_GRAYED, MF_SEPARATOR, MF_POPUP ...
    std::u16string text;
};

struct PopupInfo {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    std::string party;
    RECT rect{};             // screen coordinates
    std::vector<PopupItem> items;
};

// The popup being tracked, if any (the most recent one when several are).
std::optional<PopupInfo> open_popup();
bool popup_open();
// Chooses item `id` of the open popup: the popup closes and its command is
// sent as TrackPopupMenuEx sends it. False when no popup is open or it has
// no enabled command item `id`.
bool choose(UINT id);
// A tap outside the open popup: it closes without a command. False when no
// popup is open.
bool tap_outside();

}  // namespace pf::user::handheld
