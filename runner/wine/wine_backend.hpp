// The Wine backend: the same script commands carried out on the Win32 build
// under Wine, through wineagent.exe (the memo, launches, window and driver
// queries) in the running Wine session.
#pragma once

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "script.hpp"
#include "wine_wire.hpp"

namespace runner {

// Scripts that cannot run under Wine say why in a leading comment line
// "# wine: skip — WHY"; empty when the script has none; a ScriptError when
// the reason is missing.
std::string wine_skip_reason(std::istream& script, const std::string& file);

struct WineOptions {
    std::filesystem::path build;    // the Win32 build: pendrel.exe, TOLVEN.dll, tolvenhost.exe, wineagent.exe, quiethook.dll
    std::ostream* out = nullptr;    // notes on commands Wine cannot show; null: not printed
    std::filesystem::path key_log;  // where the memo's key messages go (as --key-log); empty: nowhere
    // Each expect line's outcome, "held", "skipped: WHY" or the failure message.
    Observer observe;
};

// Carries the commands out through wineagent.exe, the runner's helper inside
// the Wine session, a child process: one request a line, answered
// "ok [VALUE]" or "error WHY".
class WineBackend {
public:
    // Needs a running Wine session (WINEPREFIX and DISPLAY set); throws when
    // the agent does not greet.
    explicit WineBackend(WineOptions options);
    ~WineBackend();  // finish(), its failure printed; kills the agent if it does not end
    WineBackend(const WineBackend&) = delete;
    WineBackend& operator=(const WineBackend&) = delete;

    bool run(const Command& command);  // false after quit; throws ScriptError
    // What Wine itself failed at and was tried once more (a launch that never
    // reached pendrel.exe's entry point); empty when nothing. A script with
    // a retry is never counted as passed.
    const std::vector<std::string>& retried() const { return retried_; }
    // Asks the agent to end every program it launched and then itself, and
    // returns once they are gone, so that the next script starts from
    // nothing. Throws std::runtime_error naming what still runs after the bound.
    void finish();

private:
    friend struct Table;  // the tables' actions (commands.cpp, expect_forms.cpp)
    static constexpr const char* name = "Wine";
    // The agent's answer; a refusal throws std::invalid_argument with its
    // reason; silence or an ended agent throws Broken.
    std::string request(wire::Request r, const std::string& args = "");
    // A request whose refusal means `meaning` for the script.
    std::string ask(wire::Request r, const std::string& args, const std::string& meaning);
    const std::filesystem::path& files() const { return drive_c_; }
    void note(const std::string&) {}  // Wine has no trace to note the operator's actions in
    void launch();  // a launch Wine fails is tried once more, and said so
    // Waits for the quiet point (docs/wine-quiet-point.md), failing after `ms`.
    void sync(long long ms) { request(wire::Request::settle, std::to_string(ms)); }
    void settle() { sync(default_sync_ms); }
    void click(const std::string& point);  // "X Y", from the agent: one tap there, never a double click
    std::string send(const std::string& line);    // one line to the agent; what follows its "ok"
    std::string answer(const std::string& line);  // the next "ok" line; line: for messages only

    struct Click {
        int x, y;
        std::chrono::steady_clock::time_point at;
    };
    WineOptions options_;
    std::vector<Click> recent_clicks_;
    std::vector<std::string> retried_;
    std::filesystem::path drive_c_;
    std::string app_;  // pendrel.exe's Windows path, as its processes are named
    int pid_ = -1;
    std::FILE* to_ = nullptr;
    int from_ = -1;
    std::string pending_;  // read but not yet answered
};

}  // namespace runner
