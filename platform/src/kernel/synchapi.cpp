// Events, mutexes, waits and Sleep.
#include "kernel/objects.hpp"

#include <algorithm>
#include <thread>

using namespace pf;
using namespace pf::kernel;

namespace {

std::string attrs_str(LPSECURITY_ATTRIBUTES sa) { return sa ? "&sa" : "NULL"; }

// Creates or opens a named event or mutex; sets the last error as Windows
// does (ERROR_ALREADY_EXISTS when the name was taken).
HANDLE create_or_open_locked(Kind kind, LPCWSTR name, const std::function<void(Object&)>& init) {
    const char* type = kind == Kind::Event ? "event" : "mutex";
    if (name && *name) {
        if (auto existing = find_named_locked(name)) {
            if (existing->kind != kind) {
                set_last_error(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            HANDLE h = insert_locked(existing, type);
            set_last_error(h ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY);
            return h;
        }
    }
    auto object = std::make_shared<Object>(kind);
    if (name) object->name = name;
    init(*object);
    HANDLE h = insert_locked(object, type);
    if (!h) {
        set_last_error(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!object->name.empty()) add_named_locked(object);
    set_last_error(ERROR_SUCCESS);
    return h;
}

bool is_signalled(const Object& o, int me) {
    switch (o.kind) {
    case Kind::Event: return o.signalled;
    case Kind::Mutex: return o.owner_thread == 0 || o.owner_thread == me;
    case Kind::Thread: return o.ended;
    case Kind::File: break;
    }
    return false;
}

// Takes what a satisfied wait takes: an auto-reset event's signal, a mutex.
DWORD acquire(Object& o, Thread& me) {
    if (o.kind == Kind::Event && !o.manual_reset) o.signalled = false;
    if (o.kind == Kind::Mutex) {
        o.owner_thread = me.ordinal;
        o.owner_process = me.process;
        o.recursion++;
        if (o.abandoned) {
            o.abandoned = false;
            return WAIT_ABANDONED;
        }
    }
    return WAIT_OBJECT_0;
}

BOOL set_event_state(const char* call, HANDLE h, bool state) {
    Lock lock = enter_call();
    auto object = lookup_locked(h, Kind::Event);
    BOOL ok = FALSE;
    if (object) {
        if (state && !object->manual_reset && !object->waiters.empty()) {
            object->released.push_back(object->waiters.front());
            object->waiters.erase(object->waiters.begin());
        } else {
            object->signalled = state;
        }
        notify_all_locked();
        ok = TRUE;
    } else {
        set_last_error(ERROR_INVALID_HANDLE);
    }
    trace(std::string(call) + "(" + handle_name(h) + ") = " + bool_str(ok));
    return ok;
}

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    Lock lock = enter_call();
    HANDLE h = create_or_open_locked(Kind::Event, lpName, [&](Object& o) {
        o.manual_reset = bManualReset;
        o.signalled = bInitialState;
    });
    trace("CreateEventW(" + attrs_str(lpEventAttributes) + ", " + bool_str(bManualReset) + ", " +
          bool_str(bInitialState) + ", " + quoted(lpName) + ") = " + handle_name(h));
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent) { return set_event_state("SetEvent", hEvent, true); }
BOOL WINAPI ResetEvent(HANDLE hEvent) { return set_event_state("ResetEvent", hEvent, false); }

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    Lock lock = enter_call();
    Thread& me = current_thread();
    HANDLE h = create_or_open_locked(Kind::Mutex, lpName, [&](Object& o) {
        if (bInitialOwner) {
            o.owner_thread = me.ordinal;
            o.owner_process = me.process;
            o.recursion = 1;
        }
    });
    trace("CreateMutexW(" + attrs_str(lpMutexAttributes) + ", " + bool_str(bInitialOwner) + ", " +
          quoted(lpName) + ") = " + handle_name(h));
    return h;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    Lock lock = enter_call();
    auto object = lookup_locked(hMutex, Kind::Mutex);
    BOOL ok = FALSE;
    if (!object) {
        set_last_error(ERROR_INVALID_HANDLE);
    } else if (object->owner_thread != current_thread().ordinal) {
        set_last_error(ERROR_NOT_OWNER);
    } else {
        if (--object->recursion == 0) {
            object->owner_thread = 0;
            object->owner_process = nullptr;
        }
        notify_all_locked();
        ok = TRUE;
    }
    trace("ReleaseMutex(" + handle_name(hMutex) + ") = " + bool_str(ok));
    return ok;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    Lock lock = enter_call();
    Thread& me = current_thread();
    std::string call = "WaitForSingleObject(" + handle_name(hHandle) + ", " +
                       (dwMilliseconds == INFINITE ? std::string("INFINITE") : std::to_string(dwMilliseconds)) +
                       ") = ";
    auto object = lookup_locked(hHandle);
    if (!object) {
        set_last_error(ERROR_INVALID_HANDLE);
        trace(call + "WAIT_FAILED");
        return WAIT_FAILED;
    }
    if (object->kind == Kind::File) not_implemented("WaitForSingleObject on a file handle");
    // The object stays alive for the wait even if its handle is closed meanwhile.
    // An auto-reset event that is not signalled: queue up to be released
    // by a SetEvent.
    bool queued = object->kind == Kind::Event && !object->manual_reset && !object->signalled;
    auto released = [&] {
        return queued && std::find(object->released.begin(), object->released.end(), me.ordinal) !=
                             object->released.end();
    };
    struct Dequeue {
        Object& o;
        int me;
        bool queued;
        ~Dequeue() {
            if (!queued) return;
            std::erase(o.waiters, me);
            std::erase(o.released, me);
        }
    } dequeue{*object, me.ordinal, queued};
    if (queued) object->waiters.push_back(me.ordinal);
    bool woke = wait_until(lock, [&] { return released() || is_signalled(*object, me.ordinal); },
                           deadline_after_ms(dwMilliseconds));
    DWORD result = !woke ? WAIT_TIMEOUT : released() ? WAIT_OBJECT_0 : acquire(*object, me);
    if (woke) notify_all_locked();
    // The worker's 50 ms poll waits would flood the trace.
    if (result == WAIT_TIMEOUT && dwMilliseconds <= 50)
        trace_poll(call + wait_result_name(result));
    else
        trace(call + wait_result_name(result));
    return result;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    Lock lock = enter_call();
    trace("Sleep(" + std::to_string(dwMilliseconds) + ")");
    if (dwMilliseconds == 0) {
        lock.unlock();
        std::this_thread::yield();
        return;
    }
    wait_until(lock, [] { return false; }, deadline_after_ms(dwMilliseconds));
}
