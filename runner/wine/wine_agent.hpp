// The line protocol with wineagent.exe, the runner's helper inside the Wine
// session: one request a line, answered "ok [VALUE]" or "error WHY".
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace runner {

class WineAgent {
public:
    // Starts `wine AGENT APP [KEY_LOG]` and waits for its greeting; throws
    // std::runtime_error when it does not come.
    WineAgent(const std::filesystem::path& agent, const std::string& app_windows_path,
              const std::string& key_log_windows_path);
    ~WineAgent();  // finish(), its failure printed; kills the agent if it does not end
    WineAgent(const WineAgent&) = delete;
    WineAgent& operator=(const WineAgent&) = delete;

    // Asks the agent to end every program it launched and then itself, and
    // returns once the agent and those programs are gone, so that the next
    // session starts from nothing. Throws std::runtime_error naming what is
    // still running when the bound passes.
    void finish();

    // Sends one line and returns what follows "ok". An "error" answer throws
    // std::invalid_argument with its text; silence or an ended agent throws
    // std::runtime_error.
    std::string request(const std::string& line);

private:
    std::string answer(const std::string& line);  // the next "ok" line; line: for messages only

    std::string app_;  // the program's Windows path, as its processes are named
    int pid_ = -1;
    std::FILE* to_ = nullptr;
    int from_ = -1;
    std::string pending_;  // read but not yet answered
};

}  // namespace runner
