// Translation and emission of one 255-byte read into the device keyboard
// stream, with a key sink that only counts: key events per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "core/core.hpp"
#include "input/input.hpp"
#include "keys.h"
#include "reader.h"

namespace {

long long counted = 0;

struct CountingSink {
    CountingSink() {
        pf::current_thread();
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked([](const pf::input::KeyEvent&) { ++counted; });
    }
    ~CountingSink() {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked(nullptr);
    }
};

void load_read(const std::string& alphabet) {
    std::mt19937 rng(255);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::memset(ReadBuffer, 0, sizeof ReadBuffer);
    for (int i = 0; i < 255; ++i) ReadBuffer[i] = BYTE(alphabet[pick(rng)]);
}

std::string printable() {
    std::string s;
    for (int c = 0x20; c <= 0x7E; ++c) s += char(c);
    return s;
}

void run(benchmark::State& state, const std::string& alphabet) {
    CountingSink sink;
    load_read(alphabet);
    counted = 0;
    for (auto _ : state) {
        TranslateRead(255);
        EmitKeys(255);
    }
    state.counters["key_events/s"] = benchmark::Counter(double(counted), benchmark::Counter::kIsRate);
    state.counters["events/read"] = double(counted) / double(state.iterations());
    state.counters["reads/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// Every printable character, chosen at random: a mix of 3- and 5-event characters.
void BM_Read255Printable(benchmark::State& state) { run(state, printable()); }
// Digits only: 3 events a character, the usual 1D barcode.
void BM_Read255Digits(benchmark::State& state) { run(state, "0123456789"); }
// Capitals only: 5 events a character, the most a character sends.
void BM_Read255Capitals(benchmark::State& state) { run(state, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"); }

// Translation alone, without the key stream.
void BM_Translate255(benchmark::State& state) {
    load_read(printable());
    for (auto _ : state) {
        TranslateRead(255);
        benchmark::DoNotOptimize(KeyCodes);
    }
    state.counters["chars/s"] = benchmark::Counter(255.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Read255Printable);
BENCHMARK(BM_Read255Digits);
BENCHMARK(BM_Read255Capitals);
BENCHMARK(BM_Translate255);

}  // namespace

BENCHMARK_MAIN();
