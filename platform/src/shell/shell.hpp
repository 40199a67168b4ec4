// The shell's parts of the screen: the taskbar's tray and command bars.
#pragma once
#include <shellapi.h>

#include "user/resources.hpp"
#include "user/window.hpp"

namespace pf::shell {

struct TrayEntry {
    HWND owner = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callback = 0;
    HICON icon = nullptr;
    std::u16string tip;
    Process* process = nullptr;
};
// The tray's icons in the order they were added. Lock held.
std::vector<TrayEntry>& tray_locked();

struct CommandBarState : user::WindowExtension {
    std::vector<user::MenuTemplateItem> menu;  // the menu bar's popups
    bool adornments = false;
};
inline constexpr int command_bar_height = 26;
inline constexpr char16_t command_bar_class[] = u"CommandBar";
// The command bar state of a window, or null when it is not a command bar. Lock held.
CommandBarState* command_bar_locked(HWND hwnd);

}  // namespace pf::shell
