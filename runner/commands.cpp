// The command table: each command's arguments, its help, and what the
// emulated device and the Wine backend do for it.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "../reader/zel.h"
#include "../res/resource.h"
#include "table.hpp"

namespace runner {

using namespace table_parts;
using wire::Request;

namespace {

// The name of a call that a fault makes fail, checked against its declaration.
#define CALL_NAME(call) (static_cast<void>(sizeof(&call)), #call)

struct Fault {
    const char* call;
    DWORD fallback;                 // its result unless the script gives one
    void (*arm)(DWORD value);       // on the emulated device
    const char* wire;               // the Win32 driver's name for it; null: Wine cannot make it fail
};

const Fault faults[] = {
    {CALL_NAME(ZELOpen), ZEL_ERR_TRIGGER_KEY, [](DWORD v) { link::reader::fail_next_open(v); }, "open"},
    // ZELChangeBuffMode fails with any non-zero result
    {CALL_NAME(ZELChangeBuffMode), 1, [](DWORD v) { link::reader::fail_next_buffer_mode(v); }, "buffmode"},
    {CALL_NAME(CreateThread), 0, [](DWORD v) { link::fail_next(link::Call::CreateThread, v); }, nullptr},
    {CALL_NAME(CreateFileW), 0, [](DWORD v) { link::fail_next(link::Call::CreateFileW, v); }, nullptr},
    {CALL_NAME(ReadFile), 0, [](DWORD v) { link::fail_next(link::Call::ReadFile, v); }, nullptr},
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

Param fault_param() {
    Param p = {.kind = Kind::word, .what = "fault", .field = Field::text, .usage = "WHAT"};
    for (const auto& f : faults) p.words.push_back(f.call);
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

// Read i of a burst: 1 to 255 printable characters (the first read 1, the
// 50th 255), starting each at another character.
std::string burst_read(long long i) {
    std::string out(std::size_t(1 + (i * 26) % zel::limits::max_read), ' ');
    for (std::size_t j = 0; j < out.size(); ++j) out[j] = char(' ' + (i * 7 + (long long)j) % 95);
    return out;
}

// A burst: COUNT scans at the operator's pace, none waiting for the device.
// Returns the bound of the quiet point after it: a field takes its
// characters one by one (slower as its text grows, under Wine), so the
// bound grows with what was scanned; it only turns a hang into a failure.
template <class Backend, class Scan>
long long burst(Backend& b, const Command& c, Scan scan) {
    burst_start() = scans().size();
    long long characters = 0;
    for (long long i = 0; i < *c.number; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(c.launch.value_or(100)));
        std::string read = burst_read(i);
        characters += (long long)read.size();
        scan(b, read);
    }
    return default_sync_ms + 10 * characters;
}

}  // namespace

std::vector<ScanRecord>& scans() {
    static std::vector<ScanRecord> all;
    return all;
}
std::size_t& burst_start() {
    static std::size_t start = 0;
    return start;
}

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
    // As another program would post it.
    static auto post_to_pendrel = [](Device& d, UINT message, WPARAM wp, const std::string& what) {
        HWND w = d.pendrel_window();
        if (!w) refuse(no_window);
        d.note("post " + what);
        link::post(w, message, wp, 0);
    };
    // The operator pulls the trigger: both devices keep what each scan became.
    static auto scan_device = [](Device& d, const std::string& data) {
        d.note("scan " + escape(data));
        std::string refused = link::scan(data);
        if (!refused.empty()) d.note("the reader refused the scan: " + refused);
        scans().push_back({data, refused.empty()});
    };
    static auto scan_wine = [](WineBackend& w, const std::string& data) {
        try {
            w.request(Request::scan, wire::encode(data));
        } catch (const std::invalid_argument& refused) {
            // a refused scan is the operator's problem, not the script's, as on the device
            scans().push_back({data, false, refused.what()});
            return;
        }
        std::string keyboard = w.request(Request::keyboard);
        scans().push_back({data, true, wire::decode(wire::word(keyboard, 1)) + " (" + wire::word(keyboard, 0) + ")"});
    };
    // A tap cannot reach a box or dialog another window covers.
    static auto refuse_if_covered = [](HWND target, const std::string& what) {
        if (HWND cover = link::covering_window(target))
            refuse(what + " is covered by " + link::window_name(cover) + ": a tap cannot reach it");
    };
    static const std::vector<CommandEntry> table = {
        {"file", {text("PATH", Field::text), string("DATA", Field::data)}, "write a device file", After::nothing,
         put_file, put_file},
        {"remove", {text("PATH", Field::text)}, "remove a device file", After::nothing, remove_file, remove_file},
        {"launch", {}, "start Pendrel (again: a further copy)", After::sync,
         [](Device& d, const Command&) { d.launch(); },
         [](WineBackend& w, const Command&) { w.launch(); }},
        {"scan", {string("DATA", Field::text)}, "the operator scans a barcode", After::sync,
         [](Device& d, const Command& c) { scan_device(d, c.text); },
         [](WineBackend& w, const Command& c) { scan_wine(w, c.text); }},
        {"burst", {number("read count", "COUNT", Field::number), number("MS", "MS", Field::launch, true)},
         "the operator scans COUNT barcodes of 1 to 255 characters, one every MS (default 100), without waiting "
         "for the device; then a sync bounded by 10 ms a character more",
         After::nothing, [](Device& d, const Command& c) { d.sync(burst(d, c, scan_device)); },
         [](WineBackend& w, const Command& c) { w.sync(burst(w, c, scan_wine)); }},
        {"menu", {number("command id", "ID", Field::number)}, "choose command ID from a command bar menu",
         After::sync,
         [](Device& d, const Command& c) {
             d.note("menu " + std::to_string(*c.number));
             if (!link::choose_menu_command(UINT(*c.number))) refuse(no_command(c));
         },
         [](WineBackend& w, const Command& c) {
             // The operator's path: the menu bar's title, then the item in its popup.
             w.click(w.ask(Request::menu, std::to_string(*c.number), no_command(c)));
             w.settle();
             w.click(w.ask(Request::choose, std::to_string(*c.number), no_command(c)));
         }},
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
        {"focus", {memo_or_control("focus target")},
         "focus the memo, the editor (under Wine its notepad), or control ID of the open dialog", After::sync,
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
             if (c.number) w.ask(Request::focus, target_word(c), no_control(c));
             else w.request(Request::focus, target_word(c));
         }},
        {"tap", {words("tap target", {"tray", "close"}), number("icon number", "N", Field::number, true)},
         "tap tray icon N (default: the first), or the Close (X) button of the command bar in front "
         "(under Wine a stand-in, the desktop's menu bar having no X: WM_CLOSE to Pendrel's window)",
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
             post_to_pendrel(d, WM_COMMAND, WPARAM(*c.number), "WM_COMMAND " + std::to_string(*c.number));
         },
         [](WineBackend& w, const Command& c) { w.ask(Request::post, std::to_string(*c.number), no_window); }},
        {"close", {}, "another program asks Pendrel's window to close (WM_CLOSE)", After::sync,
         [](Device& d, const Command&) { post_to_pendrel(d, WM_CLOSE, 0, "WM_CLOSE"); },
         [](WineBackend& w, const Command&) { w.ask(Request::close, "", no_window); }},
        {"answer", {words("answer", {"ok", "cancel", "retry"})},
         "answer the open message box (under Wine a click on its button; a stand-in, the button's click "
         "posted to the box, when another window covers it)",
         After::sync,
         [](Device& d, const Command& c) {
             auto box = link::message_box();
             if (!box) refuse("no message box is open");
             d.note("answer " + c.text + " to " + link::quoted(box->caption));
             refuse_if_covered(box->hwnd, "the message box " + link::quoted(box->caption));
             if (!link::answer_message_box(button_id(c.text)))
                 refuse("the message box " + link::quoted(box->caption) + " has no " + c.text);
         },
         [](WineBackend& w, const Command& c) {
             std::string box = w.request(Request::messagebox);
             if (box == "none") refuse("no message box is open");
             w.click(w.ask(Request::answer, std::to_string(button_id(c.text)),
                           "the message box " + escape(wire::decode(wire::word(box, 0))) + " has no " + c.text));
         }},
        {"popup",
         {{.kind = Kind::id, .what = "popup item id or none", .words = {"none"}, .noun = "popup item",
           .expected = "an item id or none"}},
         "choose an item of the open popup, or tap outside it (under Wine that tap is a stand-in: a "
         "press posted to the popup's thread)",
         After::sync,
         [](Device& d, const Command& c) {
             if (!link::open_popup()) refuse("no popup menu is open");
             d.note("popup " + target_word(c));
             if (!link::choose_popup(c.number ? std::optional<UINT>(UINT(*c.number)) : std::nullopt))
                 refuse("the popup menu has no item " + std::to_string(*c.number));
         },
         [](WineBackend& w, const Command& c) {
             if (w.request(Request::popup) != "open") refuse("no popup menu is open");
             w.click(w.ask(Request::choose, target_word(c), "the popup menu has no item " + target_word(c)));
         }},
        {"press", {words("button", {"ok", "cancel"})},
         "the open dialog's caption OK or close button (under Wine a stand-in, the desktop's caption having "
         "no OK: WM_COMMAND to the dialog)",
         After::sync,
         [](Device& d, const Command& c) {
             HWND dialog = link::open_dialog();
             if (!dialog) refuse(no_dialog);
             d.note("press " + c.text);
             refuse_if_covered(dialog, "the dialog");
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
         [](WineBackend& w, const Command& c) { w.sync(c.number.value_or(default_sync_ms)); }},
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
             if (d.options_.out) *d.options_.out << render_screen() << std::flush;
         },
         // Under Wine a picture of the X screen, when PENDREL_WINE_SCREENSHOT names a file for
         // it; %N in the name stands for the number of the picture in the run (1, 2, ...).
         [](WineBackend& w, const Command& c) {
             static int pictures = 0;
             const char* name = std::getenv("PENDREL_WINE_SCREENSHOT");
             std::string file = name ? name : "";
             if (auto at = file.find("%N"); at != std::string::npos) file.replace(at, 2, std::to_string(++pictures));
             std::string shown = name ? "saved to " + file : "not drawn under Wine";
             if (name && std::system(("import -window root '" + file + "' 2>/dev/null").c_str()) != 0)
                 refuse("the screen could not be saved to " + file);
             if (w.options_.out) *w.options_.out << c.where << ": screen: " << shown << "\n" << std::flush;
         }},
        {"expect", {{.kind = Kind::form, .what = "expectation", .usage = "FORM ..."}},
         "check what the device shows: one of the forms below", After::nothing, nullptr, nullptr},
        {"quit", {}, "end the script here", After::end, nullptr, nullptr},
    };
    return table;
}

}  // namespace runner
