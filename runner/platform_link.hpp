// The runner's one route into the platform and the simulated reader driver:
// nothing else in runner/ includes a platform header, so this file lists all
// the runner depends on. Call these from a runner thread without the device
// lock; none waits for an application to respond, except wait_quiet and wait_exit.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/core.hpp"
#include "core/ledger.hpp"
#include "input/input.hpp"
#include "kernel/kernel.hpp"
#include "user/dialog.hpp"
#include "user/handheld.hpp"
#include "user/menu.hpp"
#include "user/window.hpp"
#include "zel_control.hpp"

namespace runner::link {

namespace ud = pf::user::handheld;
// The simulated reader: reset, fail_next_open, fail_next_buffer_mode, is_open, buffer_mode.
namespace reader = zel::control;

using Process = pf::Process;
using TraceRecord = pf::TraceRecord;

// ---- the device as a whole, its trace, its faults ----
// wait_quiet: until no device thread can make progress without a timed wait; false when that did not happen in time.
using pf::wait_quiet, pf::set_trace_verbose, pf::set_trace_sink, pf::trace_records, pf::trace_clear;
using pf::kernel::set_device_root, pf::kernel::find_device_entry, pf::kernel::restart_handle_names;
using pf::kernel::fail_next, pf::kernel::clear_faults;
using Call = pf::kernel::Call;
// A line of the "device" party: what the operator did.
inline void trace_operator(const std::string& text) { pf::trace_as("device", text); }

// ---- text as the trace shows it ----
inline std::string quoted(const std::u16string& text) { return pf::quoted(text.c_str(), int(text.size())); }  // "text"
inline std::string utf8(const std::u16string& text) { return pf::utf8(text.c_str(), int(text.size())); }
inline std::string hex(long long value) { return pf::hex(static_cast<unsigned long long>(value)); }  // 0x...

// ---- processes ----
// load_module: a module image with the resources of a .res image; launch_process: Pendrel's launch N on it.
using ud::load_module, pf::launch_process;
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

// What a process holds of the device, for leak checks: its open handles by
// type ("event", "thread", ...), windows, menus and GDI objects.
struct Holdings {
    std::map<std::string, std::size_t> handles;
    std::size_t windows = 0;
    std::size_t menus = 0;
    std::size_t gdi_objects = 0;
    bool operator==(const Holdings&) const = default;
};
inline Holdings holdings_of(const Process* p) {
    return {pf::kernel::live_handle_types(p), pf::user::window_count(p), pf::user::menu_count(p),
            pf::user::gdi_object_count(p)};
}

// ---- the device keyboard ----
inline void key_event(std::uint8_t vk, bool up) { keybd_event(vk, 0, up ? KEYEVENTF_KEYUP : 0, 0); }
using pf::input::layout_char;  // the character a key types on the device's layout, with or without Shift

// ---- windows, the screen, the tray, the command bar, message boxes, popups ----
// windows_of: top-level windows, any visibility; child_by_id: direct or nested; post: as another program would;
// choose_menu_command: false when no command bar on the screen carries it; message_box: the topmost open one;
// answer_message_box: IDOK, IDCANCEL, IDRETRY, false without such a button; open_popup: the tracked one;
// tap_close_button: false when the window in front is disabled or its command bar has no X.
using ud::windows_of, ud::child_by_id, ud::text_of, ud::is_visible, ud::post, ud::snapshot, ud::tap_tray;
using ud::choose_menu_command, ud::message_box, ud::answer_message_box, ud::open_popup, ud::tap_close_button;
using ud::covering_window;
// The window as the trace names it: hwnd#1 "Memo".
inline std::string window_name(HWND window) {
    pf::Lock lock(pf::device_mutex());
    return pf::user::wnd_str_locked(window);
}
// Empty for an invalid window.
inline std::u16string class_of(HWND window) {
    auto info = ud::window_info(window);
    return info ? info->cls : std::u16string();
}
// WM_SETTEXT, sent without the application's queue
inline void set_text(HWND window, const std::u16string& text) {
    pf::user::send_internal(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
// Activates the window's top-level window and focuses it, as a tap would.
inline bool set_focus(HWND window) { return ud::set_focus_from_device(window); }
inline size_t tray_icon_count() { return ud::tray_icons().size(); }
// Chooses an item of the open popup, or taps outside it (nullopt).
inline bool choose_popup(std::optional<UINT> id) { return id ? ud::choose(*id) : ud::tap_outside(); }
namespace screen {
using Snapshot = pf::user::handheld::Screen;
using Control = pf::user::handheld::Control;
using MenuItem = pf::user::handheld::MenuItem;
constexpr int width = pf::user::handheld::screen_width;
constexpr int height = pf::user::handheld::screen_height;
}  // namespace screen

// ---- the ledger of reads: what the reader made of each scan, where its keys went ----
namespace ledger = pf::ledger;
inline std::vector<ledger::Read> reads() {
    pf::Lock lock(pf::device_mutex());
    return ledger::reads_locked();
}
// Forgets the reads noted so far; later reads keep their numbers.
inline void ledger_clear() {
    pf::Lock lock(pf::device_mutex());
    ledger::reset_locked();
}

// The operator scans a barcode; empty, or why the reader refused it.
inline std::string scan(const std::string& bytes) {
    auto result = reader::scan(std::string_view(bytes));
    return result.accepted ? std::string() : result.message;
}

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

}  // namespace runner::link
