#include "platform_link.hpp"

#include "core/core.hpp"
#include "user/dialog.hpp"
#include "user/menu.hpp"
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

HWND open_dialog() {
    auto d = pf::user::device::open_dialog();
    return d ? d->hwnd : nullptr;
}

int dialog_template_id(HWND dialog) {
    for (const auto& d : pf::user::device::open_dialogs())
        if (d.hwnd == dialog) return d.template_id.value_or(0);
    return 0;
}

bool press_dialog(HWND dialog, int id) {
    if (open_dialog() != dialog) return false;  // only the topmost dialog can be reached
    return id == IDOK ? pf::user::device::press_ok() : pf::user::device::press_cancel();
}

std::optional<Popup> open_popup() {
    auto info = pf::user::device::open_popup();
    if (!info) return std::nullopt;
    Popup p;
    p.at = {info->rect.left, info->rect.top};
    for (const auto& item : info->items) p.items.push_back({item.id, item.text});
    return p;
}

bool choose_popup(std::optional<UINT> id) {
    return id ? pf::user::device::choose(*id) : pf::user::device::tap_outside();
}

}  // namespace device::link
