// wineagent.exe's requests, one a line, and its start and end (agent.hpp).
#include <cstdio>
#include <sstream>

#include "../../memo_ui.hpp"
#include "../quiet/quiet_probe.h"
#include "../wine_wire.hpp"
#include "agent.hpp"

namespace agent {
namespace {

std::string utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), out.data(), n);
    return out;
}

using wire::Request;
int number(const std::string& s) { return int(std::strtol(s.c_str(), nullptr, 0)); }

// Where a key typed now goes, as the ledger of reads names it:
// "field|window|hidden|disabled|none NAME-HEX".
std::string keyboard_target() {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND front = GetForegroundWindow();
    if (!front || !GetGUIThreadInfo(GetWindowThreadProcessId(front, nullptr), &gui)) return "none -";
    HWND w = gui.hwndFocus ? gui.hwndFocus : gui.hwndActive;
    if (!w) return "none -";
    HWND top = GetAncestor(w, GA_ROOT);
    std::wstring name = L"\"" + window_text(top) + L"\"";
    if (w != top) name += L" control " + std::to_wstring(GetDlgCtrlID(w));
    const char* kind = "window";
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (!IsWindowVisible(w)) kind = "hidden";
    else if (_wcsicmp(cls, L"Edit") == 0) kind = "field";
    for (HWND x = w; x && std::string(kind) != "hidden"; x = x == top ? nullptr : GetParent(x))
        if (!IsWindowEnabled(x)) kind = "disabled";
    return std::string(kind) + " " + wire::encode(utf8(name));
}

// WM_COMMAND ID to Pendrel's window, as another program would post it.
std::string post_command(const std::string& arg) {
    HWND w = pendrel_window(target(0));
    if (!w) return "error no window";
    return PostMessageW(w, WM_COMMAND, WPARAM(number(arg)), 0) ? "ok" : "error post failed";
}

// Where to click the menu bar's title over command ID's popup, as the operator does.
std::string menu_title(const std::string& arg) {
    HWND w = pendrel_window(target(0));
    int column = resource_menu_column(number(arg));
    if (!w || !IsWindowVisible(w) || !GetMenu(w) || column < 0) return "error no menu";
    std::string point = menu_point(w, quiet_probe::menu_bar, column);
    return point.empty() ? "error no menu" : "ok " + point;
}

// Each request's answer, from the rest of its line.
std::string answer(Request request, const std::string& arg) {
    switch (request) {
    case Request::launch: return launch();
    case Request::fail: return arm_fault("fail " + arg);  // fail open|buffmode VALUE
    case Request::scan: {
        std::string reply = driver_request("scan " + (arg == "-" ? std::string() : arg));
        if (reply.empty()) return "error the reader host does not answer";
        return reply == "ok" ? "ok" : "error " + reply;
    }
    case Request::reader: {  // "open 0|1 mode N pending N" | none
        std::string reply = driver_request("state");
        return "ok " + (reply.empty() ? "none" : reply);
    }
    case Request::process: {  // process N|latest: pendrel#N is running | pendrel#N exited with code C | none
        const auto& all = launches();
        const Launch* l = arg == "latest" ? (all.empty() ? nullptr : &all.back()) : target(number(arg));
        if (!l) return "ok none";
        std::string party = "pendrel#" + std::to_string(l - all.data() + 1);
        DWORD code = 0;
        if (running(*l)) return "ok " + party + " is running";
        GetExitCodeProcess(l->info.hProcess, &code);
        return "ok " + party + " exited with code " + std::to_string(code);
    }
    case Request::wait_exit: {
        if (launches().empty()) return "error nothing was launched";
        DWORD ended = WaitForSingleObject(launches().back().info.hProcess, DWORD(number(arg)));
        return ended == WAIT_OBJECT_0 ? "ok" : "ok timeout";
    }
    case Request::window: {  // window N: shown | hidden | none
        HWND w = pendrel_window(target(number(arg)));
        return !w ? "ok none" : IsWindowVisible(w) ? "ok shown" : "ok hidden";
    }
    case Request::worker: return worker_running(target(0)) ? "ok running" : "ok stopped";
    case Request::text: {  // text memo|editor|ID
        HWND w = memo_edit();
        if (arg == "editor" && !(w = editor_text())) return "error no editor";
        if (arg != "memo" && arg != "editor") {
            HWND dialog = open_dialog();
            if (!dialog) return "error no dialog";
            w = GetDlgItem(dialog, number(arg));
            if (!w) return "error a dialog without it";
        }
        return "ok " + wire::encode(utf8(window_text(w)));
    }
    case Request::messagebox: {  // CAPTION TEXT | none
        HWND box = open_message_box();
        if (!box) return "ok none";
        return "ok " + wire::encode(utf8(window_text(box))) + " " +
               wire::encode(utf8(window_text(GetDlgItem(box, 0xFFFF))));
    }
    case Request::dialog: {  // dialog N | no dialog
        HWND d = open_dialog();
        return d ? "ok dialog " + std::to_string(dialog_template(d)) : "ok no dialog";
    }
    case Request::popup: return open_popup() ? "ok open" : "ok closed";
    case Request::tray: return "ok " + std::to_string(tray_icon_count());
    case Request::tap: {  // tap N: where to click tray icon N
        std::string point = tap_point(number(arg));
        return point.empty() ? "error no icon" : "ok " + point;
    }
    case Request::choose: {  // choose none|ID: a tap outside the popup (a stand-in), or where to click its item
        HWND popup = open_popup();
        if (!popup) return "error no popup";
        RECT r;
        GetWindowRect(popup, &r);
        if (arg == "none") {
            // The popup's owner is not in front, so a real click would go to
            // the window under it: the tap reaches the tracking loop's queue,
            // at a point outside the popup.
            SetCursorPos(r.left > 20 ? r.left - 10 : r.right + 10, r.top > 20 ? r.top - 10 : r.bottom + 10);
            PostThreadMessageW(GetWindowThreadProcessId(popup, nullptr), WM_LBUTTONDOWN, 0, 0);
            if (!poll_until([] { return !open_popup(); })) return "error the popup stayed open 5 s after a tap outside it";
            return "ok";
        }
        std::string point = menu_point(popup, quiet_probe::menu_item, number(arg));
        return point.empty() ? "error no item" : "ok " + point;
    }
    case Request::post: return post_command(arg);
    case Request::menu: return menu_title(arg);
    case Request::close: {  // WM_CLOSE to Pendrel's window, as a task manager would post it
        HWND w = pendrel_window(target(0));
        return w && PostMessageW(w, WM_CLOSE, 0, 0) ? "ok" : "error no window";
    }
    case Request::answer: {  // answer ID: where to click a button of the open message box
        HWND box = open_message_box();
        if (!box) return "error no box";
        HWND button = GetDlgItem(box, number(arg));
        if (!button) return "error no button";
        RECT r;
        GetWindowRect(button, &r);
        POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        if (WindowFromPoint(middle) == button)
            return "ok " + std::to_string(middle.x) + " " + std::to_string(middle.y);
        // Another window covers it (a stand-in): the button's click, posted to the box.
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(number(arg), BN_CLICKED), LPARAM(button));
        return "ok";
    }
    case Request::press: {  // press ID: the dialog's caption OK or close button
        HWND dialog = open_dialog();
        if (!dialog) return "error no dialog";
        PostMessageW(dialog, WM_COMMAND, WPARAM(number(arg)), 0);
        return "ok";
    }
    case Request::focus: {  // focus memo|editor|ID
        if (arg == "editor") return focus_editor();
        if (arg == "memo") {
            SendMessageW(memo_window(), memo_ui::take_focus, 0, 0);
            return "ok";
        }
        HWND dialog = open_dialog();
        if (!dialog) return "error no dialog";
        HWND control = GetDlgItem(dialog, number(arg));
        if (!control) return "error no control";
        SendMessageTimeoutW(dialog, WM_NEXTDLGCTL, WPARAM(control), TRUE, SMTO_BLOCK, 2000, nullptr);
        return "ok";
    }
    case Request::keys: {  // keys VK[u] ...: key events, u for a release
        std::istringstream strokes(arg);
        for (std::string stroke; strokes >> stroke;) {
            bool up = stroke.back() == 'u';
            keybd_event(BYTE(number(up ? stroke.substr(0, stroke.size() - 1) : stroke)), 0, up ? KEYEVENTF_KEYUP : 0, 0);
        }
        return "ok";
    }
    case Request::type: {  // type HEX: the keys of this keyboard that type the text; refused with the character none types
        std::wstring text = wide(wire::decode(arg));
        for (wchar_t c : text)
            if (VkKeyScanW(c) == -1) return "error " + wire::encode(utf8(std::wstring(1, c)));
        for (wchar_t c : text) {
            SHORT key = VkKeyScanW(c);
            bool shift = (key & 0x100) != 0;
            if (shift) keybd_event(VK_SHIFT, 0, 0, 0);
            keybd_event(BYTE(key), 0, 0, 0);
            keybd_event(BYTE(key), 0, KEYEVENTF_KEYUP, 0);
            if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        }
        return "ok";
    }
    case Request::keyboard: return "ok " + keyboard_target();
    case Request::settle: return settle(DWORD(number(arg)));
    }
    return "error unhandled request";
}

std::string handle(const std::string& line) {
    size_t space = line.find(' ');
    std::string verb = line.substr(0, space), arg = space == std::string::npos ? "" : line.substr(space + 1);
    auto request = wire::request_named(verb);
    return request ? answer(*request, arg) : "error unknown request " + verb;
}

}  // namespace
}  // namespace agent

int wmain(int argc, wchar_t** argv) {
    using namespace agent;
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: wineagent.exe PENDREL_EXE [KEY_LOG]\n");
        return 2;
    }
    set_app_path(argv[1]);
    if (!install_quiet_hooks()) {
        std::printf("error the quiet hooks could not be installed (quiethook.dll)\n");
        return 1;
    }
    std::string host = start_reader_host();
    if (host != "ok") std::printf("%s\n", host.c_str());
    else std::printf(start_memo(argc == 3 ? argv[2] : nullptr) ? "ok ready\n" : "error the memo could not be created\n");
    std::fflush(stdout);
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line == "quit") break;
        std::printf("%s\n", handle(line).c_str());
        std::fflush(stdout);
    }
    // "quit", or the runner gone: the agent ends after its launches.
    std::string ended = end_launches();
    remove_quiet_hooks();
    std::printf("%s\n", ended.c_str());
    std::fflush(stdout);
    return ended == "ok" ? 0 : 1;
}
