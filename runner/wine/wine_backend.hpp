// The Wine backend: the same script commands carried out on the Win32 build
// under Wine, through wineagent.exe (the memo, launches, window and driver
// queries) in the running Wine session.
#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "script.hpp"

namespace runner {

class WineAgent;

// Scripts that cannot run under Wine say why in a leading comment line
// "# wine: skip — WHY"; empty when the script has none.
std::string wine_skip_reason(std::istream& script);

struct WineOptions {
    std::filesystem::path build;    // the Win32 build: pendrel.exe, TOLVEN.dll, wineagent.exe
    std::ostream* out = nullptr;    // notes on commands Wine cannot show; null: not printed
    // Each expect line's outcome, "held", "skipped: WHY" or the failure message.
    Observer observe;
};

class WineBackend {
public:
    // Needs a running Wine session (WINEPREFIX and DISPLAY set).
    explicit WineBackend(WineOptions options);
    ~WineBackend();
    WineBackend(const WineBackend&) = delete;
    WineBackend& operator=(const WineBackend&) = delete;

    bool run(const Command& command);  // false after quit; throws ScriptError
    void run_script(std::istream& in, const std::string& file);

private:
    std::string request(const std::string& line);
    std::string ask(const Command& c, const std::string& line, const std::string& error_meaning);
    void expect(const Command& c);
    std::string check(const Command& c);  // the failure message; empty when it holds
    void settle();

    WineOptions options_;
    std::filesystem::path drive_c_;
    std::unique_ptr<WineAgent> agent_;
};

}  // namespace runner
