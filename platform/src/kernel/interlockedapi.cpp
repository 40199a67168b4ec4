// Interlocked operations. They run on every poll of the application's
// worker, so their trace lines are kept for the verbose trace only.
#include "kernel/objects.hpp"

#include <atomic>

using namespace pf;

namespace {

std::atomic_ref<LONG> cell(LONG volatile* p) { return std::atomic_ref<LONG>(*const_cast<LONG*>(p)); }

void trace_op(const char* name, LONG volatile* p, const std::string& args, LONG result) {
    trace_poll(std::string(name) + "(" + ptr_name(const_cast<LONG*>(p)) + args + ") = " + std::to_string(result));
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
