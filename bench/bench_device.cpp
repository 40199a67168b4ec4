// Figures of the emulated device with Pendrel running, printed one a line
// as "name value" for scripts/bench.sh:
//   bench_device latency [SCANS]   scan-to-last-key latency into the memo
//   bench_device stop [N]          worker stop time (StopReaderWorker)
//   bench_device exit [N]          tray Exit: popup choice to process end
//   bench_device idle [SECONDS]    CPU share and peak memory while idling
// Host time (steady clock) throughout; nothing here is a pass/fail check.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/core.hpp"
#include "device.hpp"
#include "reader.h"
#include "script.hpp"
#include "user/window.hpp"
#include "zel_control.hpp"

namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::duration<double, std::milli>;

void put(const std::string& name, double value) { std::printf("%s %.3f\n", name.c_str(), value); }

// Nearest-rank percentile of sorted samples.
double percentile(const std::vector<double>& sorted, double p) {
    size_t rank = size_t(std::max(1.0, std::ceil(p / 100.0 * double(sorted.size()))));
    return sorted[std::min(rank, sorted.size()) - 1];
}

void put_distribution(const std::string& name, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    put(name + "_n", double(samples.size()));
    put(name + "_min_ms", samples.front());
    put(name + "_p50_ms", percentile(samples, 50));
    put(name + "_p95_ms", percentile(samples, 95));
    put(name + "_p99_ms", percentile(samples, 99));
    put(name + "_max_ms", samples.back());
}

template <class Pred>
void wait_for(Pred pred, std::chrono::milliseconds limit, const char* what) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error(std::string("timed out: ") + what);
        std::this_thread::sleep_for(1ms);
    }
}

// The device booted, Pendrel launched in the background mode (no settings
// file), its worker polling and the reader open; the memo has the focus.
struct Booted {
    runner::Device dev{runner::Options{}};
    Booted() {
        dev.launch();
        wait_for([] { return zel::control::is_open(); }, 10s, "the reader was never opened");
        pf::wait_quiet(10s);
    }
    size_t memo_length() {
        pf::Lock lock(pf::device_mutex());
        pf::user::Window* w = pf::user::from_hwnd(dev.memo_edit());
        return w ? w->title.size() : 0;
    }
    // Scans `data` and returns the time until the memo holds its last key.
    // The waiting thread sleeps on the device's change signal, which every
    // thread raises when it blocks again (the memo after each character).
    double scan_to_last_key(const std::string& data) {
        // An empty memo each time: the figure is the read's, not the
        // growing memo's (its paint lays out all its text).
        pf::user::send_internal(dev.memo_edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u""));
        pf::wait_quiet(5s);
        size_t want = memo_length() + data.size();
        auto start = std::chrono::steady_clock::now();
        auto scanned = zel::control::scan(data);
        if (!scanned.accepted) throw std::runtime_error("scan refused: " + scanned.message);
        pf::Lock lock(pf::device_mutex());
        bool arrived = pf::wait_until(
            lock,
            [&] {
                pf::user::Window* w = pf::user::from_hwnd(dev.memo_edit());
                return w && w->title.size() >= want;
            },
            pf::Clock::now() + 5s);
        auto end = std::chrono::steady_clock::now();
        if (!arrived) throw std::runtime_error("the read never reached the memo");
        return Ms(end - start).count();
    }
};

std::string barcode(std::mt19937& rng, size_t length) {
    static const char chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-./:*+ ";
    std::uniform_int_distribution<size_t> pick(0, sizeof chars - 2);
    std::string s;
    for (size_t i = 0; i < length; ++i) s += chars[pick(rng)];
    return s;
}

void latency(int scans) {
    Booted booted;
    std::mt19937 rng(20240501);
    std::uniform_int_distribution<int> pause_us(0, 150000);  // three poll periods
    auto run = [&](const std::string& name, int count, size_t length) {
        std::vector<double> samples;
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(pause_us(rng)));
            samples.push_back(booted.scan_to_last_key(barcode(rng, length)));
        }
        put_distribution(name, samples);
    };
    run("latency_12", scans, 12);
    run("latency_255", std::max(50, scans / 10), 255);
}

void stop_time(int count) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pause_us(0, 150000);
    // The calls run in a traced process of their own, so that a slow stop
    // can be shown with its calls and their times.
    {
        pf::Lock lock(pf::device_mutex());
        pf::current_thread().process = pf::create_process("bench", true, 0);
    }
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        pf::trace_clear();
        if (StartReaderWorker(NULL) != 0) throw std::runtime_error("the worker did not start");
        std::this_thread::sleep_for(std::chrono::microseconds(pause_us(rng)));
        auto start = std::chrono::steady_clock::now();
        StopReaderWorker();
        samples.push_back(Ms(std::chrono::steady_clock::now() - start).count());
        if (samples.back() > 400 && std::getenv("BENCH_SHOW_SLOW")) {
            std::fprintf(stderr, "stop took %.1f ms:\n", samples.back());
            for (const auto& r : pf::trace_records())
                std::fprintf(stderr, "  %s\n", runner::format_trace(r).c_str());
        }
    }
    put_distribution("stop", samples);
}

void tray_exit(int count) {
    runner::Device dev{runner::Options{}};
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        if (i > 0) dev.reset();
        int n = dev.launch();
        dev.run(*runner::parse_line("sync", "bench", 1));
        dev.run(*runner::parse_line("tap tray", "bench", 2));
        auto start = std::chrono::steady_clock::now();
        dev.run(*runner::parse_line("popup 1324", "bench", 3));
        if (!pf::wait_process_end(dev.launch_process(n), 10s)) throw std::runtime_error("Pendrel did not exit");
        samples.push_back(Ms(std::chrono::steady_clock::now() - start).count());
    }
    put_distribution("exit", samples);
}

double cpu_seconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

void idle(int seconds) {
    Booted booted;
    std::this_thread::sleep_for(1s);  // past start-up
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    getrusage(RUSAGE_SELF, &after);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    put("idle_seconds", wall);
    put("idle_cpu_percent", 100.0 * (cpu_seconds(after) - cpu_seconds(before)) / wall);
    put("idle_voluntary_switches_per_s", double(after.ru_nvcsw - before.ru_nvcsw) / wall);
    put("idle_maxrss_kib", double(after.ru_maxrss));
    // The worker is still there: one more read goes through after the idle time.
    put("idle_then_scan_ms", booted.scan_to_last_key("IDLE-1"));
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int n = argc > 2 ? std::atoi(argv[2]) : 0;
    try {
        if (mode == "latency") {
            latency(n > 0 ? n : 500);
        } else if (mode == "stop") {
            stop_time(n > 0 ? n : 40);
        } else if (mode == "exit") {
            tray_exit(n > 0 ? n : 10);
        } else if (mode == "idle") {
            idle(n > 0 ? n : 10);
        } else {
            std::fprintf(stderr, "usage: bench_device latency [SCANS] | stop [N] | exit [N] | idle [SECONDS]\n");
            return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_device: %s\n", e.what());
        std::fflush(stdout);
        std::_Exit(1);
    }
    std::fflush(stdout);
    // Pendrel's threads are still running in the device; leave at once.
    std::_Exit(0);
}
