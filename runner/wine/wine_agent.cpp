// wineagent.exe as a child process: its pipes, its answers, its end.
#include "wine_backend.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

namespace runner {
namespace {

using namespace std::chrono_literals;

constexpr auto answer_limit = 30s;
constexpr auto end_limit = 20s;  // the agent's own bound for its launches is 10 s

// Processes of this user whose command line starts with `name` (Wine names
// a process after its Windows path).
std::vector<int> processes_named(const std::string& name) {
    std::vector<int> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string command((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (command.compare(0, name.size(), name) == 0) found.push_back(std::stoi(pid));
    }
    return found;
}

// Polls `done` until it holds or `limit` passes; whether it held.
template <typename Condition>
bool poll_until(Condition done, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

}  // namespace

WineAgent::WineAgent(const std::filesystem::path& agent, const std::string& app_windows_path,
                     const std::string& key_log_windows_path)
    : app_(app_windows_path) {
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) throw std::runtime_error("cannot make pipes to the Wine agent");
    std::string agent_path = agent.string();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        close(to[1]);
        close(from[0]);
        const char* key_log = key_log_windows_path.empty() ? nullptr : key_log_windows_path.c_str();
        execlp("wine", "wine", agent_path.c_str(), app_windows_path.c_str(), key_log, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    to_ = fdopen(to[1], "w");
    from_ = from[0];
    try {
        answer("");  // its "ok ready"
    } catch (...) {
        std::fclose(to_);
        close(from_);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw;
    }
}

WineAgent::~WineAgent() {
    try {
        finish();
    } catch (const std::exception& e) {
        std::cerr << "pendrel-device: " << e.what() << "\n";
    }
    if (pid_ > 0) {  // it would not end
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void WineAgent::finish() {
    if (!to_) return;
    std::string failure;
    try {
        request("quit");  // answered once every launch has ended
    } catch (const std::exception& e) {
        failure = std::string("the Wine agent could not end its launches: ") + e.what();
    }
    std::fclose(to_);
    to_ = nullptr;
    bool agent_ended = poll_until([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, end_limit);
    if (agent_ended) pid_ = -1;
    close(from_);
    from_ = -1;
    if (!agent_ended) throw std::runtime_error("the Wine agent was still running 20 s after it was asked to quit");
    // A launch is gone for Windows before its Unix process has quite ended.
    std::vector<int> left;
    if (!poll_until([&] { return (left = processes_named(app_)).empty(); }, end_limit)) {
        std::string pids;
        for (int p : left) pids += " " + std::to_string(p);
        failure += (failure.empty() ? "" : "; ") + app_ + " still running 20 s after the session ended (pid" + pids + ")";
    }
    if (!failure.empty()) throw std::runtime_error(failure);
}

std::string WineAgent::request(const std::string& line) {
    std::fputs((line + "\n").c_str(), to_);
    std::fflush(to_);
    return answer(line);
}

std::string WineAgent::answer(const std::string& line) {
    auto deadline = std::chrono::steady_clock::now() + answer_limit;
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string reply = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!reply.empty() && reply.back() == '\r') reply.pop_back();
            if (reply == "ok" || reply.rfind("ok ", 0) == 0) return reply.size() > 3 ? reply.substr(3) : "";
            if (reply.rfind("error ", 0) == 0) throw std::invalid_argument(reply.substr(6));
            continue;  // Wine's own chatter
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{from_, POLLIN, 0};
        char buffer[4096];
        ssize_t got = left.count() > 0 && poll(&p, 1, int(left.count())) > 0 ? read(from_, buffer, sizeof buffer) : -1;
        if (got <= 0)
            throw Broken("the Wine agent " + std::string(got == 0 ? "ended" : "did not answer") +
                                     (line.empty() ? " at its start" : " on '" + line + "'"));
        pending_.append(buffer, size_t(got));
    }
}

}  // namespace runner
