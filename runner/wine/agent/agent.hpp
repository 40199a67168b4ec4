// wineagent.exe: the device runner's hands and eyes inside Wine. It owns the
// memo the reads are typed into, launches pendrel.exe and answers a request
// a line with "ok [VALUES]" or "error MESSAGE" (main.cpp; texts as UTF-8 in
// hex). Each part keeps its own state: launches (launch.cpp), memo (settle.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace agent {

// ---- launch.cpp: starting, finding and ending launches of pendrel.exe ----
struct Launch {
    PROCESS_INFORMATION info{};
};
void set_app_path(const std::wstring& path);  // pendrel.exe, as wmain is given it
const std::wstring& app_path();
const std::vector<Launch>& launches();
bool running(const Launch& l);
// The launch a request is about: N (from 1), else the oldest still running,
// else the latest; null when none.
const Launch* target(int n);
// Starts pendrel.exe; "ok N" once its start-up is over, else "error WHY".
std::string launch();
// A driver fault ("fail open 5"), armed in the device's reader.
std::string arm_fault(const std::string& request);
bool worker_running(const Launch* l);
std::string start_reader_host();  // "ok", or "error WHY"
// Wine's own notepad, a program no one here wrote, started once and brought
// to the front with its text focused: "ok", or "error WHY".
std::string focus_editor();
HWND editor_text();  // its text field; null before focus_editor
HWND editor_window();
std::string end_launches();  // "ok", or "error ..." naming any that would not end

// ---- find_windows.cpp: the windows of the launches and of the shell ----
std::wstring window_text(HWND window);
std::vector<HWND> top_windows_of(DWORD pid);
HWND pendrel_window(const Launch* l);
HWND open_message_box();
HWND open_dialog();
int dialog_template(HWND dialog);  // the template of pendrel.exe the dialog shows; 0 for none
int resource_menu_column(UINT id);  // the main menu's column whose popup carries command id; -1: none
std::string menu_point(HWND window, WPARAM ask, LPARAM which);  // quiet_probe::menu_bar|menu_item: "X Y" or empty
HWND open_popup();
int tray_icon_count();
// Each thread that owns a top-level window on the desktop, but the agent's
// own, with one of its windows.
std::vector<std::pair<DWORD, HWND>> window_threads();
std::string process_name(DWORD thread);  // the executable a thread runs in, for messages
std::string tap_point(int n);  // "X Y" of tray icon N, waited for a while; empty when there is none

// ---- settle.cpp: the driver's channel, the memo, and the quiet point ----
std::string driver_request(const std::string& request);  // the reader host's answer line; empty when it does not answer
bool start_memo(const wchar_t* key_log_path);  // key_log_path: null, or where each key message goes
HWND memo_window();
HWND memo_edit();
bool install_quiet_hooks();
void remove_quiet_hooks();  // Wine keeps a global hook after its thread has gone  // quiethook.dll, next to the agent
std::string settle(DWORD bound_ms);  // "ok" at the quiet point, or "error WHY" once bound_ms has passed

// Bounded polls for a condition; the bound only turns a hang into a failure.
template <typename Condition>
bool poll_until(Condition done, DWORD limit_ms = 5000) {
    for (DWORD waited = 0;; waited += 10) {
        if (done()) return true;
        if (waited >= limit_ms) return false;
        Sleep(10);
    }
}

}  // namespace agent
