// The handle table, CloseHandle, and the release of a process's handles when
// it ends.
#include "kernel/objects.hpp"

#include <map>

namespace pf::kernel {
namespace {

struct Entry {
    std::shared_ptr<Object> object;
    const Process* owner = nullptr;
    const char* type_name = nullptr;
};

struct Table {
    std::map<HANDLE, Entry> entries;
    // CreateMutex, CreateEvent (Windows CE 5.0): each type has a name space
    // of its own (the desktop shares one among them).
    std::map<std::pair<std::string, std::u16string>, std::weak_ptr<NamedObject>> named;
    std::map<std::string, int> counters;  // per type: event#N, mutex#N ...
    std::size_t next_slot = 1;
};

Table& table() {
    static auto& t = *new Table;
    return t;
}

// Handle values are addresses in a block of our own, handed out once and
// never reused, so a closed handle stays invalid and never collides with
// another part of the device's names.
constexpr std::size_t handle_slots = std::size_t(1) << 20;
alignas(4) char handle_space[handle_slots * 4];

void close_entry_locked(std::map<HANDLE, Entry>::iterator it) {
    std::shared_ptr<Object> object = std::move(it->second.object);
    retire_handle_name_locked(it->first);
    table().entries.erase(it);
    notify_all_locked();
}

void close_process_handles(Process* p) {
    Lock lock(device_mutex());
    // A named mutex that another process can still wait on is left abandoned.
    for (auto& [name, weak] : table().named) {
        auto mutex = std::dynamic_pointer_cast<MutexObject>(weak.lock());
        if (mutex && mutex->owner_process == p) mutex->abandon();
    }
    auto& entries = table().entries;
    for (auto it = entries.begin(); it != entries.end();) {
        auto next = std::next(it);
        if (it->second.owner == p) close_entry_locked(it);
        it = next;
    }
    notify_all_locked();
}

const bool hook_registered = (add_process_end_hook(close_process_handles), true);

}  // namespace

HANDLE insert_object_locked(std::shared_ptr<Object> object, const char* type_name) {
    auto& t = table();
    if (t.next_slot >= handle_slots) return nullptr;
    HANDLE h = handle_space + 4 * t.next_slot++;
    t.entries[h] = Entry{std::move(object), &current_process(), type_name};
    name_handle_locked(h, std::string(type_name) + "#" + std::to_string(++t.counters[type_name]));
    return h;
}

std::shared_ptr<Object> lookup_object_locked(HANDLE h) {
    auto& entries = table().entries;
    auto it = entries.find(h);
    if (it == entries.end() || it->second.owner != &current_process()) return nullptr;
    return it->second.object;
}

std::shared_ptr<NamedObject> find_named_locked(const char* type_name, const std::u16string& name) {
    auto& named = table().named;
    auto it = named.find({type_name, name});
    if (it == named.end()) return nullptr;
    auto object = it->second.lock();
    if (!object) named.erase(it);
    return object;
}

void add_named_locked(const char* type_name, const std::shared_ptr<NamedObject>& object) {
    table().named[{type_name, object->name}] = object;
}

std::size_t live_handle_count() {
    Lock lock(device_mutex());
    return table().entries.size();
}

std::size_t live_handle_count(const Process* owner) {
    Lock lock(device_mutex());
    std::size_t n = 0;
    for (auto& [h, entry] : table().entries)
        if (entry.owner == owner) ++n;
    return n;
}

std::map<std::string, std::size_t> live_handle_types(const Process* owner) {
    Lock lock(device_mutex());
    std::map<std::string, std::size_t> types;
    for (auto& [h, entry] : table().entries)
        if (entry.owner == owner) ++types[entry.type_name];
    return types;
}

void restart_handle_names() {
    Lock lock(device_mutex());
    table().counters.clear();
}

}  // namespace pf::kernel

using namespace pf;
using namespace pf::kernel;

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Lock lock = enter_call();
    std::string name = handle_name(hObject);
    auto& entries = table().entries;
    auto it = entries.find(hObject);
    BOOL ok = FALSE;
    if (it != entries.end() && it->second.owner == &current_process()) {
        close_entry_locked(it);
        ok = TRUE;
    } else {
        set_last_error(ERROR_INVALID_HANDLE);
    }
    trace(call_str("CloseHandle", {name}, bool_str(ok)));
    return ok;
}
