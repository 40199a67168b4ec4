// The runner's one route into the platform: every call the runner makes on
// the emulated device, each a thin forward (platform_link.cpp) to the part of
// the platform that implements it. Nothing else in device/ includes a
// platform header, so this file lists all the runner depends on.
//
// Call these from a runner thread without the device lock; none of them
// waits for an application to respond, except wait_quiet and wait_exit.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/core.hpp"
#include "user/handheld.hpp"

namespace runner::link {

using Process = pf::Process;
using TraceRecord = pf::TraceRecord;

// ---- the device as a whole ----
void set_root(const std::filesystem::path& root);  // the host folder that is the device's file system
// Waits until no device thread can make progress without a timed wait;
// false when that did not happen within the timeout.
bool wait_quiet(std::chrono::milliseconds timeout);
void restart_handle_names();  // handle names counted from 1 again

// ---- the trace ----
void set_trace_verbose(bool verbose);  // include the per-poll calls
void set_trace_sink(std::function<void(const TraceRecord&)> sink);  // empty: none
std::vector<TraceRecord> trace_records();
void clear_trace();
// A line of the "device" party: what the operator did.
void trace_operator(const std::string& text);

// ---- text as the trace shows it ----
std::string quoted(const std::u16string& text);  // "text"
std::string utf8(const std::u16string& text);
std::u16string utf16(const std::string& text);
std::string hex(long long value);  // 0x...

// ---- processes ----
// A module image with the resources of a .res image, for a launch.
HINSTANCE load_module(const std::string& party, const unsigned char* res, unsigned long size);
// Starts Pendrel's launch N as `party`; main runs on its first thread.
Process* launch(const std::string& party, int n, HINSTANCE instance, std::function<DWORD()> main);
// Starts an untraced process of the device (the memo) running fn.
Process* start_process(const std::string& party, std::function<void()> fn);
// Ends a process and waits, up to the timeout, until its threads have left.
void end_and_join(Process* p, std::chrono::milliseconds timeout);
bool wait_exit(Process* p, std::chrono::milliseconds timeout);  // false on timeout

struct ProcessState {
    std::string party;      // "pendrel#1"
    bool ended = false;
    DWORD exit_code = 0;    // once ended
    int live_threads = 0;
};
ProcessState state_of(const Process* p);

// ---- faults armed for the next call ----
void fail_next_create_thread(DWORD error);
void fail_next_create_file(DWORD error);
void fail_next_read_file(DWORD error);
void clear_faults();

// ---- the device keyboard ----
void key_event(std::uint8_t vk, bool up);  // as keybd_event
// The character a key types on the device's layout, with or without Shift.
std::optional<WCHAR> layout_char(std::uint8_t vk, bool shift);

// ---- windows, as the operator and other programs reach them ----
std::vector<HWND> windows_of(const Process* p);  // top-level windows, any visibility
std::u16string class_of(HWND window);             // empty for an invalid window
HWND child_by_id(HWND parent, int id);            // direct or nested
std::u16string text_of(HWND window);
void set_text(HWND window, const std::u16string& text);  // WM_SETTEXT, sent without the application's queue
bool is_visible(HWND window);
// Activates the window's top-level window and focuses it, as a tap would.
bool set_focus(HWND window);
bool post(HWND window, UINT message, WPARAM wp, LPARAM lp);  // as another program would

// ---- the screen, the tray, the command bar, message boxes ----
namespace screen {
using Snapshot = pf::user::handheld::Screen;
using Control = pf::user::handheld::Control;
using MenuItem = pf::user::handheld::MenuItem;
using Box = pf::user::handheld::MessageBoxInfo;
constexpr int width = pf::user::handheld::screen_width;
constexpr int height = pf::user::handheld::screen_height;
}  // namespace screen
screen::Snapshot snapshot();
size_t tray_icon_count();
bool tap_tray(size_t index);  // false for a bad index
bool choose_menu_command(UINT id);  // false when no command bar on the screen carries it
std::optional<screen::Box> message_box();  // the topmost open one
bool answer_message_box(int id);  // IDOK, IDCANCEL, IDRETRY; false without such a button

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

}  // namespace runner::link
