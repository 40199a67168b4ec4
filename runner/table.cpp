// The one table of commands and of expect forms, with what each does on the
// emulated device and under Wine, and the one way a command is carried out
// on either: its action, the error it ends in, its implicit sync.
#include "table.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <type_traits>

#include "../reader/zel.h"
#include "../res/resource.h"
#include "device.hpp"
#include "wine_backend.hpp"

namespace runner {

using wire::Request;

// The table's actions reach into both backends.
struct Table {
    template <class Backend>
    static bool perform(Backend& b, const Command& c);
    template <class Backend>
    static void check(Backend& b, const Command& c);
    static const std::vector<CommandEntry>& commands();
    static const std::vector<ExpectEntry>& expect_forms();
};

namespace {

[[noreturn]] void refuse(const std::string& message) { throw std::runtime_error(message); }

// The name of a call that a fault makes fail, checked against its declaration.
#define CALL_NAME(call) (static_cast<void>(sizeof(&call)), #call)

struct Fault {
    const char* call;
    DWORD fallback;                 // its result unless the script gives one
    void (*arm)(DWORD value);       // on the emulated device
    const char* wire;               // the Win32 driver's name for it; null: Wine cannot make it fail
};

const Fault faults[] = {
    {CALL_NAME(ZELOpen), ZEL_ERR_TRIGGER_KEY, [](DWORD v) { link::fail_open(v); }, "open"},
    {CALL_NAME(ZELChangeBuffMode), 1, [](DWORD v) { link::fail_change_mode(v); }, "buffmode"},  // any non-zero
    {CALL_NAME(CreateThread), 0, link::fail_next_create_thread, nullptr},
    {CALL_NAME(CreateFileW), 0, link::fail_next_create_file, nullptr},
    {CALL_NAME(ReadFile), 0, link::fail_next_read_file, nullptr},
};

const Fault& fault_of(const Command& c) {
    return *std::find_if(std::begin(faults), std::end(faults), [&](const Fault& f) { return c.text == f.call; });
}
DWORD fault_value(const Command& c) { return c.number ? DWORD(*c.number) : fault_of(c).fallback; }

// The buttons the operator presses in a box or a dialog.
const std::pair<const char*, int> buttons[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"retry", IDRETRY}};
int button_id(const std::string& word) {
    return std::find_if(std::begin(buttons), std::end(buttons), [&](auto b) { return word == b.first; })->second;
}

// ---- the argument kinds the entries use ----
Param text(const char* what, Field f) { return {Kind::text, what, f, what}; }
Param string(const char* what, Field f) { return {Kind::string, what, f, what}; }
Param number(const char* what, const char* usage, Field f, bool optional = false) {
    return {Kind::number, what, f, usage, optional};
}
Param words(const char* what, std::vector<std::string> choices, Field f = Field::text) {
    return {.kind = Kind::word, .what = what, .field = f, .words = std::move(choices)};
}
Param launch_number() { return number("launch number", "N", Field::launch, true); }
Param memo_or_control(const char* noun) {
    return {.kind = Kind::id, .what = "memo or control id", .words = {"memo"}, .noun = noun,
            .expected = "memo or a control id"};
}
Param fault_param() {
    Param p = words("fault", {}, Field::text);
    for (const auto& f : faults) p.words.push_back(f.call);
    p.usage = "WHAT";
    return p;
}
std::string fault_help() {
    std::string out = "the next call of WHAT fails with VALUE, its result or last error:";
    for (const auto& f : faults)
        out += std::string(" ") + f.call + (f.fallback ? " [" + link::hex(f.fallback) + "]" : "");
    return out;
}

// ---- what the two devices share ----
const char* const no_dialog = "no dialog is open";
const char* const no_window = "Pendrel has no window to post to";
const char* const no_launch = "no such launch of Pendrel";
const char* const no_close_button = "no enabled window in front has a Close button";
std::string no_key_types(const std::string& text) { return "no key of the device keyboard types " + escape(text); }
std::string no_command(const Command& c) {
    return "no command bar on the screen carries command " + std::to_string(*c.number);
}
std::string no_control(const Command& c) { return "the open dialog has no control " + std::to_string(*c.number); }
std::string no_icon(long long n) { return "the tray has no icon " + std::to_string(n); }
// The strokes that type `ch` on the device's layout: the first key that
// types it, unshifted before shifted.
std::vector<KeyStroke> strokes_typing(unsigned char ch) {
    for (int vk = 1; vk < 256; ++vk)
        for (bool shift : {false, true})
            if (link::layout_char(std::uint8_t(vk), shift) == WCHAR(ch)) {
                std::vector<KeyStroke> keys = {{std::uint8_t(vk), false}, {std::uint8_t(vk), true}};
                if (shift) keys = {{VK_SHIFT, false}, keys[0], keys[1], {VK_SHIFT, true}};
                return keys;
            }
    refuse(no_key_types(std::string(1, char(ch))));
}

std::string target_word(const Command& c) { return c.number ? std::to_string(*c.number) : c.text; }

// ---- how an expectation is judged ----
std::string differ(const std::string& wanted, const std::string& seen) {
    return "expected " + wanted + ", saw " + seen;
}
std::string agree(const std::string& want, const std::string& seen, const std::string& wanted) {
    return seen == want ? "" : differ(wanted, seen);
}
std::string wanted_number(const Command& c) { return std::to_string(*c.number); }
std::string party_of(const std::string& state) { return state.substr(0, state.find(' ')); }

// What each device shows of a launch: "pendrel#1 is running", "pendrel#1
// exited with code 0", or "nothing launched".
std::string process_state(const link::Process* p) {
    auto s = link::state_of(p);
    return s.ended ? s.party + " exited with code " + std::to_string(s.exit_code) : s.party + " is running";
}

}  // namespace

// ---- the commands ----
const std::vector<CommandEntry>& Table::commands() {
    // The same on both devices.
    auto put_file = [](auto& b, const Command& c) {
        auto path = host_path(b.files(), c.text);
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << c.data;
        b.note("file " + c.text + " " + escape(c.data));
    };
    auto remove_file = [](auto& b, const Command& c) {
        std::filesystem::remove(host_path(b.files(), c.text));
        b.note("remove " + c.text);
    };
    auto pause = [](auto&, const Command& c) { std::this_thread::sleep_for(std::chrono::milliseconds(*c.number)); };
    static const std::vector<CommandEntry> table = {
        {"file", {text("PATH", Field::text), string("DATA", Field::data)}, "write a device file", After::nothing,
         put_file, put_file},
        {"remove", {text("PATH", Field::text)}, "remove a device file", After::nothing, remove_file, remove_file},
        {"launch", {}, "start Pendrel (again: a further copy)", After::sync,
         [](Device& d, const Command&) { d.launch(); },
         [](WineBackend& w, const Command&) { w.request(Request::launch); }},
        {"scan", {string("DATA", Field::text)}, "the operator scans a barcode", After::sync,
         [](Device& d, const Command& c) {
             d.note("scan " + escape(c.text));
             std::string refused = link::scan(c.text);
             if (!refused.empty()) d.note("the reader refused the scan: " + refused);
         },
         [](WineBackend& w, const Command& c) {
             try {
                 w.request(Request::scan, wire::encode(c.text));
             } catch (const std::invalid_argument&) {
                 // a refused scan is the operator's problem, not the script's, as on the device
             }
         }},
        {"menu", {number("command id", "ID", Field::number)}, "choose command ID from a command bar menu",
         After::sync,
         [](Device& d, const Command& c) {
             d.note("menu " + std::to_string(*c.number));
             if (!link::choose_menu_command(UINT(*c.number))) refuse(no_command(c));
         },
         [](WineBackend& w, const Command& c) { w.ask(Request::menu, std::to_string(*c.number), no_command(c)); }},
        {"key", {{Kind::chord, "key chord", Field::text, "CHORD"}},
         "press keys: alt+f4, shift+tab, return, escape, space, a, 1, f1 ...", After::sync,
         [](Device& d, const Command& c) {
             d.note("key " + c.text);
             d.press(strokes_of(c.chord));
         },
         [](WineBackend& w, const Command& c) {
             std::string strokes;
             for (auto s : strokes_of(c.chord))
                 strokes += (strokes.empty() ? "" : " ") + std::to_string(s.vk) + (s.up ? "u" : "");
             w.request(Request::keys, strokes);
         }},
        {"type", {string("DATA", Field::text)}, "type text on the device keyboard", After::sync,
         [](Device& d, const Command& c) {
             std::vector<KeyStroke> strokes;
             for (unsigned char ch : c.text)
                 for (auto s : strokes_typing(ch)) strokes.push_back(s);
             d.note("type " + escape(c.text));
             d.press(strokes);
         },
         [](WineBackend& w, const Command& c) {
             try {
                 w.request(Request::type, wire::encode(c.text));
             } catch (const std::invalid_argument& e) {
                 refuse(no_key_types(wire::decode(e.what())));
             }
         }},
        {"focus", {memo_or_control("focus target")}, "focus the memo, or control ID of the open dialog",
         After::sync,
         [](Device& d, const Command& c) {
             HWND target = d.memo_edit();
             if (c.number) {
                 HWND dialog = link::open_dialog();
                 if (!dialog) refuse(no_dialog);
                 target = link::child_by_id(dialog, int(*c.number));
                 if (!target) refuse(no_control(c));
             }
             d.note("focus " + target_word(c));
             if (!link::set_focus(target)) refuse("that window cannot take the focus");
         },
         [](WineBackend& w, const Command& c) {
             if (c.number && w.request(Request::dialog) == "no dialog") refuse(no_dialog);
             w.ask(Request::focus, target_word(c), c.number ? no_control(c) : "");
         }},
        {"tap", {words("tap target", {"tray", "close"}), number("icon number", "N", Field::number, true)},
         "tap tray icon N (default: the first), or the Close (X) button of the command bar in front",
         After::sync,
         [](Device& d, const Command& c) {
             d.note("tap " + c.text);
             if (c.text == "close") {
                 if (!link::tap_close_button()) refuse(no_close_button);
             } else if (!link::tap_tray(size_t(c.number.value_or(1) - 1))) {
                 refuse(no_icon(c.number.value_or(1)));
             }
         },
         [](WineBackend& w, const Command& c) {
             // The desktop's command bar has no X: what the handheld's does, WM_CLOSE to the window.
             if (c.text == "close") {
                 w.ask(Request::close, "", no_close_button);
                 return;
             }
             long long n = c.number.value_or(1);
             w.click(w.ask(Request::tap, std::to_string(n), no_icon(n)));
         }},
        {"post", {number("command id", "ID", Field::number)}, "another program posts WM_COMMAND ID to Pendrel",
         After::sync,
         [](Device& d, const Command& c) {
             HWND w = d.pendrel_window();
             if (!w) refuse(no_window);
             d.note("post WM_COMMAND " + std::to_string(*c.number));
             link::post(w, WM_COMMAND, WPARAM(*c.number), 0);
         },
         [](WineBackend& w, const Command& c) { w.ask(Request::post, std::to_string(*c.number), no_window); }},
        {"close", {}, "another program asks Pendrel's window to close (WM_CLOSE)", After::sync,
         [](Device& d, const Command&) {
             HWND w = d.pendrel_window();
             if (!w) refuse(no_window);
             d.note("post WM_CLOSE");
             link::post(w, WM_CLOSE, 0, 0);
         },
         [](WineBackend& w, const Command&) { w.ask(Request::close, "", no_window); }},
        {"answer", {words("answer", {"ok", "cancel", "retry"})}, "answer the open message box", After::sync,
         [](Device& d, const Command& c) {
             auto box = link::message_box();
             if (!box) refuse("no message box is open");
             d.note("answer " + c.text + " to " + link::quoted(box->caption));
             if (!link::answer_message_box(button_id(c.text)))
                 refuse("the message box " + link::quoted(box->caption) + " has no " + c.text);
         },
         [](WineBackend& w, const Command& c) {
             std::string box = w.request(Request::messagebox);
             if (box == "none") refuse("no message box is open");
             w.ask(Request::answer, std::to_string(button_id(c.text)),
                   "the message box " + escape(wire::decode(wire::word(box, 0))) + " has no " + c.text);
         }},
        {"popup",
         {{.kind = Kind::id, .what = "popup item id or none", .words = {"none"}, .noun = "popup item",
           .expected = "an item id or none"}},
         "choose an item of the open popup, or tap outside it", After::sync,
         [](Device& d, const Command& c) {
             if (!link::open_popup()) refuse("no popup menu is open");
             d.note("popup " + target_word(c));
             if (!link::choose_popup(c.number ? std::optional<UINT>(UINT(*c.number)) : std::nullopt))
                 refuse("the popup menu has no item " + std::to_string(*c.number));
         },
         [](WineBackend& w, const Command& c) {
             if (w.request(Request::popup) != "open") refuse("no popup menu is open");
             w.click(w.ask(Request::choose, target_word(c),
                           "under Wine only a popup menu of one item can be chosen from"));
         }},
        {"press", {words("button", {"ok", "cancel"})}, "the open dialog's caption OK or close button", After::sync,
         [](Device& d, const Command& c) {
             HWND dialog = link::open_dialog();
             if (!dialog) refuse(no_dialog);
             d.note("press " + c.text);
             if (!link::press_dialog(dialog, button_id(c.text))) refuse("the dialog has no " + c.text + " button");
         },
         [](WineBackend& w, const Command& c) { w.ask(Request::press, std::to_string(button_id(c.text)), no_dialog); }},
        {"fail", {fault_param(), number("VALUE", "VALUE", Field::number, true)}, fault_help(),
         After::nothing,
         [](Device& d, const Command& c) {
             d.note("fail " + c.text + (c.number ? " " + link::hex(*c.number) : ""));
             fault_of(c).arm(fault_value(c));
         },
         [](WineBackend& w, const Command& c) {
             if (!fault_of(c).wire) refuse("fail " + c.text + ": only the emulated device can make that call fail");
             w.request(Request::fail, std::string(fault_of(c).wire) + " " + std::to_string(fault_value(c)));
         }},
        {"sync", {number("MS", "MS", Field::number, true)},
         "wait until the device is quiet (fails after MS, default " + std::to_string(default_sync_ms) + ")",
         After::nothing,
         [](Device& d, const Command& c) { d.sync(c.number.value_or(default_sync_ms)); },
         [](WineBackend& w, const Command&) { w.settle(); }},
        {"wait", {number("MS", "MS", Field::number)}, "let MS milliseconds pass", After::nothing, pause, pause},
        {"wait-exit", {number("MS", "MS", Field::number, true)}, "wait until the latest launch has exited",
         After::nothing,
         [](Device& d, const Command& c) {
             if (!d.latest()) refuse("nothing was launched");
             long long ms = c.number.value_or(default_sync_ms);
             if (!link::wait_exit(d.latest(), std::chrono::milliseconds(ms)))
                 refuse(link::state_of(d.latest()).party + " did not exit within " + std::to_string(ms) + " ms");
         },
         [](WineBackend& w, const Command& c) {
             long long ms = c.number.value_or(default_sync_ms);
             if (w.ask(Request::wait_exit, std::to_string(ms), "nothing was launched") == "timeout")
                 refuse("the latest launch did not exit within " + std::to_string(ms) + " ms");
         }},
        {"screen", {}, "print a picture of the screen", After::nothing,
         [](Device& d, const Command&) {
             if (d.options_.out) *d.options_.out << d.screen() << std::flush;
         },
         // Under Wine a picture of the X screen, when PENDREL_WINE_SCREENSHOT names a file for it.
         [](WineBackend& w, const Command& c) {
             const char* file = std::getenv("PENDREL_WINE_SCREENSHOT");
             std::string shown = file ? "saved to " + std::string(file) : "not drawn under Wine";
             if (file && std::system(("import -window root '" + std::string(file) + "' 2>/dev/null").c_str()) != 0)
                 refuse("the screen could not be saved to " + std::string(file));
             if (w.options_.out) *w.options_.out << c.where << ": screen: " << shown << "\n" << std::flush;
         }},
        {"expect", {{.kind = Kind::form, .what = "expectation", .usage = "FORM ..."}},
         "check what the device shows: one of the forms below", After::nothing, nullptr, nullptr},
        {"quit", {}, "end the script here", After::end, nullptr, nullptr},
    };
    return table;
}

// ---- the expect forms ----
const std::vector<ExpectEntry>& Table::expect_forms() {
    // The launch N, else the oldest one still running, else the latest.
    static auto launch_of = [](Device& d, std::optional<long long> n) {
        link::Process* p = d.target(n);
        if (!p) refuse(no_launch);
        return p;
    };
    // Both devices show a launch the same way; N names one, else the latest.
    static auto device_process = [](Device& d, const Command& c) -> std::string {
        link::Process* p = c.launch ? d.launch_process(int(*c.launch)) : d.latest();
        if (!p && c.launch) refuse(no_launch);
        return p ? process_state(p) : "nothing launched";
    };
    static auto wine_process = [](WineBackend& w, const Command& c) -> std::string {
        std::string state = w.request(Request::process, c.launch ? std::to_string(*c.launch) : "latest");
        if (state == "none" && c.launch) refuse(no_launch);
        return state == "none" ? "nothing launched" : state;
    };
    static const std::vector<ExpectEntry> table = {
        {"text", {memo_or_control("text target"), string("DATA", Field::data)},
         "the memo's text, or control ID's of the open dialog",
         [](const Command& c, const std::string& seen) {
             if (seen == "no dialog") return differ("control " + wanted_number(c) + " of an open dialog", seen);
             if (seen == "a dialog without it") return differ("control " + wanted_number(c), seen);
             return agree(escape(c.data), seen, "text " + escape(c.data));
         },
         [](Device& d, const Command& c) -> std::string {
             HWND w = d.memo_edit();
             if (c.number) {
                 HWND dialog = link::open_dialog();
                 if (!dialog) return "no dialog";
                 if (!(w = link::child_by_id(dialog, int(*c.number)))) return "a dialog without it";
             }
             return link::quoted(link::text_of(w));
         },
         [](WineBackend& w, const Command& c) -> std::string {
             try {
                 return escape(wire::decode(w.request(Request::text, target_word(c))));
             } catch (const std::invalid_argument& e) {
                 return e.what();
             }
         }},
        {"window", {words("window state", {"shown", "hidden"}), launch_number()}, "Pendrel's main window",
         [](const Command& c, const std::string& seen) {
             if (seen.starts_with("no window")) return differ("Pendrel's window " + c.text, seen);
             return seen == c.text ? "" : differ("the window " + c.text, "it " + seen);
         },
         [](Device& d, const Command& c) -> std::string {
             HWND w = d.pendrel_window(c.launch);
             if (!w) return "no window (" + process_state(launch_of(d, c.launch)) + ")";
             return link::is_visible(w) ? "shown" : "hidden";
         },
         [](WineBackend& w, const Command& c) -> std::string {
             std::string launch = std::to_string(c.launch.value_or(0));
             std::string seen = w.request(Request::window, launch);
             if (seen != "none") return seen;
             std::string state = w.request(Request::process, launch);
             if (state == "none") refuse(no_launch);
             return "no window (" + state + ")";
         }},
        {"tray", {number("icon count", "COUNT", Field::number)}, "the number of tray icons",
         [](const Command& c, const std::string& seen) {
             return agree(wanted_number(c), seen, wanted_number(c) + " tray icon(s)");
         },
         [](Device&, const Command&) { return std::to_string(link::tray_icon_count()); },
         [](WineBackend& w, const Command&) { return w.request(Request::tray); }},
        {"messagebox",
         {{.kind = Kind::text, .what = "TEXT (or none)", .field = Field::text, .usage = "TEXT|none", .last = "none"},
          string("CAPTION", Field::data)},
         "the open message box, or none",
         [](const Command& c, const std::string& seen) {
             if (c.text == "none") return agree("none", seen, "no message box");
             std::string want = escape(c.data) + " " + escape(c.text);
             return agree(want, seen, "message box " + want);
         },
         [](Device&, const Command&) -> std::string {
             auto box = link::message_box();
             return box ? link::quoted(box->caption) + " " + link::quoted(box->text) : "none";
         },
         [](WineBackend& w, const Command&) -> std::string {
             std::string box = w.request(Request::messagebox);
             if (box == "none") return box;
             return escape(wire::decode(wire::word(box, 0))) + " " + escape(wire::decode(wire::word(box, 1)));
         }},
        {"exit", {number("exit code", "CODE", Field::number), launch_number()},
         "the launch has ended with exit code CODE",
         [](const Command& c, const std::string& seen) {
             if (seen == "nothing launched") return differ("an exit", seen);
             std::string want = party_of(seen) + " exited with code " + wanted_number(c);
             return agree(want, seen, want);
         },
         device_process, wine_process},
        {"running", {launch_number()}, "the launch still runs",
         [](const Command&, const std::string& seen) {
             if (seen == "nothing launched") return differ("a running Pendrel", seen);
             return agree(party_of(seen) + " is running", seen, party_of(seen) + " running");
         },
         device_process, wine_process},
        {"reader", {words("reader state", {"open", "closed"})}, "the reader driver is open or closed",
         [](const Command& c, const std::string& seen) { return agree(c.text, seen, "the reader " + c.text); },
         [](Device&, const Command&) -> std::string { return link::reader_open() ? "open" : "closed"; },
         [](WineBackend& w, const Command&) -> std::string {
             return wire::word(w.request(Request::reader), 1) == "1" ? "open" : "closed";
         }},
        {"mode",
         {{.kind = Kind::id, .what = "buffer mode", .field = Field::number,
           .ids = {ZEL_BUFFER_FETCH, ZEL_BUFFER_KEY_OUTPUT}}},
         "the driver's buffer mode",
         [](const Command& c, const std::string& seen) {
             return agree(wanted_number(c), seen, "buffer mode " + wanted_number(c));
         },
         [](Device&, const Command&) { return std::to_string(link::buffer_mode()); },
         [](WineBackend& w, const Command&) -> std::string {
             std::string state = w.request(Request::reader);
             return state == "none" ? "no driver loaded" : wire::word(state, 3);
         }},
        {"trace", {string("TEXT", Field::text)}, "a trace line holds TEXT",
         [](const Command& c, const std::string& seen) {
             return agree("found", seen, "a trace line containing " + escape(c.text));
         },
         [](Device&, const Command& c) -> std::string {
             for (const auto& r : link::trace_records())
                 if ((r.party + ": " + r.text).find(c.text) != std::string::npos) return "found";
             return "none";
         },
         nullptr, "the trace is the emulated device's"},
        {"dialog",
         {{.kind = Kind::id, .what = "dialog", .words = {"none"}, .ids = {IDD_ABOUT, IDD_READDISPLAY}}},
         "the open dialog, by its template, or none",
         [](const Command& c, const std::string& seen) {
             std::string want = c.number ? "dialog " + wanted_number(c) : "no dialog";
             return agree(want, seen, want);
         },
         [](Device&, const Command&) -> std::string {
             HWND dialog = link::open_dialog();
             return dialog ? "dialog " + std::to_string(link::dialog_template_id(dialog)) : "no dialog";
         },
         [](WineBackend& w, const Command&) { return w.request(Request::dialog); }},
        {"popup", {words("popup state", {"open", "closed"})}, "the tray's popup menu",
         [](const Command& c, const std::string& seen) { return agree(c.text, seen, "the popup " + c.text); },
         [](Device&, const Command&) -> std::string { return link::open_popup() ? "open" : "closed"; },
         [](WineBackend& w, const Command&) { return w.request(Request::popup); }},
        {"worker", {words("worker state", {"running", "stopped"})}, "the reader worker thread",
         [](const Command& c, const std::string& seen) { return agree(c.text, seen, "the worker " + c.text); },
         [](Device& d, const Command&) -> std::string {
             // Pendrel runs its UI thread and, at most, the reader worker.
             auto s = link::state_of(launch_of(d, std::nullopt));
             return !s.ended && s.live_threads > 1 ? "running" : "stopped";
         },
         [](WineBackend& w, const Command&) { return w.request(Request::worker); }},
    };
    return table;
}

// ---- carrying a command out ----
namespace {

template <class Backend>
auto action_of(const CommandEntry& e) {
    if constexpr (std::is_same_v<Backend, Device>) return e.device;
    else return e.wine;
}
template <class Backend>
auto look_of(const ExpectEntry& e) {
    if constexpr (std::is_same_v<Backend, Device>) return e.device;
    else return e.wine;
}

// Runs `f`; whatever goes wrong ends the script at the command's line,
// except the runner's own breakdown.
template <class F>
void at_line(const Command& c, F f) {
    try {
        f();
    } catch (const ScriptError&) {
        throw;
    } catch (const Broken&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw ScriptError(c.where + ": " + e.what());
    }
}

}  // namespace

// An expectation is looked at until it holds or the backend's patience runs
// out; a form the backend cannot show is reported as skipped.
template <class Backend>
void Table::check(Backend& b, const Command& c) {
    auto look = look_of<Backend>(*c.form);
    if (!look) {
        if (b.options_.out)
            *b.options_.out << c.where << ": SKIPPED under " << Backend::name << ": expect " << c.form->name << " ("
                            << c.form->wine_lacks << ")\n";
        if (b.options_.observe) b.options_.observe(c.where, "skipped");
        return;
    }
    try {
        at_line(c, [&] {
            auto deadline = std::chrono::steady_clock::now() + Backend::patience;
            for (std::string failure;; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
                if ((failure = c.form->judge(c, look(b, c))).empty()) return;
                if (std::chrono::steady_clock::now() >= deadline) refuse(failure);
            }
        });
        if (b.options_.observe) b.options_.observe(c.where, "held");
    } catch (const ScriptError& e) {
        if (b.options_.observe) b.options_.observe(c.where, e.what());
        throw;
    }
}

template <class Backend>
bool Table::perform(Backend& b, const Command& c) {
    if (c.form) {
        check(b, c);
        return true;
    }
    if (c.command->after == After::end) return false;
    at_line(c, [&] {
        action_of<Backend>(*c.command)(b, c);
        if (c.command->after == After::sync) b.settle();
    });
    return true;
}

bool Device::run(const Command& c) { return Table::perform(*this, c); }
bool WineBackend::run(const Command& c) { return Table::perform(*this, c); }

const CommandEntry* find_command(const std::string& name) {
    for (const auto& e : Table::commands())
        if (name == e.name) return &e;
    return nullptr;
}

const ExpectEntry* find_expect(const std::string& name) {
    for (const auto& e : Table::expect_forms())
        if (name == e.name) return &e;
    return nullptr;
}

// One line a command, its help in a column of its own, wrapped at 79.
std::string commands_help() {
    constexpr size_t column = 30, width = 79;
    std::string out;
    auto line = [&out](bool acts, const std::string& usage, const std::string& help) {
        out += (acts ? "* " : "  ") + usage;
        size_t at = usage.size() + 2;
        std::istringstream words(help);
        for (std::string w; words >> w; at += w.size(), out += w) {
            if (at < column) {
                out += std::string(column - at, ' ');
                at = column;
            } else if (at == usage.size() + 2 || at + 1 + w.size() > width) {
                out += "\n" + std::string(column, ' ');
                at = column;
            } else {
                out += ' ';
                ++at;
            }
        }
        out += "\n";
    };
    for (const auto& e : Table::commands()) line(e.after == After::sync, e.name + usage_of(e.params), e.help);
    for (const auto& e : Table::expect_forms())
        line(false, std::string("expect ") + e.name + usage_of(e.params), e.help);
    return out;
}

}  // namespace runner
