// Interlocked operations. They run on every poll of the application's
// worker, so their trace lines are kept for the verbose trace only.
#include "kernel/objects.hpp"

#include <atomic>

using namespace pf;

namespace {

std::atomic_ref<LONG> cell(LONG volatile* p) { return std::atomic_ref<LONG>(*const_cast<LONG*>(p)); }
std::atomic_ref<PVOID> cell(PVOID volatile* p) { return std::atomic_ref<PVOID>(*const_cast<PVOID*>(p)); }

std::string cell_name(LONG volatile* p) { return ptr_name(const_cast<LONG*>(p)); }
std::string cell_name(PVOID volatile* p) { return ptr_name(const_cast<PVOID*>(p)); }

// Pointer cells mostly hold handles: shown by their names.
std::string value_name(PVOID v) { return handle_name(v); }
std::string value_name(LONG v) { return std::to_string(v); }

// Each line is formatted only when the verbose trace keeps it.
template <class Cell, class Value, class... Args>
void trace_op(const char* name, Cell* p, Value result, const Args&... args) {
    if (!trace_wanted(true)) return;
    trace_poll(call_str(name, {cell_name(p), value_name(args)...}, value_name(result)));
}

template <class T>
T exchange(const char* name, T volatile* target, T value) {
    T old = cell(target).exchange(value);
    trace_op(name, target, old, value);
    return old;
}

template <class T>
T compare_exchange(const char* name, T volatile* destination, T exchange, T comperand) {
    T expected = comperand;
    cell(destination).compare_exchange_strong(expected, exchange);
    trace_op(name, destination, expected, exchange, comperand);
    return expected;
}

}  // namespace

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    return exchange("InterlockedExchange", Target, Value);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand) {
    return compare_exchange("InterlockedCompareExchange", Destination, Exchange, Comperand);
}

PVOID WINAPI InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
    return exchange("InterlockedExchangePointer", Target, Value);
}

PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange, PVOID Comperand) {
    return compare_exchange("InterlockedCompareExchangePointer", Destination, Exchange, Comperand);
}
