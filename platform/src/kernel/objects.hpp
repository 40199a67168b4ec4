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

// Every kernel object; a handle's type is checked when it is looked up.
struct Object {
    Object() = default;
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
};

// An object a thread can wait on.
struct WaitableObject : Object {
    virtual bool signalled_for(const Thread& waiter) const = 0;
    // What a satisfied wait takes: an auto-reset event's signal, a mutex.
    virtual DWORD acquire(Thread&) { return WAIT_OBJECT_0; }
};

// Events and mutexes may carry a device-wide name.
struct NamedObject : WaitableObject {
    std::u16string name;
};

struct EventObject : NamedObject {
    static constexpr const char* type_name = "event";
    bool manual_reset = false;
    bool signalled = false;
    // Auto-reset: threads waiting on it, in arrival order, and the ones a
    // SetEvent released that have not run yet. As on Windows, SetEvent
    // releases a waiting thread at once and leaves the event non-signalled,
    // so a second SetEvent right after it is not lost.
    std::vector<int> waiters;
    std::vector<int> released;

    bool signalled_for(const Thread&) const override { return signalled; }
    DWORD acquire(Thread&) override;
};

struct MutexObject : NamedObject {
    static constexpr const char* type_name = "mutex";
    int owner_thread = 0;  // ordinal of the owning device thread, 0 = free
    Process* owner_process = nullptr;
    int recursion = 0;
    bool abandoned = false;

    bool signalled_for(const Thread& waiter) const override {
        return owner_thread == 0 || owner_thread == waiter.ordinal;
    }
    DWORD acquire(Thread& owner) override;
    // Its owner's process ended while it held it: the next wait takes it
    // with WAIT_ABANDONED.
    void abandon();
};

struct ThreadObject : WaitableObject {
    static constexpr const char* type_name = "thread";
    bool ended = false;
    DWORD exit_code = STILL_ACTIVE;

    bool signalled_for(const Thread&) const override { return ended; }
};

struct FileObject : Object {
    static constexpr const char* type_name = "file";
    std::FILE* file = nullptr;

    ~FileObject() override;
};

// All of these need the device lock held.

// A new handle in the calling process, named "<type>#N" in the trace; null
// when the table is full.
HANDLE insert_object_locked(std::shared_ptr<Object> object, const char* type_name);
template <class T>
HANDLE insert_locked(std::shared_ptr<T> object) {
    return insert_object_locked(std::move(object), T::type_name);
}

// The object behind a handle of the calling process, or null, also when the
// handle holds an object of another type.
std::shared_ptr<Object> lookup_object_locked(HANDLE h);
template <class T>
std::shared_ptr<T> lookup_locked(HANDLE h) {
    return std::dynamic_pointer_cast<T>(lookup_object_locked(h));
}

// Named events and mutexes, device-wide, by type and name.
std::shared_ptr<NamedObject> find_named_locked(const char* type_name, const std::u16string& name);
void add_named_locked(const char* type_name, const std::shared_ptr<NamedObject>& object);

std::string error_name(DWORD error);
std::string wait_result_name(DWORD result);

// Consumes an armed fault of that kind: the error to fail with, or 0.
DWORD take_fault_locked(Call which);

}  // namespace pf::kernel
