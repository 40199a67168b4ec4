// wineagent.exe as a child process: its pipes, its answers, its end.
#include "wine_agent.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "script.hpp"

namespace runner {

using namespace std::chrono_literals;

WineAgent::WineAgent(const std::filesystem::path& agent, const std::string& app_windows_path) {
    int to[2], from[2];
    if (pipe(to) != 0 || pipe(from) != 0) throw std::runtime_error("cannot make pipes to the Wine agent");
    std::string agent_path = agent.string();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to[0], 0);
        dup2(from[1], 1);
        close(to[1]);
        close(from[0]);
        execlp("wine", "wine", agent_path.c_str(), app_windows_path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to[0]);
    close(from[1]);
    to_ = fdopen(to[1], "w");
    from_ = from[0];
    answer("");  // its "ok ready"
}

WineAgent::~WineAgent() {
    if (to_) {
        std::fputs("quit\n", to_);
        std::fclose(to_);
    }
    if (from_ >= 0) close(from_);
    if (pid_ > 0) {
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(50ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string WineAgent::request(const std::string& line) {
    std::fputs((line + "\n").c_str(), to_);
    std::fflush(to_);
    return answer(line);
}

std::string WineAgent::answer(const std::string& line) {
    auto deadline = std::chrono::steady_clock::now() + 30s;
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
