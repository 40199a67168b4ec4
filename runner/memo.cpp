// The memo program: its window procedure, message loop and key log.
#include "memo.hpp"

#include <future>

#include "memo_ui.hpp"
#include "platform_link.hpp"

namespace runner::memo {
namespace {

std::function<void(const std::string&)>& key_log() {
    static auto& log = *new std::function<void(const std::string&)>;
    return log;
}

void log_key_message(const MSG& msg) {
    char line[32];
    if (key_log() && memo_ui::key_log_line(msg, line)) key_log()(line);
}

void run(std::promise<HWND>& created) {
    HWND window = memo_ui::create(0);
    created.set_value(window);
    if (!window) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        log_key_message(msg);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

void set_key_log(std::function<void(const std::string&)> log) { key_log() = std::move(log); }

Memo start() {
    auto created = std::make_shared<std::promise<HWND>>();
    auto window = created->get_future();
    Memo memo;
    memo.process = link::start_process("memo", [created] { run(*created); });
    memo.window = window.get();
    return memo;
}

}  // namespace runner::memo
