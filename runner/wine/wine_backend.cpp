// The Wine backend: its session, its files, and wineagent.exe as a child
// process (its pipes, its answers, its end); the commands' actions are in
// the tables (commands.cpp, expect_forms.cpp).
#include "wine_backend.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "device.hpp"

namespace runner {
namespace {

using namespace std::chrono_literals;

constexpr auto answer_limit = 30s;  // beyond any wait the agent makes, but a sync's own
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

std::string windows_path(const std::filesystem::path& unix_path) {
    std::string out = "Z:";
    for (char c : std::filesystem::absolute(unix_path).lexically_normal().string()) out += c == '/' ? '\\' : c;
    return out;
}

}  // namespace

WineBackend::~WineBackend() {
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

void WineBackend::finish() {
    if (!to_) return;
    std::string failure;
    try {
        send("quit");  // answered once every launch has ended
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

std::string WineBackend::send(const std::string& line) {
    std::fputs((line + "\n").c_str(), to_);
    std::fflush(to_);
    return answer(line);
}

std::string WineBackend::answer(const std::string& line) {
    // A settle's answer may take as long as the sync it was asked for.
    auto limit = line.rfind(wire::name_of(wire::Request::settle), 0) == 0
                     ? std::max<std::chrono::milliseconds>(answer_limit, std::chrono::milliseconds(std::atoll(
                                                                           line.c_str() + line.find(' ') + 1)) + 10s)
                     : std::chrono::milliseconds(answer_limit);
    auto deadline = std::chrono::steady_clock::now() + limit;
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

std::string wine_skip_reason(std::istream& script, const std::string& file) {
    std::string line;
    for (int n = 1; std::getline(script, line) && line.rfind('#', 0) == 0; ++n) {
        try {
            if (auto why = opt_out_reason(line, opt_out_markers[0])) return *why;
        } catch (const std::invalid_argument& e) {
            throw ScriptError(file + ":" + std::to_string(n) + ": " + e.what());
        }
    }
    return "";
}

WineBackend::WineBackend(WineOptions options) : options_(std::move(options)) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !std::getenv("DISPLAY"))
        throw std::runtime_error("--wine needs a running Wine session: WINEPREFIX and DISPLAY must be set "
                                 "(tests/wine/scenarios.sh starts one)");
    drive_c_ = std::filesystem::path(prefix) / "drive_c";
    for (const char* file : {"pendrel.exe", "TOLVEN.dll", "tolvenhost.exe", "wineagent.exe", "quiethook.dll"})
        if (!std::filesystem::exists(options_.build / file))
            throw std::runtime_error("the Win32 build " + options_.build.string() + " has no " + file);
    // Nothing an earlier script wrote, in whatever letters, reaches this one.
    clear_device_folders(drive_c_);
    // The agent: `wine wineagent.exe APP [KEY_LOG]`, ready once it greets.
    app_ = windows_path(options_.build / "pendrel.exe");
    std::string agent = (options_.build / "wineagent.exe").string();
    std::string key_log = options_.key_log.empty() ? "" : windows_path(options_.key_log);
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) throw std::runtime_error("cannot make pipes to the Wine agent");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        close(to[1]);
        close(from[0]);
        const char* log = key_log.empty() ? nullptr : key_log.c_str();
        execlp("wine", "wine", agent.c_str(), app_.c_str(), log, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    to_ = fdopen(to[1], "w");
    from_ = from[0];
    try {
        answer("");  // its "ok ready"
    } catch (const Broken& e) {
        // How the agent ended says whose failure it was: Wine's launcher, or the agent.
        std::fclose(to_);
        close(from_);
        int status = 0;
        bool ended = waitpid(pid_, &status, WNOHANG) == pid_;
        if (!ended) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
        throw Broken(std::string(e.what()) +
                     (!ended              ? ""
                      : WIFEXITED(status) ? " (wine exited with status " + std::to_string(WEXITSTATUS(status)) + ")"
                                          : " (wine ended by signal " + std::to_string(WTERMSIG(status)) + ")"));
    } catch (...) {
        std::fclose(to_);
        close(from_);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        throw;
    }
}

// A real click of the X server at "X Y" of the Wine desktop; nothing for an
// empty point. A tap is one tap, whatever came before it: Windows takes a
// press within the double-click time and rectangle of the one before (which
// another window may have taken, as a popup's tracking loop does) as a double
// click. So a click moves a few pixels off any click of the last double-click
// time or, with no spot left near its point, waits that time out.
void WineBackend::click(const std::string& point) {
    if (point.empty()) return;
    // Windows' defaults, which the Wine session keeps: GetDoubleClickTime and
    // SM_CXDOUBLECLK / SM_CYDOUBLECLK; two presses closer than half the
    // rectangle's width and height are at one spot.
    constexpr auto double_click_time = std::chrono::milliseconds(500);
    constexpr int half_rectangle = 2;
    constexpr int offsets[] = {0, -3, 3, -6, 6};
    int x = 0, y = 0;
    if (std::sscanf(point.c_str(), "%d %d", &x, &y) != 2) throw Broken("the agent gave no point to click: " + point);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        std::erase_if(recent_clicks_, [&](const Click& c) { return now - c.at >= double_click_time; });
        for (int dx : offsets) {
            bool apart = std::none_of(recent_clicks_.begin(), recent_clicks_.end(), [&](const Click& c) {
                return std::abs(c.x - (x + dx)) < half_rectangle && std::abs(c.y - y) < half_rectangle;
            });
            if (!apart) continue;
            std::string command = "xdotool mousemove " + std::to_string(x + dx) + " " + std::to_string(y) +
                                  " click 1 >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) throw Broken("xdotool could not click at " + point);
            recent_clicks_.push_back({x + dx, y, std::chrono::steady_clock::now()});
            return;
        }
        std::this_thread::sleep_until(recent_clicks_.front().at + double_click_time);
    }
}

void WineBackend::launch() {
    const std::string wine_failed = "launch-failed: ";
    for (int attempt = 1;; ++attempt) {
        try {
            request(wire::Request::launch);
            return;
        } catch (const std::invalid_argument& e) {
            std::string why = e.what();
            if (why.rfind(wine_failed, 0) != 0) throw;
            if (attempt == 2) throw std::runtime_error("Wine failed this launch twice: " + why.substr(wine_failed.size()));
            retried_.push_back(why.substr(wine_failed.size()));
            if (options_.out) *options_.out << "RETRIED: " << retried_.back() << "; launched once more\n" << std::flush;
        }
    }
}

std::string WineBackend::request(wire::Request r, const std::string& args) {
    return send(wire::name_of(r) + (args.empty() ? "" : " " + args));
}

std::string WineBackend::ask(wire::Request r, const std::string& args, const std::string& meaning) {
    try {
        return request(r, args);
    } catch (const std::invalid_argument&) {
        throw std::runtime_error(meaning);
    }
}

}  // namespace runner
