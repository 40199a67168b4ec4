// The kernel's handle table: typed, reference-counted objects behind opaque
// handle values that belong to the process that opened them.
#pragma once
#include "core/core.hpp"
#include "kernel/kernel.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace pf::kernel {

enum class Kind { Event, Mutex, Thread, File };

struct Object {
    Kind kind;
    explicit Object(Kind k) : kind(k) {}
    ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    std::u16string name;  // named events and mutexes

    // event
    bool manual_reset = false;
    bool signalled = false;
    // Auto-reset: threads waiting on it, in arrival order, and the ones a
    // SetEvent released that have not run yet. As on Windows, SetEvent
    // releases a waiting thread at once and leaves the event non-signalled,
    // so a second SetEvent right after it is not lost.
    std::vector<int> waiters;
    std::vector<int> released;

    // mutex
    int owner_thread = 0;  // ordinal of the owning device thread, 0 = free
    Process* owner_process = nullptr;
    int recursion = 0;
    bool abandoned = false;

    // thread
    bool ended = false;
    DWORD exit_code = STILL_ACTIVE;

    // file
    std::FILE* file = nullptr;
};

// All of these need the device lock held.

// A new handle in the calling process, named "<type>#N" in the trace.
HANDLE insert_locked(std::shared_ptr<Object> object, const char* type);
// The object behind a handle of the calling process, or null.
std::shared_ptr<Object> lookup_locked(HANDLE h);
std::shared_ptr<Object> lookup_locked(HANDLE h, Kind kind);

// Named events and mutexes, device-wide.
std::shared_ptr<Object> find_named_locked(const std::u16string& name);
void add_named_locked(const std::shared_ptr<Object>& object);

std::string error_name(DWORD error);
std::string wait_result_name(DWORD result);

// Consumes an armed fault of that kind: the error to fail with, or 0.
DWORD take_fault_locked(Call which);

}  // namespace pf::kernel
