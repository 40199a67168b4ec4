// The predefined control classes: EDIT, STATIC and a minimal BUTTON.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "user/window.hpp"

// Control constants the application headers do not carry.
#ifndef EM_LIMITTEXT
#define EM_LIMITTEXT 0x00C5
#endif
#ifndef EM_GETLIMITTEXT
#define EM_GETLIMITTEXT 0x00D5
#endif
#ifndef EN_MAXTEXT
#define EN_MAXTEXT 0x0501
#endif
#ifndef BM_CLICK
#define BM_CLICK 0x00F5
#endif
#ifndef BN_CLICKED
#define BN_CLICKED 0
#endif
#ifndef BS_PUSHBUTTON
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_TYPEMASK 0x0000000FL
#endif
#ifndef DM_GETDEFID
#define DM_GETDEFID (WM_USER + 0)
#define DC_HASDEFID 0x534B
#endif
#ifndef VK_END
#define VK_END 0x23
#define VK_HOME 0x24
#endif
#ifndef SS_TYPEMASK
#define SS_TYPEMASK 0x0000001FL
#endif

namespace pf::user {

// Registers EDIT, STATIC and BUTTON as system classes; safe to call again.
void register_controls();

// An edit control's text limit when nobody set one.
constexpr size_t default_edit_limit = 30000;

struct EditState : WindowExtension {
    size_t sel_start = 0;  // anchor
    size_t sel_end = 0;    // caret
    size_t limit = default_edit_limit;
};

// The edit state of an EDIT window, or null for other windows. Lock held.
EditState* edit_state_locked(const Window& w);
// The icon an SS_ICON static shows, or null. Lock held.
HICON static_icon_locked(const Window& w);
// "EDIT", "STATIC", "BUTTON", or the class name as registered. Lock held.
std::u16string class_name_locked(const Window& w);

}  // namespace pf::user
