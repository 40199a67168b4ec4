// The command switch: what each script command does on the emulated device.
#include <fstream>
#include <thread>

#include "device.hpp"
#include "device_files.hpp"

namespace runner {

void Device::sync(const Command& c, long long ms) {
    if (!link::wait_quiet(std::chrono::milliseconds(ms)))
        throw ScriptError(c.where + ": the device did not become quiet within " + std::to_string(ms) + " ms");
}

void Device::press(const std::vector<KeyStroke>& strokes) {
    for (auto s : strokes) link::key_event(s.vk, s.up);
}

// Each character on the first key of the device's layout that types it,
// unshifted before shifted.
void Device::type(const Command& c) {
    std::vector<KeyStroke> strokes;
    for (unsigned char ch : c.text) {
        bool found = false;
        for (int vk = 1; vk < 256 && !found; ++vk) {
            for (bool shift : {false, true}) {
                auto produced = link::layout_char(std::uint8_t(vk), shift);
                if (!produced || *produced != WCHAR(ch)) continue;
                if (shift) strokes.push_back({VK_SHIFT, false});
                strokes.push_back({std::uint8_t(vk), false});
                strokes.push_back({std::uint8_t(vk), true});
                if (shift) strokes.push_back({VK_SHIFT, true});
                found = true;
                break;
            }
        }
        if (!found)
            throw ScriptError(c.where + ": no key of the device keyboard types " + escape(std::string(1, char(ch))));
    }
    link::trace_operator("type " + escape(c.text));
    press(strokes);
}

bool Device::run(const Command& c) {
    auto fail = [&c](const std::string& message) -> void { throw ScriptError(c.where + ": " + message); };
    auto shown = [](const std::u16string& s) { return link::quoted(s); };
    bool acts = true;  // followed by the implicit sync
    try {
        switch (c.op) {
        case Op::file: {
            auto path = host_path(options_.root, c.text);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << c.data;
            link::trace_operator("file " + c.text + " " + escape(c.data));
            acts = false;
            break;
        }
        case Op::remove:
            std::filesystem::remove(host_path(options_.root, c.text));
            link::trace_operator("remove " + c.text);
            acts = false;
            break;
        case Op::launch: launch(); break;
        case Op::scan: {
            link::trace_operator("scan " + escape(c.text));
            std::string refused = link::scan(c.text);
            if (!refused.empty()) link::trace_operator("the reader refused the scan: " + refused);
            break;
        }
        case Op::menu:
            link::trace_operator("menu " + std::to_string(*c.number));
            if (!link::choose_menu_command(UINT(*c.number)))
                fail("no command bar on the screen carries command " + std::to_string(*c.number));
            break;
        case Op::key:
            link::trace_operator("key " + c.text);
            press(strokes_of(c.chord));
            break;
        case Op::type: type(c); break;
        case Op::focus: {
            HWND target = memo_edit_;
            if (c.number) {
                HWND dialog = link::open_dialog();
                if (!dialog) fail("no dialog is open");
                target = link::child_by_id(dialog, int(*c.number));
                if (!target) fail("the open dialog has no control " + std::to_string(*c.number));
            }
            link::trace_operator("focus " + (c.number ? std::to_string(*c.number) : c.text));
            if (!link::set_focus(target)) fail("that window cannot take the focus");
            break;
        }
        case Op::tap_tray: {
            size_t index = c.number ? size_t(*c.number - 1) : 0;
            link::trace_operator("tap tray");
            if (!link::tap_tray(index)) fail("the tray has no icon " + std::to_string(index + 1));
            break;
        }
        case Op::post: {
            HWND w = pendrel_window();
            if (!w) fail("Pendrel has no window to post to");
            link::trace_operator("post WM_COMMAND " + std::to_string(*c.number));
            link::post(w, WM_COMMAND, WPARAM(*c.number), 0);
            break;
        }
        case Op::answer: {
            int id = c.text == "ok" ? IDOK : c.text == "cancel" ? IDCANCEL : IDRETRY;
            auto box = link::message_box();
            if (!box) fail("no message box is open");
            link::trace_operator("answer " + c.text + " to " + shown(box->caption));
            if (!link::answer_message_box(id)) fail("the message box " + shown(box->caption) + " has no " + c.text);
            break;
        }
        case Op::popup:
            if (!link::open_popup()) fail("no popup menu is open");
            link::trace_operator("popup " + (c.number ? std::to_string(*c.number) : c.text));
            if (!link::choose_popup(c.number ? std::optional<UINT>(UINT(*c.number)) : std::nullopt))
                fail("the popup menu has no item " + std::to_string(*c.number));
            break;
        case Op::press: {
            HWND dialog = link::open_dialog();
            if (!dialog) fail("no dialog is open");
            link::trace_operator("press " + c.text);
            if (!link::press_dialog(dialog, c.text == "ok" ? IDOK : IDCANCEL))
                fail("the dialog has no " + c.text + " button");
            break;
        }
        case Op::fail: {
            link::trace_operator("fail " + c.text + (c.number ? " " + link::hex(*c.number) : ""));
            DWORD value = c.number ? DWORD(*c.number) : 0;
            if (c.text == "ZELOpen") link::fail_open(c.number ? value : 0xFFFF0705u);
            else if (c.text == "ZELChangeBuffMode") link::fail_change_mode(c.number ? value : 1);
            else if (c.text == "CreateThread") link::fail_next_create_thread(value);
            else if (c.text == "CreateFileW") link::fail_next_create_file(value);
            else link::fail_next_read_file(value);
            acts = false;
            break;
        }
        case Op::sync:
            sync(c, c.number.value_or(default_sync_ms));
            acts = false;
            break;
        case Op::wait:
            std::this_thread::sleep_for(std::chrono::milliseconds(*c.number));
            acts = false;
            break;
        case Op::wait_exit: {
            if (launches_.empty()) fail("nothing was launched");
            long long ms = c.number.value_or(default_sync_ms);
            if (!link::wait_exit(latest(), std::chrono::milliseconds(ms)))
                fail(link::state_of(latest()).party + " did not exit within " + std::to_string(ms) + " ms");
            acts = false;
            break;
        }
        case Op::screen:
            if (options_.out) *options_.out << screen() << std::flush;
            acts = false;
            break;
        case Op::expect:
            observed(options_.observe, c.where, "held", [&] { expect(c); });
            acts = false;
            break;
        case Op::quit: return false;
        }
    } catch (const std::filesystem::filesystem_error& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw ScriptError(c.where + ": " + e.what());
    } catch (const std::runtime_error& e) {
        if (dynamic_cast<const ScriptError*>(&e)) throw;
        throw ScriptError(c.where + ": " + e.what());
    }
    if (acts) sync(c, default_sync_ms);
    return true;
}

}  // namespace runner
