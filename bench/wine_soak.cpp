// Under Wine: the soak run, shorter than on the emulated device. Drives a
// running pendrel.exe as the operator and other programs would, from inside
// Wine: reads through the driver's pipe, the tray popup opened by the tray's
// callback message and closed by a click outside it, the main window
// restored, the read display and the About box opened from its menu commands
// and closed by their buttons' commands, and the window sent back to the tray
// by the read key output command. After the first round and every SAMPLE
// rounds it samples pendrel.exe's open handles (GetProcessHandleCount), its
// GDI and USER objects (GetGuiResources) and its windows.
//   winesoak.exe ROUNDS [SAMPLE]
// Prints "name value" lines for scripts/bench.sh (wine_soak_<count>_first and
// _last; "n/a" for a count Wine does not keep), the counts that grew with
// their objects named ("wine_soak_growth event handles 2 -> 7"), each sample
// on stderr, and "wine_soak_failed WHY" with exit status 1 when a step never
// happened.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "pendrel.h"
#include "zel_control.hpp"

namespace {

[[noreturn]] void fail(const std::string& why) {
    std::printf("wine_soak_failed %s\n", why.c_str());
    std::fflush(stdout);
    std::exit(1);
}

// Polls until the condition holds; the bound only turns a hang into a failure.
template <class Pred>
void wait_for(Pred pred, const char* what) {
    for (DWORD start = GetTickCount(); !pred(); Sleep(5))
        if (GetTickCount() - start > 20000) fail(std::string("never ") + what);
}

HWND main_window() { return FindWindowW(L"Pendrel", nullptr); }

// Pendrel's open dialog (the read display or the About box), or null.
HWND pendrel_dialog(DWORD pid) {
    for (HWND w = FindWindowW(L"#32770", nullptr); w; w = FindWindowExW(nullptr, w, L"#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

HWND open_popup() {
    HWND popup = FindWindowW(L"#32768", nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}

void command(HWND window, int id) { PostMessageW(window, WM_COMMAND, WPARAM(id), 0); }

void scan(const std::string& read) {
    auto result = zel::control::scan(read);
    if (!result.accepted) fail("a scan was refused: " + result.message);
    wait_for([] { return zel::control::pending() == 0; }, "fetched the read");
}

void scan_reads(int count, int& serial) {
    for (int i = 0; i < count; ++i) scan("SOAK" + std::to_string(++serial));
}

void run_round(HWND main, DWORD pid, int& serial) {
    scan_reads(5, serial);
    PostMessageW(main, WM_TRAYNOTIFY, 1, WM_LBUTTONDOWN);
    wait_for([] { return open_popup() != nullptr; }, "opened the tray popup");
    PostThreadMessageW(GetWindowThreadProcessId(open_popup(), nullptr), WM_LBUTTONDOWN, 0, 0);
    wait_for([] { return open_popup() == nullptr; }, "closed the tray popup");
    command(main, IDM_TRAY_RESTORE);
    wait_for([&] { return IsWindowVisible(main) != FALSE; }, "restored the main window");
    command(main, IDM_EXEC_DISPLAY);
    wait_for([&] { return pendrel_dialog(pid) != nullptr && zel::control::is_open(); },
             "opened the read display and the reader");
    scan_reads(3, serial);
    command(pendrel_dialog(pid), IDCANCEL);
    wait_for([&] { return pendrel_dialog(pid) == nullptr; }, "closed the read display");
    command(main, IDM_ABOUT);
    wait_for([&] { return pendrel_dialog(pid) != nullptr; }, "opened the About box");
    command(pendrel_dialog(pid), IDOK);
    wait_for([&] { return pendrel_dialog(pid) == nullptr; }, "closed the About box");
    command(main, IDM_EXEC_KEYOUT);
    wait_for([&] { return !IsWindowVisible(main) && zel::control::is_open(); },
             "sent the main window back to the tray with the reader open");
}

// The system's handle table: every process's handles with their object
// types, which Wine lists even where it answers GetProcessHandleCount with 0.
std::vector<SYSTEM_HANDLE_ENTRY> system_handles() {
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(), ULONG(buffer.size()),
                                              &needed)) == NTSTATUS(0xC0000004L))  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<std::size_t>(needed, buffer.size() * 2));
    if (status != 0) fail("the system's handle table could not be read");
    auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    return {table->Handle, table->Handle + table->Count};
}

// The names of the table's object type numbers, learned from handles of
// each type opened here.
std::map<int, std::string> type_names() {
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);
    const std::pair<HANDLE, const char*> probes[] = {
        {CreateEventW(nullptr, FALSE, FALSE, nullptr), "event"},
        {CreateMutexW(nullptr, FALSE, nullptr), "mutex"},
        {CreateSemaphoreW(nullptr, 0, 1, nullptr), "semaphore"},
        {thread, "thread"},
        {OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()), "process"},
        {CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr), "file"},
        {HANDLE(key), "registry key"},
    };
    std::map<int, std::string> names;
    for (const auto& entry : system_handles())
        if (entry.OwnerPid == GetCurrentProcessId())
            for (const auto& [handle, name] : probes)
                if (HANDLE(ULONG_PTR(entry.HandleValue)) == handle) names[entry.ObjectType] = name;
    for (const auto& [handle, name] : probes)
        if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return names;
}

// The process's handles by type name ("event", or "type N" for one not learned).
std::map<std::string, DWORD> handles_by_type(DWORD pid) {
    static const std::map<int, std::string> names = type_names();
    std::map<std::string, DWORD> types;
    for (const auto& entry : system_handles()) {
        if (entry.OwnerPid != pid) continue;
        auto name = names.find(entry.ObjectType);
        ++types[name != names.end() ? name->second : "type " + std::to_string(entry.ObjectType)];
    }
    return types;
}

BOOL CALLBACK count_window(HWND, LPARAM counter) {
    ++*reinterpret_cast<DWORD*>(counter);
    return TRUE;
}

// The process's windows, top-level and child.
DWORD window_count(DWORD pid) {
    struct Count {
        DWORD pid;
        DWORD windows;
    } count{pid, 0};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* c = reinterpret_cast<Count*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != c->pid) return TRUE;
            ++c->windows;
            EnumChildWindows(w, count_window, LPARAM(&c->windows));
            return TRUE;
        },
        LPARAM(&count));
    return count.windows;
}

struct Sample {
    int round = 0;
    DWORD handles = 0;  // GetProcessHandleCount, or the table's count where Wine answers 0
    std::map<std::string, DWORD> types;
    DWORD gdi = 0;
    DWORD user = 0;
    DWORD windows = 0;
};

Sample sample(HANDLE process, DWORD pid, int round) {
    Sample s;
    s.round = round;
    if (!GetProcessHandleCount(process, &s.handles)) fail("GetProcessHandleCount failed");
    s.types = handles_by_type(pid);
    if (s.handles == 0)
        for (const auto& [type, n] : s.types) s.handles += n;
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    s.windows = window_count(pid);
    std::string types;
    for (const auto& [type, n] : s.types) types += (types.empty() ? "" : ", ") + type + " " + std::to_string(n);
    std::fprintf(stderr, "round %4d: handles %lu (%s), GDI objects %lu, USER objects %lu, windows %lu\n", round,
                 s.handles, types.c_str(), s.gdi, s.user, s.windows);
    return s;
}

// Each count that grew, with its object named: "event handles 2 -> 7".
std::string growth(const Sample& first, const Sample& last) {
    std::string out;
    auto note = [&out](const std::string& what, DWORD a, DWORD b) {
        if (b > a) out += (out.empty() ? "" : ", ") + what + " " + std::to_string(a) + " -> " + std::to_string(b);
    };
    for (const auto& [type, n] : last.types) {
        auto before = first.types.find(type);
        note(type + " handles", before == first.types.end() ? 0 : before->second, n);
    }
    note("GDI objects", first.gdi, last.gdi);
    note("USER objects", first.user, last.user);
    note("windows", first.windows, last.windows);
    return out;
}

// A GUI count of 0 in a process that has windows is one Wine does not keep.
std::string gui_count(DWORD n) { return n ? std::to_string(n) : "n/a"; }

void put(const char* which, const Sample& s) {
    std::printf("wine_soak_handles_%s %lu\nwine_soak_gdi_%s %s\nwine_soak_user_%s %s\nwine_soak_windows_%s %lu\n",
                which, s.handles, which, gui_count(s.gdi).c_str(), which, gui_count(s.user).c_str(), which, s.windows);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 0;
    int every = argc > 2 ? std::atoi(argv[2]) : 10;
    if (rounds < 1 || every < 1) {
        std::fprintf(stderr, "usage: winesoak.exe ROUNDS [SAMPLE]\n");
        return 2;
    }
    wait_for([] { return main_window() && zel::control::is_open(); }, "found pendrel.exe with the reader open");
    HWND main = main_window();
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process) fail("pendrel.exe could not be opened for its counts");
    int serial = 0;
    Sample first, last;
    for (int i = 1; i <= rounds; ++i) {
        run_round(main, pid, serial);
        if (i == 1)
            first = last = sample(process, pid, i);
        else if (i % every == 0 || i == rounds)
            last = sample(process, pid, i);
    }
    std::printf("wine_soak_rounds %d\nwine_soak_reads %d\n", rounds, serial);
    put("first", first);
    put("last", last);
    std::string grew = growth(first, last);
    if (!grew.empty()) std::printf("wine_soak_growth %s\n", grew.c_str());
    return 0;
}
