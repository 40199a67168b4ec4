// The soak's round of the operator's actions and its account of growth.
#include "soak.hpp"

#include "../res/resource.h"
#include "table.hpp"

namespace runner::soak {
namespace {

void act(Device& device, const std::string& line) {
    auto command = parse_line(line, "soak", 1);
    try {
        device.run(*command);
    } catch (const ScriptError& e) {
        throw ScriptError(std::string(e.what()) + " (soak: " + line + ")");
    }
}

// Reads of 1 to 40 letters and digits, scanned one by one; the target then
// holds them all.
void scan_reads(Device& device, int count, const std::string& target, std::mt19937& random) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<int> length(1, 40);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof chars - 2);
    std::string all;
    for (int i = 0; i < count; ++i) {
        std::string read(std::size_t(length(random)), ' ');
        for (char& c : read) c = chars[pick(random)];
        act(device, "scan \"" + read + "\"");
        all += read;
    }
    if (count) act(device, "expect text " + target + " \"" + all + "\"");
}

std::string command(int id) { return std::to_string(id); }

}  // namespace

link::Process* launch(Device& device) {
    auto* pendrel = device.launch_process(device.launch());
    act(device, "sync");
    for (const char* state : {"expect tray 1", "expect worker running", "expect reader open"}) act(device, state);
    return pendrel;
}

void run_round(Device& device, const Round& round, std::mt19937& random) {
    scan_reads(device, round.memo_reads, "memo", random);
    link::set_text(device.memo_edit(), u"");
    for (int i = 0; i < round.popups; ++i) {
        act(device, "tap tray");
        act(device, "expect popup open");
        act(device, "popup none");
        act(device, "expect popup closed");
    }
    act(device, "post " + command(IDM_TRAY_RESTORE));
    act(device, "expect window shown");
    act(device, "menu " + command(IDM_EXEC_DISPLAY));
    act(device, "expect dialog " + command(IDD_READDISPLAY));
    scan_reads(device, round.display_reads, command(IDC_READ_DATA), random);
    act(device, "press cancel");
    act(device, "expect dialog none");
    act(device, "expect worker stopped");
    act(device, "menu " + command(IDM_ABOUT));
    act(device, "expect dialog " + command(IDD_ABOUT));
    act(device, "press ok");
    act(device, "expect dialog none");
    act(device, "menu " + command(IDM_EXEC_KEYOUT));
    act(device, "expect window hidden");
    act(device, "expect tray 1");
    link::trace_clear();  // a soak would otherwise keep every call it made, and every read
    link::ledger_clear();
    scans().clear();
}

std::string describe(const link::Holdings& h) {
    std::size_t total = 0;
    std::string types;
    for (const auto& [type, n] : h.handles) {
        total += n;
        types += (types.empty() ? "" : ", ") + type + " " + std::to_string(n);
    }
    return "handles " + std::to_string(total) + (types.empty() ? "" : " (" + types + ")") + ", windows " +
           std::to_string(h.windows) + ", menus " + std::to_string(h.menus) + ", GDI objects " +
           std::to_string(h.gdi_objects);
}

std::string growth(const link::Holdings& first, const link::Holdings& last) {
    std::string out;
    auto note = [&out](const std::string& what, std::size_t a, std::size_t b) {
        if (b > a) out += (out.empty() ? "" : ", ") + what + " " + std::to_string(a) + " -> " + std::to_string(b);
    };
    for (const auto& [type, n] : last.handles) {
        auto before = first.handles.find(type);
        note(type + " handles", before == first.handles.end() ? 0 : before->second, n);
    }
    note("windows", first.windows, last.windows);
    note("menus", first.menus, last.menus);
    note("GDI objects (paint DCs)", first.gdi_objects, last.gdi_objects);
    return out;
}

}  // namespace runner::soak
