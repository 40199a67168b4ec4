// Whole-program scenarios on the emulated device, through the test program's
// runner, brought back to its booted state before every scenario; and the
// program's calls as the trace recorded them.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "runner.hpp"
#include "sequence.hpp"
#include "trace_table.hpp"

namespace scenario {

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

// The trace texts of pendrel#N, without the keystrokes the worker sends
// unless asked for.
inline std::vector<std::string> calls_of(int launch = 1, bool with_keys = false) {
    std::vector<std::string> out;
    for (auto& line : trace_table::texts("pendrel#" + std::to_string(launch)))
        if (with_keys || line.rfind("keybd_event(", 0) != 0) out.push_back(line);
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

// The exit code of launch N, or ~0 while it still runs.
inline DWORD exit_code(int launch) {
    pf::Process* p = device().launch_process(launch);
    pf::Lock lock(pf::device_mutex());
    return p && p->ended ? p->exit_code.value_or(~0u) : ~0u;
}

}  // namespace scenario
