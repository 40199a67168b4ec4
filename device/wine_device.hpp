// The Win32 build under Wine as a device: the same script commands, carried
// out by wineagent.exe (the memo, launches, window and driver queries) in
// the running Wine session.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "script.hpp"

namespace device {

// Scripts that cannot run under Wine say why in a leading comment line
// "# wine: skip — WHY"; empty when the script has none.
std::string wine_skip_reason(std::istream& script);

struct WineOptions {
    std::filesystem::path build;    // the Win32 build: pendrel.exe, TOLVEN.dll, wineagent.exe
    std::ostream* out = nullptr;    // notes on commands Wine cannot show; null: not printed
    // Each expect line's outcome, "held", "skipped: WHY" or the failure message.
    std::function<void(const std::string& where, const std::string& outcome)> observe;
};

class WineDevice {
public:
    // Needs a running Wine session (WINEPREFIX and DISPLAY set).
    explicit WineDevice(WineOptions options);
    ~WineDevice();
    WineDevice(const WineDevice&) = delete;
    WineDevice& operator=(const WineDevice&) = delete;

    bool run(const Command& command);  // false after quit; throws ScriptError
    void run_script(std::istream& in, const std::string& file);

private:
    std::string request(const std::string& line);  // the agent's answer after "ok", or throws
    std::string ask(const Command& c, const std::string& line, const std::string& error_meaning);
    void expect(const Command& c);
    void settle();

    WineOptions options_;
    std::filesystem::path drive_c_;
    int agent_pid_ = -1;
    std::FILE* to_agent_ = nullptr;
    int from_agent_ = -1;
    std::string pending_;
};

}  // namespace device
