// The runner's one route into the platform: every call the runner makes on
// the emulated device, each a thin forward to the part of the platform (or
// of the simulated reader driver) that implements it. Nothing else in
// runner/ includes a platform header, so this file lists all the runner
// depends on.
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
#include <thread>
#include <vector>

#include "core/core.hpp"
#include "input/input.hpp"
#include "kernel/kernel.hpp"
#include "user/dialog.hpp"
#include "user/handheld.hpp"
#include "user/menu.hpp"
#include "user/window.hpp"
#include "zel_control.hpp"

namespace runner::link {

namespace ud = pf::user::handheld;

using Process = pf::Process;
using TraceRecord = pf::TraceRecord;

// ---- the device as a whole ----
// The host folder that is the device's file system.
inline void set_root(const std::filesystem::path& root) { pf::kernel::set_device_root(root); }
// Where a device path lies below a host folder, as the device's file system finds it.
inline pf::kernel::DeviceEntry find_device_entry(const std::filesystem::path& root, const std::string& path) {
    return pf::kernel::find_device_entry(root, path);
}
// Waits until no device thread can make progress without a timed wait;
// false when that did not happen within the timeout.
inline bool wait_quiet(std::chrono::milliseconds timeout) { return pf::wait_quiet(timeout); }
inline void restart_handle_names() { pf::kernel::restart_handle_names(); }  // handle names counted from 1 again

// ---- the trace ----
inline void set_trace_verbose(bool verbose) { pf::set_trace_verbose(verbose); }  // include the per-poll calls
// Where each trace line goes as it is made; empty: nowhere.
inline void set_trace_sink(std::function<void(const TraceRecord&)> sink) { pf::set_trace_sink(std::move(sink)); }
inline std::vector<TraceRecord> trace_records() { return pf::trace_records(); }
inline void clear_trace() { pf::trace_clear(); }
// A line of the "device" party: what the operator did.
inline void trace_operator(const std::string& text) { pf::trace_as("device", text); }

// ---- text as the trace shows it ----
inline std::string quoted(const std::u16string& text) { return pf::quoted(text.c_str(), int(text.size())); }  // "text"
inline std::string utf8(const std::u16string& text) { return pf::utf8(text.c_str(), int(text.size())); }
inline std::string hex(long long value) { return pf::hex(static_cast<unsigned long long>(value)); }  // 0x...

// ---- processes ----
// A module image with the resources of a .res image, for a launch.
inline HINSTANCE load_module(const std::string& party, const unsigned char* res, unsigned long size) {
    return ud::load_module(party, res, size);
}
// Starts Pendrel's launch N as `party`; main runs on its first thread.
inline Process* launch(const std::string& party, int n, HINSTANCE instance, std::function<DWORD()> main) {
    return pf::launch_process(party, n, instance, std::move(main));
}
// Starts an untraced process of the device (the memo) running fn.
inline Process* start_process(const std::string& party, std::function<void()> fn) {
    pf::Lock lock(pf::device_mutex());
    Process* p = pf::create_process(party, false, 0);
    pf::start_device_thread(p, std::move(fn));
    return p;
}
// Ends a process and waits, up to the timeout, until its threads have left.
inline void end_and_join(Process* p, std::chrono::milliseconds timeout) {
    pf::end_process(p, 0);  // no effect on a process that has ended
    auto deadline = pf::Clock::now() + timeout;
    while (pf::Clock::now() < deadline) {
        {
            pf::Lock lock(pf::device_mutex());
            if (p->live_threads == 0) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
// False when it did not exit within the timeout.
inline bool wait_exit(Process* p, std::chrono::milliseconds timeout) { return pf::wait_process_end(p, timeout); }

struct ProcessState {
    std::string party;      // "pendrel#1"
    bool ended = false;
    DWORD exit_code = 0;    // once ended
    int live_threads = 0;
};
inline ProcessState state_of(const Process* p) {
    pf::Lock lock(pf::device_mutex());
    return {p->party, p->ended, p->exit_code.value_or(0), p->live_threads};
}

// ---- faults armed for the next call ----
inline void fail_next_create_thread(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::CreateThread, error); }
inline void fail_next_create_file(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::CreateFileW, error); }
inline void fail_next_read_file(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::ReadFile, error); }
inline void clear_faults() { pf::kernel::clear_faults(); }

// ---- the device keyboard ----
inline void key_event(std::uint8_t vk, bool up) { keybd_event(vk, 0, up ? KEYEVENTF_KEYUP : 0, 0); }  // as keybd_event
// The character a key types on the device's layout, with or without Shift.
inline std::optional<WCHAR> layout_char(std::uint8_t vk, bool shift) { return pf::input::layout_char(BYTE(vk), shift); }

// ---- windows, as the operator and other programs reach them ----
// Top-level windows, any visibility.
inline std::vector<HWND> windows_of(const Process* p) { return ud::windows_of(p); }
// Empty for an invalid window.
inline std::u16string class_of(HWND window) {
    auto info = ud::window_info(window);
    return info ? info->cls : std::u16string();
}
inline HWND child_by_id(HWND parent, int id) { return ud::child_by_id(parent, id); }  // direct or nested
inline std::u16string text_of(HWND window) { return ud::text_of(window); }
// WM_SETTEXT, sent without the application's queue
inline void set_text(HWND window, const std::u16string& text) {
    pf::user::send_internal(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
inline bool is_visible(HWND window) { return ud::is_visible(window); }
// Activates the window's top-level window and focuses it, as a tap would.
inline bool set_focus(HWND window) { return ud::set_focus_from_device(window); }
// As another program would.
inline bool post(HWND window, UINT message, WPARAM wp, LPARAM lp) { return ud::post(window, message, wp, lp); }

// ---- the screen, the tray, the command bar, message boxes ----
namespace screen {
using Snapshot = pf::user::handheld::Screen;
using Control = pf::user::handheld::Control;
using MenuItem = pf::user::handheld::MenuItem;
using Box = pf::user::handheld::MessageBoxInfo;
constexpr int width = pf::user::handheld::screen_width;
constexpr int height = pf::user::handheld::screen_height;
}  // namespace screen
inline screen::Snapshot snapshot() { return ud::snapshot(); }
inline size_t tray_icon_count() { return ud::tray_icons().size(); }
inline bool tap_tray(size_t index) { return ud::tap_tray(index); }  // false for a bad index
// False when no command bar on the screen carries it.
inline bool choose_menu_command(UINT id) { return ud::choose_menu_command(id); }
// False when the window in front is disabled or its command bar has no X.
inline bool tap_close_button() { return ud::tap_close_button(); }
inline std::optional<screen::Box> message_box() { return ud::message_box(); }  // the topmost open one
// IDOK, IDCANCEL, IDRETRY; false without such a button
inline bool answer_message_box(int id) { return ud::answer_message_box(id); }

// ---- the simulated reader ----
inline void boot_reader() { zel::control::reset(); }  // before the first launch
inline void reset_reader() { zel::control::reset(); }  // between scenarios: closed, mode 0, nothing pending, no faults
// The operator scans a barcode; empty, or why the reader refused it.
inline std::string scan(const std::string& bytes) {
    auto result = zel::control::scan(std::string_view(bytes));
    return result.accepted ? std::string() : result.message;
}
// The next ZELOpen returns result.
inline void fail_open(std::uint32_t result) { zel::control::fail_next_open(result); }
// The next ZELChangeBuffMode returns result.
inline void fail_change_mode(std::uint32_t result) { zel::control::fail_next_buffer_mode(result); }
inline bool reader_open() { return zel::control::is_open(); }
inline int buffer_mode() { return int(zel::control::buffer_mode()); }

// ---- dialogs ----
// The topmost open dialog (of any process), or null.
inline HWND open_dialog() {
    auto d = ud::open_dialog();
    return d ? d->hwnd : nullptr;
}
// The resource id of the template the dialog was made from, or 0.
inline int dialog_template_id(HWND dialog) {
    for (const auto& d : ud::open_dialogs())
        if (d.hwnd == dialog) return d.template_id.value_or(0);
    return 0;
}
// Presses the dialog's caption OK button (IDOK) or its close button (IDCANCEL).
inline bool press_dialog(HWND dialog, int id) {
    if (open_dialog() != dialog) return false;  // only the topmost dialog can be reached
    return id == IDOK ? ud::press_ok() : ud::press_cancel();
}

// ---- popup menus ----
struct PopupItem {
    UINT id = 0;
    std::u16string text;
};
struct Popup {
    POINT at{};  // top-left corner, screen coordinates
    std::vector<PopupItem> items;
};
inline std::optional<Popup> open_popup() {
    auto info = ud::open_popup();
    if (!info) return std::nullopt;
    Popup p;
    p.at = {info->rect.left, info->rect.top};
    for (const auto& item : info->items) p.items.push_back({item.id, item.text});
    return p;
}
// Chooses an item of the open popup, or taps outside it (nullopt).
inline bool choose_popup(std::optional<UINT> id) { return id ? ud::choose(*id) : ud::tap_outside(); }

}  // namespace runner::link
