#include "platform_link.hpp"

#include "core/core.hpp"

namespace device::link {

// The reader driver and the dialog code publish their device controls here
// as they land; until then the runner reports the call as missing.
void boot_reader() {}
void reset_reader() {}
void scan(const std::string&) { pf::not_implemented("device: scan (reader control)"); }
void fail_open(std::uint32_t) { pf::not_implemented("device: fail ZELOpen (reader control)"); }
void fail_change_mode(std::uint32_t) { pf::not_implemented("device: fail ZELChangeBuffMode (reader control)"); }
bool reader_open() { pf::not_implemented("device: reader state (reader control)"); }
int buffer_mode() { pf::not_implemented("device: buffer mode (reader control)"); }

HWND open_dialog() { return nullptr; }
int dialog_template_id(HWND) { return 0; }
bool press_dialog(HWND, int) { pf::not_implemented("device: press (dialog control)"); }

std::optional<Popup> open_popup() { return std::nullopt; }
bool choose_popup(std::optional<UINT>) { pf::not_implemented("device: popup (menu control)"); }

}  // namespace device::link
