// Each call of the runner's route into the platform, forwarded to the part of
// the platform (or the simulated reader driver) that implements it.
#include "platform_link.hpp"

#include <thread>

#include "input/input.hpp"
#include "kernel/kernel.hpp"
#include "user/dialog.hpp"
#include "user/menu.hpp"
#include "user/window.hpp"
#include "zel_control.hpp"

namespace runner::link {

namespace ud = pf::user::handheld;

// ---- the device as a whole ----
void set_root(const std::filesystem::path& root) { pf::kernel::set_device_root(root); }
bool wait_quiet(std::chrono::milliseconds timeout) { return pf::wait_quiet(timeout); }
void restart_handle_names() { pf::kernel::restart_handle_names(); }

// ---- the trace ----
void set_trace_verbose(bool verbose) { pf::set_trace_verbose(verbose); }
void set_trace_sink(std::function<void(const TraceRecord&)> sink) { pf::set_trace_sink(std::move(sink)); }
std::vector<TraceRecord> trace_records() { return pf::trace_records(); }
void clear_trace() { pf::trace_clear(); }
void trace_operator(const std::string& text) { pf::trace_as("device", text); }

// ---- text ----
std::string quoted(const std::u16string& text) { return pf::quoted(text.c_str(), int(text.size())); }
std::string utf8(const std::u16string& text) { return pf::utf8(text.c_str(), int(text.size())); }
std::u16string utf16(const std::string& text) { return pf::utf16(text); }
std::string hex(long long value) { return pf::hex(static_cast<unsigned long long>(value)); }

// ---- processes ----
HINSTANCE load_module(const std::string& party, const unsigned char* res, unsigned long size) {
    return ud::load_module(party, res, size);
}

Process* launch(const std::string& party, int n, HINSTANCE instance, std::function<DWORD()> main) {
    return pf::launch_process(party, n, instance, std::move(main));
}

Process* start_process(const std::string& party, std::function<void()> fn) {
    pf::Lock lock(pf::device_mutex());
    Process* p = pf::create_process(party, false, 0);
    pf::start_device_thread(p, std::move(fn));
    return p;
}

void end_and_join(Process* p, std::chrono::milliseconds timeout) {
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

bool wait_exit(Process* p, std::chrono::milliseconds timeout) { return pf::wait_process_end(p, timeout); }

ProcessState state_of(const Process* p) {
    pf::Lock lock(pf::device_mutex());
    return {p->party, p->ended, p->exit_code.value_or(0), p->live_threads};
}

// ---- faults ----
void fail_next_create_thread(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::CreateThread, error); }
void fail_next_create_file(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::CreateFileW, error); }
void fail_next_read_file(DWORD error) { pf::kernel::fail_next(pf::kernel::Call::ReadFile, error); }
void clear_faults() { pf::kernel::clear_faults(); }

// ---- the device keyboard ----
void key_event(std::uint8_t vk, bool up) { keybd_event(vk, 0, up ? KEYEVENTF_KEYUP : 0, 0); }
std::optional<WCHAR> layout_char(std::uint8_t vk, bool shift) { return pf::input::layout_char(BYTE(vk), shift); }

// ---- windows ----
std::vector<HWND> windows_of(const Process* p) { return ud::windows_of(p); }
std::u16string class_of(HWND window) {
    auto info = ud::window_info(window);
    return info ? info->cls : std::u16string();
}
HWND child_by_id(HWND parent, int id) { return ud::child_by_id(parent, id); }
std::u16string text_of(HWND window) { return ud::text_of(window); }
void set_text(HWND window, const std::u16string& text) {
    pf::user::send_internal(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
bool is_visible(HWND window) { return ud::is_visible(window); }
bool set_focus(HWND window) { return ud::set_focus_from_device(window); }
bool post(HWND window, UINT message, WPARAM wp, LPARAM lp) { return ud::post(window, message, wp, lp); }

// ---- the screen, the tray, the command bar, message boxes ----
screen::Snapshot snapshot() { return ud::snapshot(); }
size_t tray_icon_count() { return ud::tray_icons().size(); }
bool tap_tray(size_t index) { return ud::tap_tray(index); }
bool choose_menu_command(UINT id) { return ud::choose_menu_command(id); }
std::optional<screen::Box> message_box() { return ud::message_box(); }
bool answer_message_box(int id) { return ud::answer_message_box(id); }

// ---- the simulated reader ----
void boot_reader() { zel::control::reset(); }
void reset_reader() { zel::control::reset(); }
std::string scan(const std::string& bytes) {
    auto result = zel::control::scan(std::string_view(bytes));
    return result.accepted ? std::string() : result.message;
}
void fail_open(std::uint32_t result) { zel::control::fail_next_open(result); }
void fail_change_mode(std::uint32_t result) { zel::control::fail_next_buffer_mode(result); }
bool reader_open() { return zel::control::is_open(); }
int buffer_mode() { return int(zel::control::buffer_mode()); }

// ---- dialogs ----
HWND open_dialog() {
    auto d = ud::open_dialog();
    return d ? d->hwnd : nullptr;
}

int dialog_template_id(HWND dialog) {
    for (const auto& d : ud::open_dialogs())
        if (d.hwnd == dialog) return d.template_id.value_or(0);
    return 0;
}

bool press_dialog(HWND dialog, int id) {
    if (open_dialog() != dialog) return false;  // only the topmost dialog can be reached
    return id == IDOK ? ud::press_ok() : ud::press_cancel();
}

// ---- popup menus ----
std::optional<Popup> open_popup() {
    auto info = ud::open_popup();
    if (!info) return std::nullopt;
    Popup p;
    p.at = {info->rect.left, info->rect.top};
    for (const auto& item : info->items) p.items.push_back({item.id, item.text});
    return p;
}

bool choose_popup(std::optional<UINT> id) { return id ? ud::choose(*id) : ud::tap_outside(); }

}  // namespace runner::link
