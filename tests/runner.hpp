// The test program's device runner: one emulated device, booted at first use
// and shut down after the last test while the platform it runs on is still
// whole, and script lines run on it as a .scn file's lines would be.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "device.hpp"

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

// Runs one script line, with its implicit sync.
inline void run(const std::string& line) {
    if (auto c = runner::parse_line(line, "scenario", 1)) device().run(*c);
}

// Runs script lines as lines 1, 2 ... of "scenario".
inline void run(std::initializer_list<const char*> lines) {
    int n = 0;
    for (const char* line : lines)
        if (auto c = runner::parse_line(line, "scenario", ++n)) device().run(*c);
}

}  // namespace scenario
