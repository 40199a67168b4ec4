#include "device.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "input/input.hpp"
#include "kernel/kernel.hpp"
#include "device_files.hpp"
#include "memo.hpp"
#include "platform_link.hpp"
#include "screen.hpp"
#include "user/device_user.hpp"
#include "user/window.hpp"

namespace device {
namespace {

namespace ud = pf::user::device;
using namespace std::chrono_literals;

constexpr long long default_sync_ms = 5000;

std::string shown(const std::u16string& s) { return pf::quoted(s.c_str(), int(s.size())); }

// What one launch loads: its own copy of the module, so that each launch has
// its own process-wide state, as a new process would.
struct Module {
    int (*win_main)(HINSTANCE, HINSTANCE, LPWSTR, int) = nullptr;
    const unsigned char* res = nullptr;
    unsigned long res_size = 0;
};

Module load_copy(int n) {
    auto dir = make_temp_dir("pendrel-launch-");
    auto copy = dir / ("pendrel-" + std::to_string(n) + ".so");
    std::filesystem::copy_file(PENDREL_MODULE_PATH, copy);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string error = handle ? "" : dlerror();
    std::filesystem::remove_all(dir);  // the mapping stays valid
    if (!handle) throw std::runtime_error("cannot load " + std::string(PENDREL_MODULE_PATH) + ": " + error);
    // The module is never unloaded: its threads may still be running its code.
    Module m;
    m.win_main = reinterpret_cast<decltype(m.win_main)>(dlsym(handle, "WinMain"));
    m.res = static_cast<const unsigned char*>(dlsym(handle, "pendrel_res"));
    auto size = static_cast<const unsigned long*>(dlsym(handle, "pendrel_res_size"));
    if (!m.win_main || !m.res || !size) throw std::runtime_error("the module lacks WinMain or its resources");
    m.res_size = *size;
    return m;
}

std::string process_state(const pf::Process* p) {
    pf::Lock lock(pf::device_mutex());
    if (!p->ended) return p->party + " is running";
    return p->party + " exited with code " + std::to_string(p->exit_code.value_or(0));
}

}  // namespace

std::string format_trace(const pf::TraceRecord& r) {
    char time[32];
    std::snprintf(time, sizeof time, "[%8.1f] ", r.time_ms);
    return time + r.party + ": " + r.text;
}

std::vector<std::string> trace_of(const std::string& party) {
    std::vector<std::string> out;
    for (const auto& r : pf::trace_records())
        if (r.party == party) out.push_back(r.text);
    return out;
}

Device::Device(Options options) : options_(std::move(options)) {
    if (options_.root.empty()) {
        options_.root = make_temp_dir("pendrel-device-");
        own_root_ = true;
    }
    std::filesystem::create_directories(options_.root);
    pf::kernel::set_device_root(options_.root);
    pf::set_trace_verbose(options_.verbose);
    if (options_.trace) {
        std::ostream* out = options_.trace;
        pf::set_trace_sink([out](const pf::TraceRecord& r) { *out << format_trace(r) << std::endl; });
    }
    link::boot_reader();
    auto memo = memo::start();
    memo_ = memo.process;
    memo_window_ = memo.window;
    if (!memo_window_) throw std::runtime_error("the memo could not create its window");
    pf::wait_quiet(std::chrono::milliseconds(default_sync_ms));
    memo_edit_ = ud::child_by_id(memo_window_, memo::edit_id);
    if (!memo_edit_) throw std::runtime_error("the memo has no edit field");
    ud::set_focus_from_device(memo_edit_);
    pf::wait_quiet(std::chrono::milliseconds(default_sync_ms));
}

// Ends a process and waits (bounded) until its threads have left, so that
// nothing runs on when the device goes away.
static void end_and_join(pf::Process* p) {
    pf::end_process(p, 0);  // no effect on a process that has ended
    auto deadline = pf::Clock::now() + 5s;
    while (pf::Clock::now() < deadline) {
        {
            pf::Lock lock(pf::device_mutex());
            if (p->live_threads == 0) return;
        }
        std::this_thread::sleep_for(1ms);
    }
}

Device::~Device() {
    for (auto* p : launches_) end_and_join(p);
    if (memo_) end_and_join(memo_);
    pf::set_trace_sink({});
    if (own_root_) {
        std::error_code ignored;
        std::filesystem::remove_all(options_.root, ignored);
    }
}

void Device::reset() {
    for (auto* p : launches_) end_and_join(p);
    launches_.clear();
    pf::wait_quiet(std::chrono::milliseconds(default_sync_ms));
    pf::kernel::clear_faults();
    link::reset_reader();
    for (auto& entry : std::filesystem::directory_iterator(options_.root)) std::filesystem::remove_all(entry);
    pf::user::send_internal(memo_edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
    ud::set_focus_from_device(memo_edit_);
    pf::wait_quiet(std::chrono::milliseconds(default_sync_ms));
    pf::kernel::restart_handle_names();
    pf::trace_clear();
}

int Device::launch() {
    int n = int(launches_.size()) + 1;
    std::string party = "pendrel#" + std::to_string(n);
    Module m = load_copy(n);
    HINSTANCE instance = ud::load_module(party, m.res, m.res_size);
    pf::trace_as("device", "launch " + party);
    auto command_line = std::make_shared<std::u16string>();
    launches_.push_back(pf::launch_process(party, n, instance, [m, instance, command_line, party]() -> DWORD {
        int code = m.win_main(instance, nullptr, command_line->data(), SW_SHOW);
        pf::trace_as("device", party + " exited with code " + std::to_string(code));
        return DWORD(code);
    }));
    return n;
}

pf::Process* Device::launch_process(int n) const {
    if (n < 1 || n > int(launches_.size())) return nullptr;
    return launches_[n - 1];
}

// The launch a command is about: the one named, else the oldest one still
// running, else the latest.
pf::Process* Device::target(std::optional<long long> launch) const {
    if (launch) return launch_process(int(*launch));
    {
        pf::Lock lock(pf::device_mutex());
        for (auto* p : launches_)
            if (!p->ended) return p;
    }
    return launches_.empty() ? nullptr : launches_.back();
}

HWND Device::pendrel_window(std::optional<long long> launch) const {
    pf::Process* p = target(launch);
    if (!p) return nullptr;
    for (HWND w : ud::windows_of(p)) {
        auto info = ud::window_info(w);
        if (info && info->cls == u"Pendrel") return w;
    }
    return nullptr;
}

std::string Device::screen() const { return render_screen(); }

void Device::sync(const Command& c, long long ms) {
    if (!pf::wait_quiet(std::chrono::milliseconds(ms)))
        throw ScriptError(c.where + ": the device did not become quiet within " + std::to_string(ms) + " ms");
}

void Device::keys(const Command& c, const std::vector<std::pair<std::uint8_t, bool>>& strokes) {
    (void)c;
    for (auto [vk, up] : strokes) keybd_event(vk, 0, up ? KEYEVENTF_KEYUP : 0, 0);
}

bool Device::run(const Command& c) {
    auto fail = [&c](const std::string& message) -> void { throw ScriptError(c.where + ": " + message); };
    auto device_trace = [](const std::string& text) { pf::trace_as("device", text); };
    bool acts = true;  // followed by the implicit sync
    try {
        switch (c.op) {
        case Op::file: {
            auto path = host_path(options_.root, c.text);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << c.data;
            device_trace("file " + c.text + " " + escape(c.data));
            acts = false;
            break;
        }
        case Op::remove:
            std::filesystem::remove(host_path(options_.root, c.text));
            device_trace("remove " + c.text);
            acts = false;
            break;
        case Op::launch: launch(); break;
        case Op::scan: {
            device_trace("scan " + escape(c.text));
            std::string refused = link::scan(c.text);
            if (!refused.empty()) device_trace("the reader refused the scan: " + refused);
            break;
        }
        case Op::menu:
            device_trace("menu " + std::to_string(*c.number));
            if (!ud::choose_menu_command(UINT(*c.number)))
                fail("no command bar on the screen carries command " + std::to_string(*c.number));
            break;
        case Op::key: {
            device_trace("key " + c.text);
            std::vector<std::pair<std::uint8_t, bool>> strokes;
            for (auto s : strokes_of(c.chord)) strokes.push_back({s.vk, s.up});
            keys(c, strokes);
            break;
        }
        case Op::type: {
            std::vector<std::pair<std::uint8_t, bool>> strokes;
            for (unsigned char ch : c.text) {
                bool found = false;
                for (int vk = 1; vk < 256 && !found; ++vk) {
                    for (bool shift : {false, true}) {
                        auto produced = pf::input::layout_char(BYTE(vk), shift);
                        if (!produced || *produced != WCHAR(ch)) continue;
                        if (shift) strokes.push_back({VK_SHIFT, false});
                        strokes.push_back({std::uint8_t(vk), false});
                        strokes.push_back({std::uint8_t(vk), true});
                        if (shift) strokes.push_back({VK_SHIFT, true});
                        found = true;
                        break;
                    }
                }
                if (!found) fail("no key of the device keyboard types " + escape(std::string(1, char(ch))));
            }
            device_trace("type " + escape(c.text));
            keys(c, strokes);
            break;
        }
        case Op::focus: {
            HWND target = memo_edit_;
            if (c.number) {
                HWND dialog = link::open_dialog();
                if (!dialog) fail("no dialog is open");
                target = ud::child_by_id(dialog, int(*c.number));
                if (!target) fail("the open dialog has no control " + std::to_string(*c.number));
            }
            device_trace("focus " + (c.number ? std::to_string(*c.number) : c.text));
            if (!ud::set_focus_from_device(target)) fail("that window cannot take the focus");
            break;
        }
        case Op::tap_tray: {
            size_t index = c.number ? size_t(*c.number - 1) : 0;
            device_trace("tap tray");
            if (!ud::tap_tray(index)) fail("the tray has no icon " + std::to_string(index + 1));
            break;
        }
        case Op::post: {
            HWND w = pendrel_window();
            if (!w) fail("Pendrel has no window to post to");
            device_trace("post WM_COMMAND " + std::to_string(*c.number));
            ud::post(w, WM_COMMAND, WPARAM(*c.number), 0);
            break;
        }
        case Op::answer: {
            int id = c.text == "ok" ? IDOK : c.text == "cancel" ? IDCANCEL : IDRETRY;
            auto box = ud::message_box();
            if (!box) fail("no message box is open");
            device_trace("answer " + c.text + " to " + shown(box->caption));
            if (!ud::answer_message_box(id)) fail("the message box " + shown(box->caption) + " has no " + c.text);
            break;
        }
        case Op::popup:
            if (!link::open_popup()) fail("no popup menu is open");
            device_trace("popup " + (c.number ? std::to_string(*c.number) : c.text));
            if (!link::choose_popup(c.number ? std::optional<UINT>(UINT(*c.number)) : std::nullopt))
                fail("the popup menu has no item " + std::to_string(*c.number));
            break;
        case Op::press: {
            HWND dialog = link::open_dialog();
            if (!dialog) fail("no dialog is open");
            device_trace("press " + c.text);
            if (!link::press_dialog(dialog, c.text == "ok" ? IDOK : IDCANCEL))
                fail("the dialog has no " + c.text + " button");
            break;
        }
        case Op::fail: {
            using pf::kernel::Call;
            device_trace("fail " + c.text + (c.number ? " " + pf::hex(*c.number) : ""));
            DWORD value = c.number ? DWORD(*c.number) : 0;
            if (c.text == "ZELOpen") link::fail_open(c.number ? value : 0xFFFF0705u);
            else if (c.text == "ZELChangeBuffMode") link::fail_change_mode(c.number ? value : 1);
            else if (c.text == "CreateThread") pf::kernel::fail_next(Call::CreateThread, value);
            else if (c.text == "CreateFileW") pf::kernel::fail_next(Call::CreateFileW, value);
            else pf::kernel::fail_next(Call::ReadFile, value);
            acts = false;
            break;
        }
        case Op::sync:
            sync(c, c.number.value_or(default_sync_ms));
            acts = false;
            break;
        case Op::wait:
            std::this_thread::sleep_for(std::chrono::milliseconds(*c.number));
            acts = false;
            break;
        case Op::wait_exit: {
            if (launches_.empty()) fail("nothing was launched");
            long long ms = c.number.value_or(default_sync_ms);
            if (!pf::wait_process_end(launches_.back(), std::chrono::milliseconds(ms)))
                fail(launches_.back()->party + " did not exit within " + std::to_string(ms) + " ms");
            acts = false;
            break;
        }
        case Op::screen:
            if (options_.out) *options_.out << screen() << std::flush;
            acts = false;
            break;
        case Op::expect:
            try {
                expect(c);
                if (options_.observe) options_.observe(c.where, "held");
            } catch (const ScriptError& e) {
                if (options_.observe) options_.observe(c.where, e.what());
                throw;
            }
            acts = false;
            break;
        case Op::quit: return false;
        }
    } catch (const std::filesystem::filesystem_error& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::runtime_error& e) {
        if (dynamic_cast<const ScriptError*>(&e)) throw;
        throw ScriptError(c.where + ": " + e.what());
    }
    if (acts) sync(c, default_sync_ms);
    return true;
}

void Device::expect(const Command& c) {
    auto failed = [&c](const std::string& wanted, const std::string& seen) {
        throw ScriptError(c.where + ": expected " + wanted + ", saw " + seen);
    };
    auto process = [&](std::optional<long long> launch) {
        pf::Process* p = target(launch);
        if (!p) throw ScriptError(c.where + ": no such launch of Pendrel");
        return p;
    };
    switch (c.expect) {
    case Expect::text: {
        HWND w = memo_edit_;
        if (c.number) {
            HWND dialog = link::open_dialog();
            if (!dialog) failed("control " + std::to_string(*c.number) + " of an open dialog", "no dialog");
            w = ud::child_by_id(dialog, int(*c.number));
            if (!w) failed("control " + std::to_string(*c.number), "a dialog without it");
        }
        auto want = pf::utf16(c.data);
        auto seen = ud::text_of(w);
        if (seen != want) failed("text " + shown(want), shown(seen));
        break;
    }
    case Expect::window: {
        HWND w = pendrel_window(c.launch);
        if (!w) failed("Pendrel's window " + c.text, "no window (" + process_state(process(c.launch)) + ")");
        std::string seen = ud::is_visible(w) ? "shown" : "hidden";
        if (seen != c.text) failed("the window " + c.text, "it " + seen);
        break;
    }
    case Expect::tray: {
        auto icons = ud::tray_icons();
        if (static_cast<long long>(icons.size()) != *c.number)
            failed(std::to_string(*c.number) + " tray icon(s)", std::to_string(icons.size()));
        break;
    }
    case Expect::messagebox: {
        auto box = ud::message_box();
        if (c.text == "none") {
            if (box) failed("no message box", shown(box->caption) + " " + shown(box->text));
            break;
        }
        auto text = pf::utf16(c.text), caption = pf::utf16(c.data);
        if (!box) failed("message box " + shown(caption) + " " + shown(text), "none");
        if (box->text != text || box->caption != caption)
            failed("message box " + shown(caption) + " " + shown(text), shown(box->caption) + " " + shown(box->text));
        break;
    }
    case Expect::exit: {
        pf::Process* p = c.launch ? process(c.launch) : (launches_.empty() ? nullptr : launches_.back());
        if (!p) failed("an exit", "nothing launched");
        std::string want = p->party + " exited with code " + std::to_string(*c.number);
        std::string seen = process_state(p);
        if (seen != want) failed(want, seen);
        break;
    }
    case Expect::running: {
        pf::Process* p = c.launch ? process(c.launch) : (launches_.empty() ? nullptr : launches_.back());
        if (!p) failed("a running Pendrel", "nothing launched");
        std::string seen = process_state(p);
        if (seen != p->party + " is running") failed(p->party + " running", seen);
        break;
    }
    case Expect::reader: {
        std::string seen = link::reader_open() ? "open" : "closed";
        if (seen != c.text) failed("the reader " + c.text, seen);
        break;
    }
    case Expect::mode: {
        int seen = link::buffer_mode();
        if (seen != *c.number) failed("buffer mode " + std::to_string(*c.number), std::to_string(seen));
        break;
    }
    case Expect::trace: {
        for (const auto& r : pf::trace_records())
            if ((r.party + ": " + r.text).find(c.text) != std::string::npos) return;
        failed("a trace line containing " + escape(c.text), "none");
        break;
    }
    case Expect::dialog: {
        HWND dialog = link::open_dialog();
        int seen = dialog ? link::dialog_template_id(dialog) : 0;
        std::string seen_text = dialog ? "dialog " + std::to_string(seen) : "no dialog";
        std::string want = c.number ? "dialog " + std::to_string(*c.number) : "no dialog";
        if (seen_text != want) failed(want, seen_text);
        break;
    }
    case Expect::popup: {
        std::string seen = link::open_popup() ? "open" : "closed";
        if (seen != c.text) failed("the popup " + c.text, seen);
        break;
    }
    case Expect::worker: {
        pf::Process* p = process(std::nullopt);
        std::string seen;
        {
            pf::Lock lock(pf::device_mutex());
            // Pendrel runs its UI thread and, at most, the reader worker.
            seen = !p->ended && p->live_threads > 1 ? "running" : "stopped";
        }
        if (seen != c.text) failed("the worker " + c.text, seen);
        break;
    }
    }
}

void Device::run_script(std::istream& in, const std::string& file) {
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        auto c = parse_line(line, file, n);
        if (c && !run(*c)) return;
    }
}

}  // namespace device
