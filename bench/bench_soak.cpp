// The soak run: weeks of Pendrel's use in minutes on the emulated device, its
// clock 20 times as fast. Pendrel starts in the background mode and goes
// through rounds of the operator's actions (runner/soak.hpp); by default 500
// rounds of 20 reads, 2 tray popups and one read-display and About cycle:
// 10,000 reads, 1,000 popups, 500 cycles. What Pendrel's process holds is
// sampled after the first round and then every 1,000 steps.
//   bench_soak [ROUNDS]
// Prints "name value" lines for scripts/bench.sh (soak_<count>_first and
// _last), each sample on stderr, and the counts that grew with their objects
// named ("soak_growth menus 1 -> 501"); exits 1 when one grew.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/core.hpp"
#include "device.hpp"
#include "soak.hpp"

namespace {

struct Sample {
    int step = 0;
    runner::link::Holdings held;
    std::size_t heap_kib = 0;  // the whole device's heap in use: memo, platform, Pendrel
};

std::size_t handle_total(const runner::link::Holdings& h) {
    std::size_t n = 0;
    for (const auto& [type, count] : h.handles) n += count;
    return n;
}

void put_counts(const char* which, const Sample& s) {
    std::printf("soak_handles_%s %zu\nsoak_windows_%s %zu\nsoak_menus_%s %zu\nsoak_gdi_%s %zu\nsoak_heap_kib_%s %zu\n",
                which, handle_total(s.held), which, s.held.windows, which, s.held.menus, which, s.held.gdi_objects,
                which, s.heap_kib);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 500;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: bench_soak [ROUNDS]\n");
        return 2;
    }
    const runner::soak::Round round{.memo_reads = 10, .popups = 2, .display_reads = 10};
    std::vector<Sample> samples;
    auto start = std::chrono::steady_clock::now();
    try {
        pf::set_time_scale(20);
        runner::Device device{runner::Options{}};
        auto* pendrel = runner::soak::launch(device);
        std::mt19937 random(2026);
        int steps = 0;
        for (int i = 1; i <= rounds; ++i) {
            runner::soak::run_round(device, round, random);
            steps += round.steps();
            if (i == 1 || i == rounds || steps / 1000 > samples.back().step / 1000) {
                runner::link::wait_quiet(std::chrono::seconds(5));
                Sample s{steps, runner::link::holdings_of(pendrel), mallinfo2().uordblks / 1024};
                std::fprintf(stderr, "step %5d: %s, heap %zu KiB\n", s.step, runner::soak::describe(s.held).c_str(),
                             s.heap_kib);
                samples.push_back(s);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_soak: %s\n", e.what());
        std::fflush(stdout);
        std::_Exit(1);
    }
    const Sample &first = samples.front(), &last = samples.back();
    std::printf("soak_rounds %d\nsoak_steps %d\nsoak_samples %zu\nsoak_seconds %.1f\n", rounds, last.step,
                samples.size(), std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    put_counts("first", first);
    put_counts("last", last);
    // The heap once the device's tables and the allocator's caches have reached their working size.
    if (samples.size() > 2) std::printf("soak_heap_kib_warm %zu\n", samples[1].heap_kib);
    std::string grew = runner::soak::growth(first.held, last.held);
    if (!grew.empty()) std::printf("soak_growth %s\n", grew.c_str());
    std::fflush(stdout);
    // Pendrel's threads are still running in the device; leave at once.
    std::_Exit(grew.empty() ? 0 : 1);
}
