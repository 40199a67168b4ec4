// Device-side controls of the kernel objects: where the device's file system
// lives on the host, fault injection, and counts for leak checks.
#pragma once
#include <windows.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>

namespace pf {
struct Process;
}

namespace pf::kernel {

// The host folder that stands for the device's file system root: the device
// path "\FlashDisk\x.ini" is <root>/FlashDisk/x.ini, each component matched
// without regard to case.
void set_device_root(std::filesystem::path root);
std::filesystem::path device_root();

// Where a device path ("\\FlashDisk\\x.ini") is below the host folder `root`:
// each component matched without regard to case, as the device matches
// names, so that every spelling of a path is the one entry. `host` is the
// existing entry, or the path the entry would have (existing folders in
// their own letters, the rest as spelled). `error`: ERROR_INVALID_NAME for a
// path that is not absolute or has a "." or ".." component, ERROR_ACCESS_DENIED
// for the root itself, ERROR_PATH_NOT_FOUND when a folder on the way is missing.
struct DeviceEntry {
    std::filesystem::path host;
    DWORD error = ERROR_SUCCESS;
    bool exists = false;
};
DeviceEntry find_device_entry(const std::filesystem::path& root, const std::string& device_path);

// Arms the next call of that kind, by any thread, to fail once with the given
// last error (0: the call's usual failure: ERROR_NOT_ENOUGH_MEMORY for
// CreateThread, ERROR_ACCESS_DENIED for CreateFileW, ERROR_READ_FAULT for
// ReadFile).
enum class Call { CreateThread, CreateFileW, ReadFile };
void fail_next(Call which, DWORD error = 0);
void clear_faults();

// Handles still open, device-wide or in one process.
std::size_t live_handle_count();
std::size_t live_handle_count(const Process* owner);
// A process's open handles by type: "event", "mutex", "thread", "file".
std::map<std::string, std::size_t> live_handle_types(const Process* owner);

// Restarts the per-type handle name counters (event#1, mutex#1, ...), so
// that a fresh scenario names its handles from 1 again.
void restart_handle_names();

// The name a thread start routine is shown with in the trace; without one it
// is shown as "ThreadProc".
void name_start_routine(LPTHREAD_START_ROUTINE routine, std::string name);

}  // namespace pf::kernel
