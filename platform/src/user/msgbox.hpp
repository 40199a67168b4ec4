// Message boxes: state shared with the device side.
#pragma once
#include <optional>

#include "user/window.hpp"

namespace pf::user {

struct MessageBoxState : WindowExtension {
    std::u16string text;
    std::u16string caption;
    UINT type = 0;
    HWND owner = nullptr;
    std::optional<int> result;  // set by a key or the operator; ends the box
};

// Boxes open now, the newest last. Lock held.
std::vector<HWND>& open_boxes_locked();
std::vector<int> message_box_buttons(UINT type);
int message_box_internal(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type);

}  // namespace pf::user
