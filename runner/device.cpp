// The emulated handheld's life in the runner: boot, files, reset, launches,
// the end; and the picture of its screen, drawn from a snapshot of the
// windows, boxes, popup and tray.
#include "device.hpp"
#include "table.hpp"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <future>
#include <iterator>
#include <memory>
#include <sstream>

#include "memo_ui.hpp"

namespace runner {

namespace {
constexpr std::chrono::milliseconds quiet_bound(default_sync_ms);
// How long the end of a process may take before the runner moves on.
constexpr std::chrono::seconds join_bound(5);
// A new, empty folder in the host's temporary folder.
std::filesystem::path make_temp_dir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder " + pattern);
    return pattern;
}

// Pendrel's module for launch N: a private copy, so that each launch has
// its own process-wide state, as a new process would. It is never unloaded:
// its threads may still be running its code.
void* load_module_copy(int n) {
    auto dir = make_temp_dir("pendrel-launch-");
    auto copy = dir / ("pendrel-" + std::to_string(n) + ".so");
    std::filesystem::copy_file(PENDREL_MODULE_PATH, copy);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string error = handle ? "" : dlerror();
    std::filesystem::remove_all(dir);  // the mapping stays valid
    if (!handle) throw std::runtime_error("cannot load " + std::string(PENDREL_MODULE_PATH) + ": " + error);
    return handle;
}

// The memo: "any application on the terminal", a window filled by a
// multi-line edit, running its own message loop in its own process. Being a
// program on the device, it calls the device's Win32 API like Pendrel does.
std::function<void(const std::string&)>& key_log() {
    static auto& log = *new std::function<void(const std::string&)>;
    return log;
}

void run_memo(std::promise<HWND>& created) {
    HWND window = memo_ui::create(0);
    created.set_value(window);
    if (!window) return;
    MSG msg;
    char line[32];
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (key_log() && memo_ui::key_log_line(msg, line)) key_log()(line);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// One of the device folders, in any letters.
bool is_device_folder(const std::string& name) {
    return std::any_of(std::begin(device_folders), std::end(device_folders),
                       [&](const char* folder) { return strcasecmp(name.c_str(), folder) == 0; });
}

std::string text(const std::u16string& s) { return link::quoted(s); }
std::string plain(const std::u16string& s) { return link::utf8(s); }

std::string rect(const RECT& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%ld,%ld %ldx%ld)", long(r.left), long(r.top), long(r.right - r.left),
                  long(r.bottom - r.top));
    return buf;
}

// A message box's buttons, by the MB_ type in its low four bits.
std::string buttons(UINT type) {
    const char* const all[] = {"[OK]", "[OK] [Cancel]", "[Abort] [Retry] [Ignore]", "[Yes] [No] [Cancel]",
                               "[Yes] [No]", "[Retry] [Cancel]"};
    return (type & 0xF) < std::size(all) ? all[type & 0xF] : "[?]";
}

void controls(std::ostringstream& out, const std::vector<link::screen::Control>& list, int depth) {
    for (const auto& c : list) {
        if (!c.visible) continue;
        out << "|" << std::string(depth * 2 + 6, ' ') << plain(c.cls);
        if (c.id > 0 && c.id != 0xFFFF) out << " " << c.id;
        out << " " << text(c.text);
        if (c.cls == u"STATIC" && (c.style & 0x1F) == 0x3) out << " (icon)";
        if (!c.enabled) out << " disabled";
        if (c.focused) out << "  <focus>";
        out << "\n";
        controls(out, c.children, depth + 1);
    }
}

void menu(std::ostringstream& out, const std::vector<link::screen::MenuItem>& bar) {
    out << "|      menu:";
    for (const auto& popup : bar) {
        out << " " << plain(popup.text) << " {";
        for (size_t i = 0; i < popup.items.size(); ++i)
            out << (i ? " | " : " ") << popup.items[i].id << " " << plain(popup.items[i].text);
        out << " }";
    }
    out << "\n";
}

}  // namespace

std::filesystem::path host_path(const std::filesystem::path& root, const std::string& device_path) {
    auto found = link::find_device_entry(root, device_path);
    if (found.error == ERROR_INVALID_NAME)
        throw std::invalid_argument("a device path starts with \\ and has no . or .. in it: " + device_path);
    if (found.error == ERROR_ACCESS_DENIED) throw std::invalid_argument("empty device path");
    auto inside = found.host.lexically_relative(root);
    if (inside.begin() == inside.end() || !is_device_folder(inside.begin()->string()) || ++inside.begin() == inside.end())
        throw std::invalid_argument("a script's files lie in the device folders (\\" + std::string(device_folders[0]) +
                                    "\\...), not at " + device_path);
    return found.host;
}

void clear_device_folders(const std::filesystem::path& root) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root, ignored))
        if (is_device_folder(entry.path().filename().string())) std::filesystem::remove_all(entry.path());
}

void set_key_log(std::function<void(const std::string&)> log) { key_log() = std::move(log); }

std::string format_trace(const link::TraceRecord& r) {
    char time[32];
    std::snprintf(time, sizeof time, "[%8.1f] ", r.time_ms);
    return time + r.party + ": " + r.text;
}

Device::Device(Options options) : options_(std::move(options)) {
    if (options_.root.empty()) {
        options_.root = make_temp_dir("pendrel-device-");
        own_root_ = true;
    }
    std::filesystem::create_directories(options_.root);
    link::set_device_root(options_.root);
    link::set_trace_verbose(options_.verbose);
    if (options_.trace) {
        std::ostream* out = options_.trace;
        link::set_trace_sink([out](const link::TraceRecord& r) { *out << format_trace(r) << std::endl; });
    }
    link::reader::reset();
    auto created = std::make_shared<std::promise<HWND>>();
    auto window = created->get_future();
    memo_ = link::start_process("memo", [created] { run_memo(*created); });
    HWND memo_window = window.get();  // once it exists
    if (!memo_window) throw std::runtime_error("the memo could not create its window");
    link::wait_quiet(quiet_bound);
    memo_edit_ = link::child_by_id(memo_window, memo_ui::edit_id);
    if (!memo_edit_) throw std::runtime_error("the memo has no edit field");
    link::set_focus(memo_edit_);
    link::wait_quiet(quiet_bound);
}

// Every process is ended and joined, so that nothing runs on when the
// device goes away.
Device::~Device() {
    // Where every read of the run went, whatever its outcome.
    if (options_.out)
        for (const auto& r : link::reads()) *options_.out << "ledger: " << link::ledger::summary_line(r) << "\n";
    for (auto* p : launches_) link::end_and_join(p, join_bound);
    if (memo_) link::end_and_join(memo_, join_bound);
    link::set_trace_sink({});
    if (own_root_) {
        std::error_code ignored;
        std::filesystem::remove_all(options_.root, ignored);
    }
}

void Device::reset() {
    scans().clear();
    burst_start() = 0;
    for (auto* p : launches_) link::end_and_join(p, join_bound);
    launches_.clear();
    link::wait_quiet(quiet_bound);
    link::clear_faults();
    link::reader::reset();
    for (auto& entry : std::filesystem::directory_iterator(options_.root)) std::filesystem::remove_all(entry);
    link::set_text(memo_edit_, u"");
    link::set_focus(memo_edit_);
    link::wait_quiet(quiet_bound);
    link::restart_handle_names();
    link::trace_clear();
}

int Device::launch() {
    int n = int(launches_.size()) + 1;
    std::string party = "pendrel#" + std::to_string(n);
    void* module = load_module_copy(n);
    auto win_main = reinterpret_cast<int (*)(HINSTANCE, HINSTANCE, LPWSTR, int)>(dlsym(module, "WinMain"));
    auto res = static_cast<const unsigned char*>(dlsym(module, "pendrel_res"));  // its resources, a .res image
    auto res_size = static_cast<const unsigned long*>(dlsym(module, "pendrel_res_size"));
    if (!win_main || !res || !res_size) throw std::runtime_error("the module lacks WinMain or its resources");
    HINSTANCE instance = link::load_module(party, res, *res_size);
    link::trace_operator("launch " + party);
    auto command_line = std::make_shared<std::u16string>();
    launches_.push_back(link::launch_process(party, n, instance, [=]() -> DWORD {
        int code = win_main(instance, nullptr, command_line->data(), SW_SHOW);
        link::trace_operator(party + " exited with code " + std::to_string(code));
        return DWORD(code);
    }));
    return n;
}

link::Process* Device::launch_process(int n) const {
    if (n < 1 || n > int(launches_.size())) return nullptr;
    return launches_[n - 1];
}

link::Process* Device::latest() const { return launches_.empty() ? nullptr : launches_.back(); }

// The launch a command is about: the one named, else the oldest one still
// running, else the latest.
link::Process* Device::target(std::optional<long long> launch) const {
    if (launch) return launch_process(int(*launch));
    for (auto* p : launches_)
        if (!link::state_of(p).ended) return p;
    return latest();
}

HWND Device::pendrel_window(std::optional<long long> launch) const {
    link::Process* p = target(launch);
    if (!p) return nullptr;
    for (HWND w : link::windows_of(p))
        if (link::class_of(w) == u"Pendrel") return w;
    return nullptr;
}

void Device::sync(long long ms) {
    if (!link::wait_quiet(std::chrono::milliseconds(ms)))
        throw std::runtime_error("the device did not become quiet within " + std::to_string(ms) + " ms");
}

void Device::press(const std::vector<KeyStroke>& strokes) { for (auto s : strokes) link::key_event(s.vk, s.up); }

std::string render_screen() {
    auto screen = link::snapshot();
    std::ostringstream out;
    out << "+-- screen " << link::screen::width << "x" << link::screen::height << " --------------------------\n";
    int n = 0;
    for (const auto& w : screen.windows) {
        out << "| [" << ++n << "] " << text(w.title) << "  ";
        if (int id = link::dialog_template_id(w.hwnd)) out << "dialog " << id;
        else out << "class " << plain(w.cls);
        out << "  " << w.party << "  " << rect(w.rect);
        if (w.active) out << "  active";
        if (!w.enabled) out << "  disabled";
        out << "\n";
        if (!w.menu.empty()) menu(out, w.menu);
        if (w.close_button) out << "|      command bar: [X]\n";
        for (const auto& d : w.drawn) out << "|      drawn: " << text(d.text) << "\n";
        controls(out, w.controls, 0);
    }
    if (screen.message_box) {
        const auto& box = *screen.message_box;
        out << "| message box of " << box.party << ": " << text(box.caption) << " " << text(box.text) << "  "
            << buttons(box.type) << "\n";
    }
    if (auto popup = link::open_popup()) {
        out << "| popup menu at (" << popup->rect.left << "," << popup->rect.top << "):";
        for (const auto& item : popup->items) out << " [" << item.id << " " << plain(item.text) << "]";
        out << "\n";
    }
    out << "| taskbar: tray";
    if (screen.tray.empty()) out << " empty";
    for (const auto& icon : screen.tray) out << " [" << icon.party << " icon " << icon.id << "]";
    out << "\n+------------------------------------------\n";
    return out.str();
}

}  // namespace runner
