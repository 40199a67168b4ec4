// The expect table: each form's arguments, its help, how it is judged, and
// what the emulated device and the Wine backend show of it.
#include "../reader/zel.h"
#include "../res/resource.h"
#include "table.hpp"

#include <algorithm>

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

// Empty when the text ends with every accepted read of the latest burst, in
// order; else where it departs from them.
std::string burst_in(const std::string& seen) {
    if (burst_start() >= scans().size()) return "no burst was scanned";
    if (!seen.starts_with('"')) return differ("a field holding the burst", seen);
    std::string reads;
    for (auto s = scans().begin() + std::ptrdiff_t(burst_start()); s != scans().end(); ++s)
        if (s->accepted) reads += s->data;
    std::string want = escape(reads), text = seen;
    want = want.substr(1, want.size() - 2);
    text = text.substr(1, text.size() - 2);
    if (text.ends_with(want)) return "";
    std::size_t from = text.size() > want.size() ? text.size() - want.size() : 0, k = 0;
    while (from + k < text.size() && k < want.size() && text[from + k] == want[k]) ++k;
    return differ("the text to end with the burst's " + std::to_string(reads.size()) + " characters",
                  "a text of " + std::to_string(text.size()) + " characters that departs from them at " +
                      std::to_string(k) + ": " + escape(text.substr(from + k, 20)) + " for " + escape(want.substr(k, 20)));
}

// What a read became, in words `expect read` takes: "refused", "landed", and
// the kinds of window its keys went to that could not show them; then, after
// " | ", its ledger line.
std::string read_fates(const link::ledger::Read& r) {
    using link::ledger::Where;
    std::string words = !r.refused.empty() ? "refused" : link::ledger::landed_whole(r) ? "landed" : "";
    for (Where where : {Where::hidden, Where::disabled, Where::no_focus})
        for (const auto& x : r.receivers)
            if (x.where == where) {
                words += std::string(" ") + (where == Where::no_focus ? "unfocused" : link::ledger::where_names[int(where)]);
                break;
            }
    return words + " | " + link::ledger::summary_line(r);
}

// "50 reads, all landed", "70 reads, 6 refused", or the first read that
// did not land: "50 reads, read 7 (...): accepted; ...".
std::string reads_seen(const Command& c, std::size_t count, std::size_t refused, const std::string& not_landed) {
    std::string out = std::to_string(count) + " reads, ";
    if (c.text == "refused" || refused) return out + std::to_string(refused) + " refused";
    return out + (not_landed.empty() ? "all landed" : not_landed);
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
    // The text of the memo, the editor or a control of the open dialog, as
    // `expect text` compares it, or why there is none.
    static auto text_on_device = [](Device& d, const Command& c) -> std::string {
        HWND w = d.memo_edit();
        if (c.number) {
            HWND dialog = link::open_dialog();
            if (!dialog) return "no dialog";
            if (!(w = link::child_by_id(dialog, int(*c.number)))) return "a dialog without it";
        }
        return link::quoted(link::text_of(w));
    };
    static auto text_on_wine = [](WineBackend& w, const Command& c) -> std::string {
        try {
            return escape(wire::decode(w.request(Request::text, target_word(c))));
        } catch (const std::invalid_argument& e) {
            return e.what();
        }
    };
    static const std::vector<ExpectEntry> table = {
        {"text", {memo_or_control("text target"), string("DATA", Field::data)},
         "the text of the memo, the editor, or control ID of the open dialog",
         [](const Command& c, const std::string& seen) {
             if (seen == "no dialog") return differ("control " + wanted_number(c) + " of an open dialog", seen);
             if (seen == "a dialog without it") return differ("control " + wanted_number(c), seen);
             return agree(escape(c.data), seen, "text " + escape(c.data));
         },
         text_on_device, text_on_wine},
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
        {"read", {number("read number", "N", Field::number), words("read state", {"landed", "refused", "hidden", "disabled", "unfocused"})},
         "read N (in scan order) landed whole and in order, was refused, or sent keys to a hidden or disabled "
         "window or to none",
         [](const Command& c, const std::string& seen) {
             std::string words = " " + seen.substr(0, seen.find(" | ")) + " ";
             if (words.find(" " + c.text + " ") != std::string::npos) return std::string();
             return differ("read " + wanted_number(c) + " " + c.text, seen.substr(seen.find(" | ") + 3));
         },
         [](Device&, const Command& c) -> std::string {
             for (const auto& r : link::reads())
                 if (r.number == std::size_t(*c.number)) return read_fates(r);
             return " | no read " + wanted_number(c);
         },
         nullptr, "under Wine the window each key goes to is not seen"},
        {"reads", {words("reads state", {"landed", "refused"}), number("read count", "COUNT", Field::number)},
         "COUNT reads were scanned and all landed whole and in order, or COUNT of the reads were refused",
         [](const Command& c, const std::string& seen) {
             std::string want = c.text == "landed" ? wanted_number(c) + " reads, all landed"
                                                   : wanted_number(c) + " refused";
             return seen == want || (c.text == "refused" && seen.ends_with(", " + want)) ? "" : differ(want, seen);
         },
         [](Device&, const Command& c) {
             auto reads = link::reads();
             auto refused = std::count_if(reads.begin(), reads.end(), [](auto& r) { return !r.refused.empty(); });
             auto failed = std::find_if(reads.begin(), reads.end(), [](auto& r) { return !link::ledger::landed_whole(r); });
             return reads_seen(c, reads.size(), std::size_t(refused),
                               failed == reads.end() ? "" : link::ledger::summary_line(*failed));
         },
         // Under Wine the reader's side is seen, not where each key went:
         // `expect burst` shows the field's side.
         [](WineBackend&, const Command& c) {
             auto refused = std::count_if(scans().begin(), scans().end(), [](auto& s) { return !s.accepted; });
             return reads_seen(c, scans().size(), std::size_t(refused), "");
         }},
        {"burst", {memo_or_control("burst target")},
         "the memo, the editor, or control ID of the open dialog ends with every read of the latest burst that "
         "the reader accepted, in order",
         [](const Command&, const std::string& seen) { return seen; },
         [](Device& d, const Command& c) { return burst_in(text_on_device(d, c)); },
         [](WineBackend& w, const Command& c) { return burst_in(text_on_wine(w, c)); }},
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
