// Whole-program scenarios on the emulated device: the test program's runner
// (one device, booted at first use and shut down after the last test while
// the platform it runs on is still whole), script lines run on it as a .scn
// file's lines would be, and the program's calls as the trace recorded them.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "device.hpp"
#include "sequence.hpp"
#include "trace_table.hpp"

namespace scenario {

inline std::unique_ptr<runner::Device>& runner_slot() {
    static std::unique_ptr<runner::Device> d;
    return d;
}

inline runner::Device& device() {
    auto& d = runner_slot();
    if (!d) d = std::make_unique<runner::Device>(runner::Options{});
    return *d;
}

struct RunnerEnvironment : testing::Environment {
    void TearDown() override { runner_slot().reset(); }
};
inline testing::Environment* const runner_environment = testing::AddGlobalTestEnvironment(new RunnerEnvironment);

// Runs script lines as lines 1, 2 ... of "scenario", each with its implicit sync.
inline void run(std::initializer_list<std::string> lines) {
    int n = 0;
    for (const auto& line : lines)
        if (auto c = runner::parse_line(line, "scenario", ++n)) device().run(*c);
}

// The settings line that starts Pendrel with its window shown.
inline const char* const settings_display_on = R"(file \FlashDisk\Velmira\PENDRELTOOL.ini "Display On*")";

// The window system numbers icons, accelerator tables, menus and resources
// device-wide; a scenario sees them numbered from 1 in order of appearance.
inline std::vector<std::string> renumbered(const std::vector<std::string>& lines) {
    static const std::regex name(R"(\b(hicon|haccel|hmenu|hrsrc|hdc)#(\d+))");
    std::map<std::string, std::map<std::string, int>> numbers;
    std::vector<std::string> out;
    for (const auto& line : lines) {
        std::string result;
        auto last = line.cbegin();
        for (std::sregex_iterator it(line.begin(), line.end(), name), end; it != end; ++it) {
            auto& kind = numbers[(*it)[1]];
            auto [entry, added] = kind.emplace((*it)[2], int(kind.size()) + 1);
            result.append(last, (*it)[0].first);
            result += (*it)[1].str() + "#" + std::to_string(entry->second);
            last = (*it)[0].second;
        }
        result.append(last, line.cend());
        out.push_back(result);
    }
    return out;
}

// The trace texts of pendrel#N, without the keystrokes the worker sends.
inline std::vector<std::string> calls_of(int launch = 1) {
    std::vector<std::string> out;
    for (auto& line : trace_table::texts("pendrel#" + std::to_string(launch)))
        if (line.rfind("keybd_event(", 0) != 0) out.push_back(line);
    return renumbered(out);
}

// The calls of pendrel#N by thread, in the order the threads first called:
// [0] is the UI thread, [1] the first reader worker.
inline std::vector<std::vector<std::string>> calls_by_thread(int launch = 1) {
    std::vector<int> order;
    std::vector<std::vector<std::string>> out;
    for (const auto& r : pf::trace_records()) {
        if (r.party != "pendrel#" + std::to_string(launch) || r.text.rfind("keybd_event(", 0) == 0) continue;
        auto it = std::find(order.begin(), order.end(), r.thread);
        if (it == order.end()) {
            order.push_back(r.thread);
            out.emplace_back();
            it = order.end() - 1;
        }
        out[it - order.begin()].push_back(r.text);
    }
    for (auto& lines : out) lines = renumbered(lines);
    return out;
}

// Lines without the ones that start with `prefix`.
inline std::vector<std::string> without(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.rfind(prefix, 0) != 0) out.push_back(line);
    return out;
}

class Scenario : public testing::Test {
protected:
    void SetUp() override { device().reset(); }
    void TearDown() override { device().reset(); }
};

// A failed step (of the start-up or of a command): the fault armed for it,
// the answer given to its box, and what follows.
struct BoxCase {
    const char* name;
    const char* fault;
    const char* answer;
    std::vector<std::string> calls;  // the failing calls and the box with its answer
    bool ends;                       // the answer ends the program
};

}  // namespace scenario
