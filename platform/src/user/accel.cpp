// Keyboard accelerators: tables from resources, and TranslateAcceleratorW.
#include "user/resources.hpp"
#include "user/user_internal.hpp"

namespace pf::user {

namespace {

struct AccelTable {
    std::vector<ACCEL> entries;
};

std::vector<std::unique_ptr<AccelTable>>& accel_tables() {
    static auto& tables = *new std::vector<std::unique_ptr<AccelTable>>;
    return tables;
}

AccelTable* find_accel_locked(HACCEL h) {
    for (auto& t : accel_tables())
        if (reinterpret_cast<HACCEL>(t.get()) == h) return t.get();
    return nullptr;
}

// The command of the table entry that msg triggers, if any.
std::optional<WORD> match_accel_locked(const AccelTable& t, const MSG& m, const Queue& q) {
    bool shift = q.keys[VK_SHIFT] & 0x80, ctrl = q.keys[VK_CONTROL] & 0x80;
    bool alt = (q.keys[VK_MENU] & 0x80) || m.message == WM_SYSKEYDOWN || m.message == WM_SYSCHAR;
    for (const ACCEL& a : t.entries) {
        if (a.fVirt & FVIRTKEY) {
            if (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN) continue;
            if (a.key != (m.wParam & 0xFF)) continue;
            if (bool(a.fVirt & FSHIFT) != shift || bool(a.fVirt & FCONTROL) != ctrl || bool(a.fVirt & FALT) != alt)
                continue;
            return a.cmd;
        }
        // A character: Alt entries match WM_SYSCHAR, the others WM_CHAR.
        if (m.message != WM_CHAR && m.message != WM_SYSCHAR) continue;
        if (a.key != m.wParam) continue;
        if (bool(a.fVirt & FALT) != (m.message == WM_SYSCHAR)) continue;
        return a.cmd;
    }
    return std::nullopt;
}

}  // namespace

}  // namespace pf::user

using namespace pf;
using namespace pf::user;

HACCEL WINAPI LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name) {
    auto table = load_accelerator_table(instance, ResId::from(name));
    HACCEL h = nullptr;
    Lock lock = enter_call();
    if (!table) {
        set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
    } else {
        auto t = std::make_unique<AccelTable>();
        t->entries = std::move(*table);
        h = reinterpret_cast<HACCEL>(t.get());
        accel_tables().push_back(std::move(t));
        name_handle_locked(h, "haccel#" + std::to_string(accel_tables().size()));
    }
    trace(call_str("LoadAcceleratorsW", {handle_name(instance), ResId::from(name).str()}, handle_name(h)));
    return h;
}

int WINAPI TranslateAcceleratorW(HWND hwnd, HACCEL haccel, LPMSG msg) {
    std::optional<WORD> cmd;
    std::string line;
    {
        Lock lock = enter_call();
        AccelTable* t = find_accel_locked(haccel);
        Window* w = from_hwnd(hwnd);
        if (t && msg && w && w->enabled()) cmd = match_accel_locked(*t, *msg, *current_queue_locked());
        if (cmd || trace_wanted(true))
            line = "TranslateAcceleratorW(" + wnd_str_locked(hwnd) + ", " + handle_name(haccel) + ", " +
               msg_str_locked(msg) + ") = " + (cmd ? "1" : "0");
    }
    if (!cmd) {
        trace_poll(line);
        return 0;
    }
    trace(line);
    send_internal(hwnd, WM_COMMAND, MAKEWPARAM(*cmd, 1), 0);
    return 1;
}
