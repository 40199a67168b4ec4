#include "platform_link.hpp"

#include "core/core.hpp"
#include "zel_control.hpp"

namespace device::link {

void boot_reader() { zel::control::reset(); }
void reset_reader() { zel::control::reset(); }
std::string scan(const std::string& bytes) {
    auto result = zel::control::scan(std::string_view(bytes));
    return result.accepted ? std::string() : result.message;
}
void fail_open(std::uint32_t result) { zel::control::fail_next_open(result); }
void fail_change_mode(std::uint32_t result) { zel::control::fail_next_buffer_mode(result); }
bool reader_open() { return zel::control::is_open(); }
int buffer_mode() { return int(zel::control::buffer_mode()); }

// The dialog code publishes its device controls here as they land; until
// then the runner reports the call as missing.

HWND open_dialog() { return nullptr; }
int dialog_template_id(HWND) { return 0; }
bool press_dialog(HWND, int) { pf::not_implemented("device: press (dialog control)"); }

std::optional<Popup> open_popup() { return std::nullopt; }
bool choose_popup(std::optional<UINT>) { pf::not_implemented("device: popup (menu control)"); }

}  // namespace device::link
