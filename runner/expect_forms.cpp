// The expect table: each form's arguments, its help, how it is judged, and
// what the emulated device and the Wine backend show of it.
#include "../reader/zel.h"
#include "../res/resource.h"
#include "table.hpp"

namespace runner {

using namespace table_parts;
using wire::Request;

namespace {

const char* const no_launch = "no such launch of Pendrel";
Param launch_number() { return number("launch number", "N", Field::launch, true); }

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
         "the text of the memo, the editor, or control ID of the open dialog",
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
         [](Device&, const Command&) -> std::string { return link::reader::is_open() ? "open" : "closed"; },
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
         [](Device&, const Command&) { return std::to_string(link::reader::buffer_mode()); },
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

}  // namespace runner
