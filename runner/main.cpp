// pendrel-device, the device runner: its command line, the console, and the
// choice between the emulated handheld and the Wine backend.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <optional>

#include "device.hpp"
#include "table.hpp"
#include "wine_backend.hpp"

namespace {

const char usage[] = R"(usage: pendrel-device [--script FILE] [--root DIR] [--trace FILE] [--key-log FILE] [--verbose]
       pendrel-device --wine WIN32_BUILD_DIR --script FILE [--key-log FILE]

Boots the emulated handheld (a 240 x 320 screen with a taskbar and tray, the
device file system under DIR, the simulated reader and the memo application
in front with the focus) and runs commands from FILE or standard input.

  --script FILE  run the commands of FILE (default: standard input)
  --root DIR     the device file system's root folder (default: a fresh
                 temporary folder, removed at the end)
  --trace FILE   write the trace there instead of standard output
  --key-log FILE write every key message the memo receives there, one a
                 line ("down 0x41 shift", "char 0x61", "up 0x5B"); with
                 --wine too, so that the two logs can be compared
  --verbose      include the calls made at every poll
  --wine DIR     run the script against the Win32 build in DIR under the
                 running Wine session instead (expect trace is skipped
                 there; a script whose leading comments hold
                 "# wine: skip — WHY" is skipped whole, with status 77)
  --observations FILE  write each expect line's outcome there: "FILE:LINE
                 held", "FILE:LINE skipped" or the failure message
  --help         this text

Commands, one a line; '#' starts a comment; DATA is a double-quoted string
with the escapes \r \n \t \\ \" \xHH:
)";

const char usage_end[] = R"(
Every command marked * acts on the device and is followed by an implicit
sync, so a script sees the outcome of each action before its next line.
Timed waits of the program (its 50 ms polls, the worker handshake) count as
quiet: use wait-exit or wait MS where an outcome lies behind such a wait.
N names the launch pendrel#N; without it a command is about the oldest launch
still running (exit and running: the latest launch).
A failed expectation or a bad line ends the run with status 1, naming the
file and line.
)";

// Runs `body` and turns how it ended into the exit status: its own result,
// 1 for a failed script line, 2 for anything else.
int exit_status(const std::function<int()>& body) {
    try {
        return body();
    } catch (const runner::ScriptError& e) {
        std::cout << std::flush;
        std::cerr << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "pendrel-device: " << e.what() << "\n";
        return 2;
    }
}

// The script on the Win32 build under Wine: 0 passed, 1 failed, 77 skipped,
// 75 passed only after Wine's own failure to start something was tried again.
int run_on_wine(const std::string& build, const std::string& script, const std::string& key_log,
                runner::Observer observe) {
    std::ifstream in(script);
    if (script.empty() || !in) {
        std::cerr << "pendrel-device: --wine needs a readable --script FILE\n";
        return 2;
    }
    return exit_status([&] {
        std::string why = runner::wine_skip_reason(in, script);
        if (!why.empty()) {
            std::cout << script << ": SKIPPED under Wine: " << why << "\n";
            return 77;
        }
        in.clear();
        in.seekg(0);
        // What Wine shows of every read, whatever the run's outcome: the
        // reader's answer, and where the keyboard was when it was scanned.
        struct Ledger {
            ~Ledger() {
                std::size_t n = 0;
                for (const auto& s : runner::scans())
                    std::cout << "ledger: read " << ++n << " (" << s.data.size() << " bytes): "
                              << (s.accepted ? "accepted; keys to " + s.seen + " when scanned" : s.seen)
                              << "\n";
            }
        } ledger;
        // An agent Wine fails to start is Wine's failure: started once more, and said so.
        std::optional<runner::WineBackend> wine;
        std::vector<std::string> retried;
        for (int attempt = 1; !wine; ++attempt) {
            try {
                wine.emplace(runner::WineOptions{build, &std::cout, key_log, observe});
            } catch (const runner::Broken& e) {
                if (attempt == 2) throw;
                retried.push_back(e.what());
                std::cout << "RETRIED: " << e.what() << "; started once more\n" << std::flush;
            }
        }
        runner::run_lines(in, script, [&wine](const runner::Command& c) { return wine->run(c); });
        wine->finish();
        retried.insert(retried.end(), wine->retried().begin(), wine->retried().end());
        if (retried.empty()) return 0;
        std::cerr << script << ": passed, but Wine failed " << retried.size()
                  << " start(s) that were tried again: not counted as a pass\n";
        return 75;
    });
}

}  // namespace

int main(int argc, char** argv) {
    std::string script, root, trace_file, key_log_file, wine_build, observations_file;
    const std::pair<std::string, std::string*> valued[] = {{"--script", &script}, {"--root", &root},
        {"--trace", &trace_file}, {"--key-log", &key_log_file}, {"--wine", &wine_build},
        {"--observations", &observations_file}};
    runner::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto named = std::find_if(std::begin(valued), std::end(valued), [&](auto& v) { return v.first == a; });
        if (named != std::end(valued) && i + 1 < argc) {
            *named->second = argv[++i];
        } else if (named != std::end(valued)) {
            std::cerr << "pendrel-device: " << a << " needs a value\n";
            return 2;
        } else if (a == "--verbose") {
            options.verbose = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << usage << runner::commands_help() << usage_end;
            return 0;
        } else {
            std::cerr << "pendrel-device: unknown option " << a << " (see --help)\n";
            return 2;
        }
    }
    options.root = root;

    // A file named on the command line, opened or the reason it cannot be.
    auto open = [](auto& stream, const std::string& path, const char* verb) {
        if (path.empty()) return true;
        stream.open(path);
        if (!stream) std::cerr << "pendrel-device: cannot " << verb << " " << path << "\n";
        return bool(stream);
    };
    std::ofstream observations, trace_out, key_log;
    std::ifstream script_in;
    if (!open(observations, observations_file, "write")) return 2;
    if (!observations_file.empty())
        options.observe = [&observations](const std::string& where, const std::string& outcome) {
            observations << where << " " << outcome << "\n" << std::flush;
        };
    if (!wine_build.empty()) return run_on_wine(wine_build, script, key_log_file, options.observe);
    if (!open(trace_out, trace_file, "write") || !open(key_log, key_log_file, "write") ||
        !open(script_in, script, "read"))
        return 2;
    if (!key_log_file.empty())
        runner::set_key_log([&key_log](const std::string& line) { key_log << line << '\n' << std::flush; });
    options.trace = trace_file.empty() ? &std::cout : &trace_out;
    options.out = &std::cout;

    return exit_status([&] {
        runner::Device dev(options);
        if (!script.empty()) {
            runner::run_lines(script_in, script, [&dev](const runner::Command& c) { return dev.run(c); });
            return 0;
        }
        // The console: a prompt when a person types, errors do not end it.
        bool interactive = isatty(STDIN_FILENO);
        std::string line;
        for (int n = 1;; ++n) {
            if (interactive) std::cout << "device> " << std::flush;
            if (!std::getline(std::cin, line)) break;
            try {
                auto c = runner::parse_line(line, "<stdin>", n);
                if (c && !dev.run(*c)) break;
            } catch (const runner::ScriptError& e) {
                std::cerr << e.what() << "\n";
                if (!interactive) return 1;
            }
        }
        return 0;
    });
}
