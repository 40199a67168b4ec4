// Modal dialogs from dialog templates, the dialog manager's keyboard
// handling, and what the device sees of an open dialog.
//
// Dialog units: the templates' "System" font (at 8 or 9 points alike) has
// base units of 6 x 12 pixels on this device, so one horizontal dialog unit
// is 6/4 pixel and one vertical unit 12/8 pixel: 1.5 pixels both ways.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "user/window.hpp"

namespace pf::user {

constexpr int dialog_base_x = 6;
constexpr int dialog_base_y = 12;
// Dialog units to pixels (rounded as MulDiv rounds).
int dlu_to_px_x(int x);
int dlu_to_px_y(int y);

// The dialog window class, whose procedure is the default dialog procedure (dialog.cpp).
inline constexpr const char16_t* dialog_class = u"#32770";

struct DialogState : WindowExtension {
    bool ended = false;
    INT_PTR result = 0;
    HWND owner = nullptr;
    bool owner_disabled = false;      // we disabled it and must enable it again
    std::optional<WORD> template_id;  // when the template came from a module's RT_DIALOG
    HINSTANCE instance = nullptr;
};
// The dialog state of a dialog window, or null. Lock held.
DialogState* dialog_state_locked(const Window& w);

// The dialog manager's handling of one message for dialog `dlg`: keys that
// move the focus or end the dialog are handled, anything else for the
// dialog is translated and dispatched. False when the message is not for
// the dialog or one of its controls (nothing done then).
bool is_dialog_message_internal(HWND dlg, MSG& msg);

}  // namespace pf::user

namespace pf::user::handheld {

struct DialogControl {
    HWND hwnd = nullptr;
    int id = 0;
    std::u16string cls;      // "EDIT", "STATIC", "BUTTON" ...
    std::u16string text;
    DWORD style = 0;
    RECT rect{};             // screen coordinates
    bool visible = false;
    bool enabled = false;
    bool focused = false;
    HICON icon = nullptr;    // an icon static's icon
    size_t sel_start = 0;    // edit controls: the selection (caret at sel_end)
    size_t sel_end = 0;
};

struct DialogInfo {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::string party;
    std::optional<WORD> template_id;
    std::u16string title;
    RECT rect{};             // window, screen coordinates
    RECT client{};           // client area, screen coordinates
    DWORD style = 0;
    DWORD exstyle = 0;
    bool ok_button = false;     // caption OK button (WS_EX_CAPTIONOKBTN)
    bool close_button = false;  // caption close button (WS_SYSMENU)
    bool visible = false;
    std::vector<DialogControl> controls;  // tab order
    HWND focus = nullptr;    // the focused control, when it is in this dialog
    int focus_id = 0;
};

// Modal dialogs still running, topmost first; open_dialog is the first.
std::vector<DialogInfo> open_dialogs();
std::optional<DialogInfo> open_dialog();
// The caption buttons of the topmost dialog: OK posts WM_COMMAND IDOK
// (only with WS_EX_CAPTIONOKBTN), close posts WM_COMMAND IDCANCEL (only with
// WS_SYSMENU). False when there is no dialog or no such button.
bool press_ok();
bool press_cancel();
// Gives the focus to control `id` of the topmost dialog, as a tap on it.
bool focus_control(int id);

}  // namespace pf::user::handheld
