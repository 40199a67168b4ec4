// The expectation switch: what each `expect` form checks on the emulated device.
#include "device.hpp"

namespace runner {
namespace {

std::string shown(const std::u16string& s) { return link::quoted(s); }

std::string process_state(const link::Process* p) {
    auto s = link::state_of(p);
    if (!s.ended) return s.party + " is running";
    return s.party + " exited with code " + std::to_string(s.exit_code);
}

}  // namespace

void Device::expect(const Command& c) {
    auto failed = [&c](const std::string& wanted, const std::string& seen) {
        throw ScriptError(c.where + ": expected " + wanted + ", saw " + seen);
    };
    auto process = [&](std::optional<long long> launch) {
        link::Process* p = target(launch);
        if (!p) throw ScriptError(c.where + ": no such launch of Pendrel");
        return p;
    };
    switch (c.expect) {
    case Expect::text: {
        HWND w = memo_edit_;
        if (c.number) {
            HWND dialog = link::open_dialog();
            if (!dialog) failed("control " + std::to_string(*c.number) + " of an open dialog", "no dialog");
            w = link::child_by_id(dialog, int(*c.number));
            if (!w) failed("control " + std::to_string(*c.number), "a dialog without it");
        }
        auto want = link::utf16(c.data);
        auto seen = link::text_of(w);
        if (seen != want) failed("text " + shown(want), shown(seen));
        break;
    }
    case Expect::window: {
        HWND w = pendrel_window(c.launch);
        if (!w) failed("Pendrel's window " + c.text, "no window (" + process_state(process(c.launch)) + ")");
        std::string seen = link::is_visible(w) ? "shown" : "hidden";
        if (seen != c.text) failed("the window " + c.text, "it " + seen);
        break;
    }
    case Expect::tray: {
        size_t icons = link::tray_icon_count();
        if (static_cast<long long>(icons) != *c.number)
            failed(std::to_string(*c.number) + " tray icon(s)", std::to_string(icons));
        break;
    }
    case Expect::messagebox: {
        auto box = link::message_box();
        if (c.text == "none") {
            if (box) failed("no message box", shown(box->caption) + " " + shown(box->text));
            break;
        }
        auto text = link::utf16(c.text), caption = link::utf16(c.data);
        if (!box) failed("message box " + shown(caption) + " " + shown(text), "none");
        if (box->text != text || box->caption != caption)
            failed("message box " + shown(caption) + " " + shown(text), shown(box->caption) + " " + shown(box->text));
        break;
    }
    case Expect::exit: {
        link::Process* p = c.launch ? process(c.launch) : latest();
        if (!p) failed("an exit", "nothing launched");
        std::string want = link::state_of(p).party + " exited with code " + std::to_string(*c.number);
        std::string seen = process_state(p);
        if (seen != want) failed(want, seen);
        break;
    }
    case Expect::running: {
        link::Process* p = c.launch ? process(c.launch) : latest();
        if (!p) failed("a running Pendrel", "nothing launched");
        std::string party = link::state_of(p).party;
        std::string seen = process_state(p);
        if (seen != party + " is running") failed(party + " running", seen);
        break;
    }
    case Expect::reader: {
        std::string seen = link::reader_open() ? "open" : "closed";
        if (seen != c.text) failed("the reader " + c.text, seen);
        break;
    }
    case Expect::mode: {
        int seen = link::buffer_mode();
        if (seen != *c.number) failed("buffer mode " + std::to_string(*c.number), std::to_string(seen));
        break;
    }
    case Expect::trace: {
        for (const auto& r : link::trace_records())
            if ((r.party + ": " + r.text).find(c.text) != std::string::npos) return;
        failed("a trace line containing " + escape(c.text), "none");
        break;
    }
    case Expect::dialog: {
        HWND dialog = link::open_dialog();
        int seen = dialog ? link::dialog_template_id(dialog) : 0;
        std::string seen_text = dialog ? "dialog " + std::to_string(seen) : "no dialog";
        std::string want = c.number ? "dialog " + std::to_string(*c.number) : "no dialog";
        if (seen_text != want) failed(want, seen_text);
        break;
    }
    case Expect::popup: {
        std::string seen = link::open_popup() ? "open" : "closed";
        if (seen != c.text) failed("the popup " + c.text, seen);
        break;
    }
    case Expect::worker: {
        // Pendrel runs its UI thread and, at most, the reader worker.
        auto s = link::state_of(process(std::nullopt));
        std::string seen = !s.ended && s.live_threads > 1 ? "running" : "stopped";
        if (seen != c.text) failed("the worker " + c.text, seen);
        break;
    }
    }
}

}  // namespace runner
