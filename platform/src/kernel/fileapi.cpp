// Reading files of the device's file system, which lives in a host folder.
// Device paths are absolute, separated by backslashes, and matched without
// regard to case, as on the device.
#include "kernel/objects.hpp"

#include <cerrno>
#include <system_error>

using namespace pf;
using namespace pf::kernel;
namespace fs = std::filesystem;

namespace {

fs::path& root_locked() {
    static auto& root = *new fs::path;
    return root;
}

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 0x20;
        if (y >= 'A' && y <= 'Z') y += 0x20;
        if (x != y) return false;
    }
    return true;
}

// The host entry of folder `dir` named `component`, or nullopt.
std::optional<fs::path> find_entry(const fs::path& dir, const std::string& component) {
    std::error_code ec;
    if (fs::exists(dir / component, ec)) return dir / component;
    for (auto& entry : fs::directory_iterator(dir, ec))
        if (same_ignoring_case(entry.path().filename().string(), component)) return entry.path();
    return std::nullopt;
}

struct Resolved {
    fs::path host;
    DWORD error = ERROR_SUCCESS;
};

Resolved resolve_locked(const WCHAR* device_path) {
    if (!device_path) return {{}, ERROR_INVALID_PARAMETER};
    if (root_locked().empty()) return {{}, ERROR_PATH_NOT_FOUND};
    DeviceEntry e = find_device_entry(root_locked(), utf8(device_path));
    if (!e.error && !e.exists) e.error = ERROR_FILE_NOT_FOUND;
    std::error_code ec;
    if (!e.error && fs::is_directory(e.host, ec)) e.error = ERROR_ACCESS_DENIED;  // a folder is not a file
    return {e.host, e.error};
}

std::string access_str(DWORD access) {
    if (access == GENERIC_READ) return "GENERIC_READ";
    return hex(access);
}

std::string share_str(DWORD share) {
    if (share == 0) return "0";
    if (share == FILE_SHARE_READ) return "FILE_SHARE_READ";
    if (share == (FILE_SHARE_READ | FILE_SHARE_WRITE)) return "FILE_SHARE_READ | FILE_SHARE_WRITE";
    return hex(share);
}

std::string flags_str(DWORD flags) {
    return flags == FILE_ATTRIBUTE_NORMAL ? "FILE_ATTRIBUTE_NORMAL" : hex(flags);
}

// The error a failed call set, after its result: " [ERROR_...]"; nothing on success.
std::string error_note(DWORD error) { return error ? " [" + error_name(error) + "]" : std::string(); }

std::string handle_result(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : handle_name(h);
}

}  // namespace

pf::kernel::FileObject::~FileObject() {
    if (file) std::fclose(file);
}

void pf::kernel::set_device_root(fs::path root) {
    Lock lock(device_mutex());
    root_locked() = std::move(root);
}

fs::path pf::kernel::device_root() {
    Lock lock(device_mutex());
    return root_locked();
}

pf::kernel::DeviceEntry pf::kernel::find_device_entry(const fs::path& root, const std::string& device_path) {
    if (device_path.empty() || (device_path[0] != '\\' && device_path[0] != '/')) return {{}, ERROR_INVALID_NAME};
    std::vector<std::string> components;
    std::string part;
    for (char c : device_path + "\\") {
        if (c == '\\' || c == '/') {
            if (!part.empty()) components.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (components.empty()) return {{}, ERROR_ACCESS_DENIED};  // the root folder itself
    // Each folder as it exists, in its own letters; what does not exist yet
    // as the path spells it.
    DeviceEntry found{root, ERROR_SUCCESS, true};
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& c = components[i];
        if (c == "." || c == "..") return {{}, ERROR_INVALID_NAME};  // never leave the device root
        std::error_code ec;
        if (found.exists && !fs::is_directory(found.host, ec)) {  // a file on the way
            found.error = ERROR_PATH_NOT_FOUND;
            found.exists = false;
        }
        auto entry = found.exists ? find_entry(found.host, c) : std::nullopt;
        if (found.exists && !entry && i + 1 < components.size()) found.error = ERROR_PATH_NOT_FOUND;
        found.exists = entry.has_value();
        found.host = entry.value_or(found.host / c);
    }
    return found;
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    Lock lock = enter_call();
    if (dwDesiredAccess != GENERIC_READ || dwCreationDisposition != OPEN_EXISTING || hTemplateFile)
        not_implemented("CreateFileW other than opening an existing file for reading");
    HANDLE h = INVALID_HANDLE_VALUE;
    Resolved r = resolve_locked(lpFileName);
    DWORD error = take_fault_locked(Call::CreateFileW);
    if (!error) error = r.error;
    std::FILE* file = nullptr;
    if (!error) {
        file = std::fopen(r.host.c_str(), "rb");
        if (!file) error = errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    }
    if (!error) {
        auto object = std::make_shared<FileObject>();
        object->file = file;
        h = insert_locked(object);
        if (!h) {
            h = INVALID_HANDLE_VALUE;
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    set_last_error(error);
    trace(call_str("CreateFileW",
                   {quoted(lpFileName), access_str(dwDesiredAccess), share_str(dwShareMode),
                    lpSecurityAttributes ? "&sa" : "NULL", "OPEN_EXISTING", flags_str(dwFlagsAndAttributes), "NULL"},
                   handle_result(h)) +
          error_note(error));
    return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    Lock lock = enter_call();
    if (lpOverlapped) not_implemented("ReadFile with overlapped I/O");
    auto object = lookup_locked<FileObject>(hFile);
    DWORD error = 0;
    DWORD got = 0;
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (!object) {
        error = ERROR_INVALID_HANDLE;
    } else if (!lpNumberOfBytesRead || (!lpBuffer && nNumberOfBytesToRead)) {
        error = ERROR_INVALID_PARAMETER;
    } else if (DWORD fault = take_fault_locked(Call::ReadFile)) {
        error = fault;
    } else {
        got = DWORD(std::fread(lpBuffer, 1, nNumberOfBytesToRead, object->file));
        if (got < nNumberOfBytesToRead && std::ferror(object->file)) {
            std::clearerr(object->file);
            error = ERROR_READ_FAULT;
        } else {
            *lpNumberOfBytesRead = got;
        }
    }
    BOOL ok = error ? FALSE : TRUE;
    if (error) set_last_error(error);
    trace(call_str("ReadFile",
                   {handle_name(hFile), "buffer", std::to_string(nNumberOfBytesToRead),
                    lpNumberOfBytesRead ? "&read" : "NULL", "NULL"},
                   bool_str(ok)) +
          (ok ? " [read " + std::to_string(got) + "]" : error_note(error)));
    return ok;
}
