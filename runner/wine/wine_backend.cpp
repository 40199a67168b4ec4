// The Wine backend's command and expectation switches: script commands
// turned into wineagent.exe requests.
#include "wine_backend.hpp"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "device_files.hpp"
#include "wine_agent.hpp"
#include "wine_wire.hpp"

namespace runner {
namespace {

using namespace std::chrono_literals;

constexpr long long default_wait_ms = 5000;
// Wine shows outcomes a little later than the emulated device's quiet point:
// an expectation is looked at again until it holds or this much has passed.
constexpr auto expect_patience = 3s;

std::string windows_path(const std::filesystem::path& unix_path) {
    std::string out = "Z:";
    for (char c : std::filesystem::absolute(unix_path).lexically_normal().string()) out += c == '/' ? '\\' : c;
    return out;
}

std::string word(const std::string& text, int n) {
    size_t begin = 0;
    for (int i = 0; i < n && begin != std::string::npos; ++i) {
        begin = text.find(' ', begin);
        if (begin != std::string::npos) ++begin;
    }
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find(' ', begin) - begin);
}

// A real click of the X server at "X Y" of the Wine desktop (which starts
// at the screen's origin); nothing for an empty point.
void click_at(const std::string& point) {
    if (point.empty()) return;
    std::string command = "xdotool mousemove " + point + " click 1 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("xdotool could not click at " + point);
}

}  // namespace

std::string wine_skip_reason(std::istream& script) {
    const std::string marker = "# wine: skip";
    std::string line;
    while (std::getline(script, line) && line.rfind('#', 0) == 0) {
        if (line.rfind(marker, 0) != 0) continue;
        std::string why = line.substr(marker.size());
        size_t start = why.find_first_not_of(" \t-:\xE2\x80\x94");  // spaces, dashes, an em dash's bytes
        return start == std::string::npos ? "no reason given" : why.substr(start);
    }
    return "";
}

WineBackend::WineBackend(WineOptions options) : options_(std::move(options)) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !std::getenv("DISPLAY"))
        throw std::runtime_error("--wine needs a running Wine session: WINEPREFIX and DISPLAY must be set "
                                 "(tests/wine/scenarios.sh starts one)");
    drive_c_ = std::filesystem::path(prefix) / "drive_c";
    for (const char* file : {"pendrel.exe", "TOLVEN.dll", "wineagent.exe"})
        if (!std::filesystem::exists(options_.build / file))
            throw std::runtime_error("the Win32 build " + options_.build.string() + " has no " + file);
    // The device's flash folder starts empty, as on a freshly booted device.
    std::filesystem::remove_all(drive_c_ / "FlashDisk");
    agent_ = std::make_unique<WineAgent>(options_.build / "wineagent.exe", windows_path(options_.build / "pendrel.exe"));
}

WineBackend::~WineBackend() = default;

std::string WineBackend::request(const std::string& line) { return agent_->request(line); }

// A request whose refusal means `error_meaning` for this command.
std::string WineBackend::ask(const Command& c, const std::string& line, const std::string& error_meaning) {
    try {
        return request(line);
    } catch (const std::invalid_argument&) {
        throw ScriptError(c.where + ": " + error_meaning);
    }
}

void WineBackend::settle() { request("settle"); }

bool WineBackend::run(const Command& c) {
    auto fail = [&c](const std::string& message) { throw ScriptError(c.where + ": " + message); };
    bool acts = true;
    try {
        switch (c.op) {
        case Op::file: {
            auto path = host_path(drive_c_, c.text);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << c.data;
            acts = false;
            break;
        }
        case Op::remove:
            std::filesystem::remove(host_path(drive_c_, c.text));
            acts = false;
            break;
        case Op::launch: request("launch"); break;
        case Op::scan:
            try {
                request("scan " + wire::encode(c.text));
            } catch (const std::invalid_argument&) {
                // a refused scan is the operator's problem, not the script's, as on the device
            }
            break;
        case Op::menu:
            ask(c, "menu " + std::to_string(*c.number),
                "no command bar on the screen carries command " + std::to_string(*c.number));
            break;
        case Op::key: {
            std::string line = "keys";
            for (auto s : strokes_of(c.chord)) line += " " + std::to_string(s.vk) + (s.up ? "u" : "");
            request(line);
            break;
        }
        case Op::type:
            try {
                request("type " + wire::encode(c.text));
            } catch (const std::invalid_argument& e) {
                fail("no key of the device keyboard types " + escape(wire::decode(word(e.what(), 4))));
            }
            break;
        case Op::focus:
            if (c.number && request("dialog") == "none") fail("no dialog is open");
            ask(c, "focus " + (c.number ? std::to_string(*c.number) : c.text),
                "the open dialog has no control " + std::to_string(c.number.value_or(0)));
            break;
        case Op::tap_tray: {
            long long n = c.number.value_or(1);
            click_at(ask(c, "tap " + std::to_string(n), "the tray has no icon " + std::to_string(n)));
            break;
        }
        case Op::post: ask(c, "post " + std::to_string(*c.number), "Pendrel has no window to post to"); break;
        case Op::answer: {
            std::string box = request("messagebox");
            if (box == "none") fail("no message box is open");
            int id = c.text == "ok" ? 1 : c.text == "cancel" ? 2 : 4;
            ask(c, "answer " + std::to_string(id),
                "the message box " + escape(wire::decode(word(box, 0))) + " has no " + c.text);
            break;
        }
        case Op::popup:
            if (request("popup") != "open") fail("no popup menu is open");
            click_at(ask(c, "choose " + (c.number ? std::to_string(*c.number) : c.text),
                         "under Wine only a popup menu of one item can be chosen from"));
            break;
        case Op::press:
            ask(c, std::string("press ") + (c.text == "ok" ? "1" : "2"), "no dialog is open");
            break;
        case Op::fail: {
            if (c.text != "ZELOpen" && c.text != "ZELChangeBuffMode")
                fail("fail " + c.text + ": only the emulated device can make that call fail");
            long long fallback = c.text == "ZELOpen" ? 0xFFFF0705LL : 1;
            request(std::string("fail ") + (c.text == "ZELOpen" ? "open " : "buffmode ") +
                    std::to_string(c.number.value_or(fallback) & 0xFFFFFFFFLL));
            acts = false;
            break;
        }
        case Op::sync:
            settle();
            acts = false;
            break;
        case Op::wait:
            std::this_thread::sleep_for(std::chrono::milliseconds(*c.number));
            acts = false;
            break;
        case Op::wait_exit: {
            long long ms = c.number.value_or(default_wait_ms);
            std::string state = ask(c, "wait-exit " + std::to_string(ms), "nothing was launched");
            if (state == "timeout") fail("the latest launch did not exit within " + std::to_string(ms) + " ms");
            acts = false;
            break;
        }
        case Op::screen:
            if (options_.out) *options_.out << c.where << ": screen: not drawn under Wine\n" << std::flush;
            acts = false;
            break;
        case Op::expect:
            observed(options_.observe, c.where, c.expect == Expect::trace ? "skipped" : "held", [&] { expect(c); });
            acts = false;
            break;
        case Op::quit: return false;
        }
    } catch (const std::filesystem::filesystem_error& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw ScriptError(c.where + ": " + e.what());
    }
    if (acts) settle();
    return true;
}

void WineBackend::expect(const Command& c) {
    if (c.expect == Expect::trace) {
        if (options_.out) *options_.out << c.where << ": SKIPPED under Wine: expect trace (the trace is the emulated device's)\n";
        return;
    }
    auto deadline = std::chrono::steady_clock::now() + expect_patience;
    for (;;) {
        std::string failure = check(c);
        if (failure.empty()) return;
        if (std::chrono::steady_clock::now() >= deadline) throw ScriptError(c.where + ": " + failure);
        std::this_thread::sleep_for(100ms);
    }
}

// Looks once at what the expectation is about.
std::string WineBackend::check(const Command& c) {
    auto failed = [](const std::string& wanted, const std::string& seen) {
        return "expected " + wanted + ", saw " + seen;
    };
    std::string launch = c.launch ? std::to_string(*c.launch) : "0";
    switch (c.expect) {
    case Expect::text: {
        std::string seen;
        try {
            seen = wire::decode(request("text " + (c.number ? std::to_string(*c.number) : c.text)));
        } catch (const std::invalid_argument& e) {
            return std::string(e.what()) == "no dialog"
                       ? failed("control " + std::to_string(*c.number) + " of an open dialog", "no dialog")
                       : failed("control " + std::to_string(*c.number), "a dialog without it");
        }
        return seen == c.data ? "" : failed("text " + escape(c.data), escape(seen));
    }
    case Expect::window: {
        std::string seen = request("window " + launch);
        if (seen == "none") {
            if (request("process " + launch) == "none") throw ScriptError(c.where + ": no such launch of Pendrel");
            return failed("Pendrel's window " + c.text, "no window");
        }
        return seen == c.text ? "" : failed("the window " + c.text, "it " + seen);
    }
    case Expect::tray: {
        std::string seen = request("tray");
        return seen == std::to_string(*c.number) ? "" : failed(std::to_string(*c.number) + " tray icon(s)", seen);
    }
    case Expect::messagebox: {
        std::string box = request("messagebox");
        std::string seen = box == "none" ? "none" : escape(wire::decode(word(box, 0))) + " " + escape(wire::decode(word(box, 1)));
        std::string want = c.text == "none" ? "none" : escape(c.data) + " " + escape(c.text);
        if (seen == want) return "";
        return c.text == "none" ? failed("no message box", seen) : failed("message box " + want, seen);
    }
    case Expect::exit:
    case Expect::running: {
        std::string which = c.launch ? launch : "latest";
        std::string state = request("process " + which);
        if (state == "none") {
            if (c.launch) throw ScriptError(c.where + ": no such launch of Pendrel");
            return c.expect == Expect::exit ? failed("an exit", "nothing launched")
                                            : failed("a running Pendrel", "nothing launched");
        }
        std::string party = "pendrel#" + word(state, 0);
        std::string seen = word(state, 1) == "running" ? party + " is running"
                                                       : party + " exited with code " + word(state, 2);
        std::string want = c.expect == Expect::exit ? party + " exited with code " + std::to_string(*c.number)
                                                    : party + " is running";
        return seen == want ? "" : failed(c.expect == Expect::exit ? want : party + " running", seen);
    }
    case Expect::reader: {
        std::string state = request("reader");
        std::string seen = word(state, 1) == "1" ? "open" : "closed";
        return seen == c.text ? "" : failed("the reader " + c.text, seen);
    }
    case Expect::mode: {
        std::string state = request("reader");
        std::string seen = state == "none" ? "no driver loaded" : word(state, 3);
        return seen == std::to_string(*c.number) ? "" : failed("buffer mode " + std::to_string(*c.number), seen);
    }
    case Expect::dialog: {
        std::string seen = request("dialog");
        std::string seen_text = seen == "none" ? "no dialog" : "dialog " + seen;
        std::string want = c.number ? "dialog " + std::to_string(*c.number) : "no dialog";
        return seen_text == want ? "" : failed(want, seen_text);
    }
    case Expect::popup: {
        std::string seen = request("popup");
        return seen == c.text ? "" : failed("the popup " + c.text, seen);
    }
    case Expect::worker: {
        std::string seen = request("worker");
        return seen == c.text ? "" : failed("the worker " + c.text, seen);
    }
    case Expect::trace: break;
    }
    return "";
}

void WineBackend::run_script(std::istream& in, const std::string& file) {
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        auto c = parse_line(line, file, n);
        if (c && !run(*c)) break;
    }
    agent_->finish();  // the script has passed once nothing it launched runs on
}

}  // namespace runner
