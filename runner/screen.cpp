// The screen picture drawn from a snapshot of the windows, boxes, popup and tray.
#include "device.hpp"

#include <cstdio>
#include <iterator>
#include <sstream>

namespace runner {
namespace {

std::string text(const std::u16string& s) { return link::quoted(s); }
std::string plain(const std::u16string& s) { return link::utf8(s); }

std::string rect(const RECT& r) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "(%ld,%ld %ldx%ld)", long(r.left), long(r.top), long(r.right - r.left),
                  long(r.bottom - r.top));
    return buf;
}

// A message box's buttons, by the MB_ type in its low four bits.
std::string buttons(UINT type) {
    const char* const all[] = {"[OK]", "[OK] [Cancel]", "[Abort] [Retry] [Ignore]", "[Yes] [No] [Cancel]",
                               "[Yes] [No]", "[Retry] [Cancel]"};
    return (type & 0xF) < std::size(all) ? all[type & 0xF] : "[?]";
}

void controls(std::ostringstream& out, const std::vector<link::screen::Control>& list, int depth) {
    for (const auto& c : list) {
        if (!c.visible) continue;
        out << "|" << std::string(depth * 2 + 6, ' ') << plain(c.cls);
        if (c.id > 0 && c.id != 0xFFFF) out << " " << c.id;
        out << " " << text(c.text);
        if (c.cls == u"STATIC" && (c.style & 0x1F) == 0x3) out << " (icon)";
        if (!c.enabled) out << " disabled";
        if (c.focused) out << "  <focus>";
        out << "\n";
        controls(out, c.children, depth + 1);
    }
}

void menu(std::ostringstream& out, const std::vector<link::screen::MenuItem>& bar) {
    out << "|      menu:";
    for (const auto& popup : bar) {
        out << " " << plain(popup.text) << " {";
        for (size_t i = 0; i < popup.items.size(); ++i)
            out << (i ? " | " : " ") << popup.items[i].id << " " << plain(popup.items[i].text);
        out << " }";
    }
    out << "\n";
}

}  // namespace

std::string render_screen() {
    auto screen = link::snapshot();
    std::ostringstream out;
    out << "+-- screen " << link::screen::width << "x" << link::screen::height << " --------------------------\n";
    int n = 0;
    for (const auto& w : screen.windows) {
        out << "| [" << ++n << "] " << text(w.title) << "  ";
        if (int id = link::dialog_template_id(w.hwnd)) out << "dialog " << id;
        else out << "class " << plain(w.cls);
        out << "  " << w.party << "  " << rect(w.rect);
        if (w.active) out << "  active";
        if (!w.enabled) out << "  disabled";
        out << "\n";
        if (!w.menu.empty()) menu(out, w.menu);
        for (const auto& d : w.drawn) out << "|      drawn: " << text(d.text) << "\n";
        controls(out, w.controls, 0);
    }
    if (screen.message_box) {
        const auto& box = *screen.message_box;
        out << "| message box of " << box.party << ": " << text(box.caption) << " " << text(box.text) << "  "
            << buttons(box.type) << "\n";
    }
    if (auto popup = link::open_popup()) {
        out << "| popup menu at (" << popup->rect.left << "," << popup->rect.top << "):";
        for (const auto& item : popup->items) out << " [" << item.id << " " << plain(item.text) << "]";
        out << "\n";
    }
    out << "| taskbar: tray";
    if (screen.tray.empty()) out << " empty";
    for (const auto& icon : screen.tray) out << " [" << icon.party << " icon " << icon.id << "]";
    out << "\n+------------------------------------------\n";
    return out.str();
}

}  // namespace runner
