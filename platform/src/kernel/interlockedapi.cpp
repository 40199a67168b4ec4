// Interlocked operations. They run on every poll of the application's
// worker, so their trace lines are kept for the verbose trace only.
#include "kernel/objects.hpp"

#include <atomic>

using namespace pf;

namespace {

std::atomic_ref<LONG> cell(LONG volatile* p) { return std::atomic_ref<LONG>(*const_cast<LONG*>(p)); }
std::atomic_ref<PVOID> cell(PVOID volatile* p) { return std::atomic_ref<PVOID>(*const_cast<PVOID*>(p)); }

void trace_op(const char* name, LONG volatile* p, const std::string& args, LONG result) {
    if (!trace_wanted(true)) return;
    trace_poll(std::string(name) + "(" + ptr_name(const_cast<LONG*>(p)) + args + ") = " + std::to_string(result));
}

// Pointer cells mostly hold handles: shown by their names.
std::string value_name(PVOID v) { return handle_name(v); }

void trace_op(const char* name, PVOID volatile* p, const std::string& args, PVOID result) {
    if (!trace_wanted(true)) return;
    trace_poll(std::string(name) + "(" + ptr_name(const_cast<PVOID*>(p)) + args + ") = " + value_name(result));
}

}  // namespace

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    LONG old = cell(Target).exchange(Value);
    trace_op("InterlockedExchange", Target, ", " + std::to_string(Value), old);
    return old;
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comperand) {
    LONG expected = Comperand;
    cell(Destination).compare_exchange_strong(expected, Exchange);
    trace_op("InterlockedCompareExchange", Destination,
             ", " + std::to_string(Exchange) + ", " + std::to_string(Comperand), expected);
    return expected;
}

LONG WINAPI InterlockedIncrement(LONG volatile* Addend) {
    LONG now = cell(Addend).fetch_add(1) + 1;
    trace_op("InterlockedIncrement", Addend, "", now);
    return now;
}

LONG WINAPI InterlockedDecrement(LONG volatile* Addend) {
    LONG now = cell(Addend).fetch_sub(1) - 1;
    trace_op("InterlockedDecrement", Addend, "", now);
    return now;
}

PVOID WINAPI InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
    PVOID old = cell(Target).exchange(Value);
    trace_op("InterlockedExchangePointer", Target, ", " + value_name(Value), old);
    return old;
}

PVOID WINAPI InterlockedCompareExchangePointer(PVOID volatile* Destination, PVOID Exchange, PVOID Comperand) {
    PVOID expected = Comperand;
    cell(Destination).compare_exchange_strong(expected, Exchange);
    trace_op("InterlockedCompareExchangePointer", Destination, ", " + value_name(Exchange) + ", " + value_name(Comperand),
             expected);
    return expected;
}
