// GetLastError and SetLastError, the names errors are traced with, and the faults
// armed by the device.
#include "kernel/objects.hpp"

#include <array>

namespace pf::kernel {
namespace {

std::array<std::optional<DWORD>, 3>& armed() {
    static auto& faults = *new std::array<std::optional<DWORD>, 3>;
    return faults;
}

DWORD usual_failure(Call which) {
    switch (which) {
    case Call::CreateThread: return ERROR_NOT_ENOUGH_MEMORY;
    case Call::CreateFileW: return ERROR_ACCESS_DENIED;
    case Call::ReadFile: return ERROR_READ_FAULT;
    }
    return ERROR_INVALID_PARAMETER;
}

}  // namespace

std::string error_name(DWORD error) {
    switch (error) {
    case ERROR_SUCCESS: return "ERROR_SUCCESS";
    case ERROR_FILE_NOT_FOUND: return "ERROR_FILE_NOT_FOUND";
    case ERROR_PATH_NOT_FOUND: return "ERROR_PATH_NOT_FOUND";
    case ERROR_ACCESS_DENIED: return "ERROR_ACCESS_DENIED";
    case ERROR_INVALID_HANDLE: return "ERROR_INVALID_HANDLE";
    case ERROR_NOT_ENOUGH_MEMORY: return "ERROR_NOT_ENOUGH_MEMORY";
    case ERROR_READ_FAULT: return "ERROR_READ_FAULT";
    case ERROR_INVALID_PARAMETER: return "ERROR_INVALID_PARAMETER";
    case ERROR_INVALID_NAME: return "ERROR_INVALID_NAME";
    case ERROR_ALREADY_EXISTS: return "ERROR_ALREADY_EXISTS";
    case ERROR_NOT_OWNER: return "ERROR_NOT_OWNER";
    default: return std::to_string(error);
    }
}

std::string wait_result_name(DWORD result) {
    switch (result) {
    case WAIT_OBJECT_0: return "WAIT_OBJECT_0";
    case WAIT_ABANDONED: return "WAIT_ABANDONED";
    case WAIT_TIMEOUT: return "WAIT_TIMEOUT";
    case WAIT_FAILED: return "WAIT_FAILED";
    default: return hex(result);
    }
}

void fail_next(Call which, DWORD error) {
    Lock lock(device_mutex());
    armed()[std::size_t(which)] = error ? error : usual_failure(which);
}

void clear_faults() {
    Lock lock(device_mutex());
    armed().fill(std::nullopt);
}

DWORD take_fault_locked(Call which) {
    auto& slot = armed()[std::size_t(which)];
    DWORD error = slot.value_or(0);
    slot.reset();
    return error;
}

}  // namespace pf::kernel

using namespace pf;
using namespace pf::kernel;

DWORD WINAPI GetLastError(void) {
    Lock lock = enter_call();
    DWORD error = current_thread().last_error;
    trace(call_str("GetLastError", {}, error_name(error)));
    return error;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Lock lock = enter_call();
    set_last_error(dwErrCode);
    trace(call_str("SetLastError", {error_name(dwErrCode)}));
}
