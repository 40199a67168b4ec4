// Whole-program scenarios on the emulated device: one booted device per test
// program, brought back to its booted state before every scenario.
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

namespace scenario {

inline std::unique_ptr<device::Device>& device_slot() {
    static std::unique_ptr<device::Device> d;
    return d;
}

inline device::Device& dev() {
    auto& d = device_slot();
    if (!d) d = std::make_unique<device::Device>(device::Options{});
    return *d;
}

// The device shuts down after the last test, while the platform it runs on
// is still whole.
struct DeviceEnvironment : testing::Environment {
    void TearDown() override { device_slot().reset(); }
};
inline testing::Environment* const device_environment = testing::AddGlobalTestEnvironment(new DeviceEnvironment);

// Runs script lines as lines 1, 2 ... of "scenario".
inline void run(std::initializer_list<const char*> lines) {
    int n = 0;
    for (const char* line : lines)
        if (auto c = device::parse_line(line, "scenario", ++n)) dev().run(*c);
}

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
    for (auto& line : device::trace_of("pendrel#" + std::to_string(launch)))
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

// Compares a recorded sequence strictly with the expected one, reporting the
// first entry where they differ with the entries around it.
inline void expect_sequence(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                            const char* what) {
    size_t n = std::max(expected.size(), actual.size());
    for (size_t i = 0; i < n; ++i) {
        std::string e = i < expected.size() ? expected[i] : "(end)";
        std::string a = i < actual.size() ? actual[i] : "(end)";
        if (e == a) continue;
        std::string context;
        for (size_t k = i > 3 ? i - 3 : 0; k < i; ++k) context += "    " + std::to_string(k) + ": " + expected[k] + "\n";
        ADD_FAILURE() << what << ": entry " << i << " differs\n  after:\n" << context << "  expected: " << e
                      << "\n  actual:   " << a << "\n  (" << expected.size() << " expected, " << actual.size()
                      << " recorded)";
        return;
    }
}

class Scenario : public testing::Test {
protected:
    void SetUp() override { dev().reset(); }
    void TearDown() override { dev().reset(); }
};

// Expected sequences are built from named parts.
inline std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The exit code of launch N, or ~0 while it still runs.
inline DWORD exit_code(int launch) {
    pf::Process* p = dev().launch_process(launch);
    pf::Lock lock(pf::device_mutex());
    return p && p->ended ? p->exit_code.value_or(~0u) : ~0u;
}

}  // namespace scenario
