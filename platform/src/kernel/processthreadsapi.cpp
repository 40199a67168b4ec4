// Threads on real host threads, thread ids and the tick count.
#include "kernel/objects.hpp"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdlib>

#include <map>

using namespace pf;
using namespace pf::kernel;

namespace {

std::map<void*, std::string>& routine_names() {
    static auto& names = *new std::map<void*, std::string>;
    return names;
}

std::string routine_name_locked(LPTHREAD_START_ROUTINE routine) {
    void* address = reinterpret_cast<void*>(routine);
    if (auto it = routine_names().find(address); it != routine_names().end()) return it->second;
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_sname && info.dli_saddr == address) {
        // A C++ routine: show its plain name, as the program's source spells it.
        int status = 0;
        char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
        std::string name = status == 0 && demangled ? demangled : info.dli_sname;
        std::free(demangled);
        return name.substr(0, name.find('('));
    }
    return "ThreadProc";
}

}  // namespace

void pf::kernel::name_start_routine(LPTHREAD_START_ROUTINE routine, std::string name) {
    Lock lock(device_mutex());
    routine_names()[reinterpret_cast<void*>(routine)] = std::move(name);
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, DWORD dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId) {
    Lock lock = enter_call();
    if (dwCreationFlags != 0) not_implemented("CreateThread with creation flags");
    HANDLE h = nullptr;
    DWORD fault = take_fault_locked(Call::CreateThread);
    if (!lpStartAddress) {
        set_last_error(ERROR_INVALID_PARAMETER);
    } else if (fault) {
        set_last_error(fault);
    } else {
        auto object = std::make_shared<ThreadObject>();
        h = insert_locked(object);
        if (!h) {
            set_last_error(ERROR_NOT_ENOUGH_MEMORY);
        } else {
            int ordinal = 0;
            // The new thread keeps its object alive until it has ended, so
            // that a wait on a handle opened meanwhile still sees the end.
            Process* owner = &current_process();
            owner->created_threads++;
            start_device_thread(
                owner,
                [object, lpStartAddress, lpParameter] {
                    DWORD code = lpStartAddress(lpParameter);
                    Lock l(device_mutex());
                    object->exit_code = code;
                },
                [object, owner] {
                    Lock l(device_mutex());
                    owner->created_threads--;
                    object->ended = true;
                    notify_all_locked();
                },
                &ordinal);
            if (lpThreadId) *lpThreadId = DWORD(ordinal);
        }
    }
    trace(call_str("CreateThread",
                   {lpThreadAttributes ? "&sa" : "NULL", std::to_string(dwStackSize), routine_name_locked(lpStartAddress),
                    ptr_name(lpParameter), "0", lpThreadId ? "&id" : "NULL"},
                   handle_name(h)));
    return h;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    Lock lock = enter_call();
    auto thread = lookup_locked<ThreadObject>(hThread);
    BOOL ok = FALSE;
    if (!thread || !lpExitCode) {
        set_last_error(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    } else {
        *lpExitCode = thread->ended && thread->exit_code == STILL_ACTIVE ? 0 : thread->exit_code;
        ok = TRUE;
    }
    trace(call_str("GetExitCodeThread", {handle_name(hThread), "&code"}, bool_str(ok)) +
          (ok ? " [code " + std::to_string(*lpExitCode) + "]" : std::string()));
    return ok;
}
