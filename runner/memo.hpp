// The memo: "any application on the terminal", a window filled by a
// multi-line edit, running its own message loop in its own process. Being a
// program on the device, it calls the device's Win32 API like Pendrel does.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "memo_ui.hpp"
#include "platform_link.hpp"

namespace runner::memo {

constexpr int edit_id = memo_ui::edit_id;

struct Memo {
    link::Process* process = nullptr;
    HWND window = nullptr;  // null if it could not be created
};

// Starts the memo process; returns once its window exists.
Memo start();

// Receives one line per key message the memo's edit gets, in the order it
// gets them: "down 0x41 shift", "char 0x61", "up 0x5B" (memo_ui::key_log_line).
void set_key_log(std::function<void(const std::string&)> log);

}  // namespace runner::memo
