// Events, mutexes, waits and Sleep.
#include "kernel/objects.hpp"

#include <algorithm>
#include <thread>

using namespace pf;
using namespace pf::kernel;

namespace pf::kernel {

DWORD EventObject::acquire(Thread&) {
    if (!manual_reset) signalled = false;
    return WAIT_OBJECT_0;
}

DWORD MutexObject::acquire(Thread& owner) {
    owner_thread = owner.ordinal;
    owner_process = owner.process;
    recursion++;
    if (abandoned) {
        abandoned = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

void MutexObject::abandon() {
    owner_thread = 0;
    owner_process = nullptr;
    recursion = 0;
    abandoned = true;
}

}  // namespace pf::kernel

namespace {

std::string attrs_str(LPSECURITY_ATTRIBUTES sa) { return sa ? "&sa" : "NULL"; }

// Creates or opens a named event or mutex; sets the last error as Windows
// does (ERROR_ALREADY_EXISTS when the name was taken by one of its type).
// CreateMutex (Windows Embedded CE 6.0), lpName: "Empty strings ("") are
// handled as named objects"; only NULL makes an unnamed one.
template <class T>
HANDLE create_or_open_locked(LPCWSTR name, const std::function<void(T&)>& init) {
    if (name) {
        if (auto same = std::dynamic_pointer_cast<T>(find_named_locked(T::type_name, name))) {
            HANDLE h = insert_locked(same);
            set_last_error(h ? ERROR_ALREADY_EXISTS : ERROR_NOT_ENOUGH_MEMORY);
            return h;
        }
    }
    auto object = std::make_shared<T>();
    if (name) object->name = name;
    init(*object);
    HANDLE h = insert_locked(object);
    if (!h) {
        set_last_error(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (name) add_named_locked(T::type_name, object);
    set_last_error(ERROR_SUCCESS);
    return h;
}

BOOL set_event_state(const char* call, HANDLE h, bool state) {
    Lock lock = enter_call();
    auto event = lookup_locked<EventObject>(h);
    BOOL ok = FALSE;
    if (event) {
        if (state && !event->manual_reset && !event->waiters.empty()) {
            event->released.push_back(event->waiters.front());
            event->waiters.erase(event->waiters.begin());
        } else {
            event->signalled = state;
        }
        notify_all_locked();
        ok = TRUE;
    } else {
        set_last_error(ERROR_INVALID_HANDLE);
    }
    trace(call_str(call, {handle_name(h)}, bool_str(ok)));
    return ok;
}

std::string timeout_str(DWORD ms) { return ms == INFINITE ? "INFINITE" : std::to_string(ms); }

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    Lock lock = enter_call();
    HANDLE h = create_or_open_locked<EventObject>(lpName, [&](EventObject& e) {
        e.manual_reset = bManualReset;
        e.signalled = bInitialState;
    });
    trace(call_str("CreateEventW",
                   {attrs_str(lpEventAttributes), bool_str(bManualReset), bool_str(bInitialState), quoted(lpName)},
                   handle_name(h)));
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent) { return set_event_state("SetEvent", hEvent, true); }
BOOL WINAPI ResetEvent(HANDLE hEvent) { return set_event_state("ResetEvent", hEvent, false); }

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName) {
    Lock lock = enter_call();
    Thread& me = current_thread();
    HANDLE h = create_or_open_locked<MutexObject>(lpName, [&](MutexObject& m) {
        if (bInitialOwner) {
            m.owner_thread = me.ordinal;
            m.owner_process = me.process;
            m.recursion = 1;
        }
    });
    trace(call_str("CreateMutexW", {attrs_str(lpMutexAttributes), bool_str(bInitialOwner), quoted(lpName)},
                   handle_name(h)));
    return h;
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    Lock lock = enter_call();
    auto mutex = lookup_locked<MutexObject>(hMutex);
    BOOL ok = FALSE;
    if (!mutex) {
        set_last_error(ERROR_INVALID_HANDLE);
    } else if (mutex->owner_thread != current_thread().ordinal) {
        set_last_error(ERROR_NOT_OWNER);
    } else {
        if (--mutex->recursion == 0) {
            mutex->owner_thread = 0;
            mutex->owner_process = nullptr;
        }
        notify_all_locked();
        ok = TRUE;
    }
    trace(call_str("ReleaseMutex", {handle_name(hMutex)}, bool_str(ok)));
    return ok;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    Lock lock = enter_call();
    Thread& me = current_thread();
    const std::string handle = handle_name(hHandle);
    const std::string timeout = timeout_str(dwMilliseconds);
    auto object = lookup_object_locked(hHandle);
    if (!object) {
        set_last_error(ERROR_INVALID_HANDLE);
        trace(call_str("WaitForSingleObject", {handle, timeout}, "WAIT_FAILED"));
        return WAIT_FAILED;
    }
    // The object stays alive for the wait even if its handle is closed meanwhile.
    auto waitable = std::dynamic_pointer_cast<WaitableObject>(object);
    if (!waitable) not_implemented("WaitForSingleObject on a file handle");
    // An auto-reset event that is not signalled: queue up to be released by
    // a SetEvent.
    auto event = std::dynamic_pointer_cast<EventObject>(waitable);
    EventObject* queued_on = event && !event->manual_reset && !event->signalled ? event.get() : nullptr;
    auto released = [&] {
        return queued_on && std::ranges::find(queued_on->released, me.ordinal) != queued_on->released.end();
    };
    struct Dequeue {
        EventObject* queued_on;
        int me;
        ~Dequeue() {
            if (!queued_on) return;
            std::erase(queued_on->waiters, me);
            std::erase(queued_on->released, me);
        }
    } dequeue{queued_on, me.ordinal};
    if (queued_on) queued_on->waiters.push_back(me.ordinal);
    bool woke = wait_until(lock, [&] { return released() || waitable->signalled_for(me); },
                           deadline_after_ms(dwMilliseconds));
    DWORD result = !woke ? WAIT_TIMEOUT : released() ? WAIT_OBJECT_0 : waitable->acquire(me);
    if (woke) notify_all_locked();
    std::string line = call_str("WaitForSingleObject", {handle, timeout}, wait_result_name(result));
    // The worker's 50 ms poll waits would flood the trace.
    if (result == WAIT_TIMEOUT && dwMilliseconds <= 50)
        trace_poll(std::move(line));
    else
        trace(std::move(line));
    return result;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    Lock lock = enter_call();
    trace(call_str("Sleep", {std::to_string(dwMilliseconds)}));
    if (dwMilliseconds == 0) {
        lock.unlock();
        std::this_thread::yield();
        return;
    }
    wait_until(lock, [] { return false; }, deadline_after_ms(dwMilliseconds));
}
