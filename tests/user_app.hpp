// The window-system tests' one fixture: a device process whose UI thread
// runs a message loop, code run on that thread on request, a window
// procedure that records what it receives for expected-sequence tables, and
// the application's resources.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/core.hpp"
#include "input/input.hpp"
#include "sequence.hpp"
#include "user/dialog.hpp"
#include "user/handheld.hpp"
#include "user/menu.hpp"
#include "user/window.hpp"

extern "C" const unsigned char pendrel_res[];
extern "C" const unsigned long pendrel_res_size;

namespace usertest {

// The application's resources (compiled from res/pendrel.rc) as a module.
inline HINSTANCE app_module() {
    static HINSTANCE h = pf::user::handheld::load_module("pendrel", pendrel_res, pendrel_res_size);
    return h;
}

constexpr uintptr_t any = ~uintptr_t(0);

struct Msg {
    std::string who;
    UINT msg;
    uintptr_t wp = any;
    uintptr_t lp = any;
};

inline std::string str(const Msg& m) {
    std::string s = m.who + " " + pf::user::msg_name(m.msg);
    if (m.wp != any) s += " wp=" + pf::hex(m.wp);
    if (m.lp != any) s += " lp=" + pf::hex(m.lp);
    return s;
}

// Records every message the recording procedure receives; windows are
// named by the title they were created with.
class Recorder {
public:
    void add(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        std::lock_guard g(m_);
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            names_[h] = pf::utf8(cs->lpszName);
        }
        log_.push_back(Msg{name_of(h), msg, wp, uintptr_t(lp)});
    }
    // Names a window created otherwise (a dialog from its template).
    void name(HWND h, std::string name) {
        std::lock_guard g(m_);
        names_[h] = std::move(name);
    }
    HWND hwnd(const std::string& name) {
        std::lock_guard g(m_);
        for (auto& [h, n] : names_)
            if (n == name) return h;
        return nullptr;
    }
    std::vector<Msg> take() {
        std::lock_guard g(m_);
        return std::exchange(log_, {});
    }
    void clear() { take(); }
    void reset() {
        std::lock_guard g(m_);
        log_.clear();
        names_.clear();
    }

private:
    std::string name_of(HWND h) {
        auto it = names_.find(h);
        return it == names_.end() ? "?" : it->second;
    }
    std::mutex m_;
    std::map<HWND, std::string> names_;
    std::vector<Msg> log_;
};

inline Recorder& rec() {
    static Recorder r;
    return r;
}

// A test's own handling: return a value to answer the message instead of
// DefWindowProcW.
using Hook = std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)>;
inline Hook& hook() {
    static Hook h;
    return h;
}

inline LRESULT CALLBACK recording_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    rec().add(h, msg, wp, lp);
    if (hook())
        if (auto r = hook()(h, msg, wp, lp)) return *r;
    return DefWindowProcW(h, msg, wp, lp);
}

// How same_sequence compares and prints a message: wp and lp only when the
// expected entry gives them.
inline bool sequence_matches(const Msg& e, const Msg& a) {
    return e.who == a.who && e.msg == a.msg && (e.wp == any || e.wp == a.wp) && (e.lp == any || e.lp == a.lp);
}
inline bool sequence_optional(const Msg&) { return false; }
inline std::string sequence_describe(const Msg& m) { return str(m); }

inline bool quiet() { return pf::wait_quiet(std::chrono::seconds(5)); }

// Waits until the condition holds on the device side; the bound only turns a
// hang into a failure.
template <class F>
bool eventually(F f) {
    for (int i = 0; i < 1000; ++i) {
        if (f()) return true;
        pf::wait_quiet(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return f();
}

// A process with a UI thread running a message loop.
class TestApp {
public:
    static constexpr UINT kRun = WM_APP + 77;

    explicit TestApp(std::string party) {
        std::promise<HWND> ready;
        auto got = ready.get_future();
        process_ = pf::launch_process(std::move(party), 0, nullptr, [this, &ready]() -> DWORD {
            WNDCLASSW wc{};
            wc.lpfnWndProc = helper_proc;
            wc.lpszClassName = u"PfTestHelper";
            RegisterClassW(&wc);
            wc.lpfnWndProc = recording_proc;
            wc.lpszClassName = u"PfRec";
            RegisterClassW(&wc);
            HWND helper = CreateWindowExW(0, u"PfTestHelper", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
            ready.set_value(helper);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            return DWORD(msg.wParam);
        });
        helper_ = got.get();
    }
    ~TestApp() { end(); }

    // Runs fn on the UI thread (inside its message loop) and waits for it.
    void run(std::function<void()> fn) { run_async(std::move(fn)).get(); }
    std::future<void> run_async(std::function<void()> fn) {
        auto task = new Task{std::move(fn), {}};
        auto f = task->done.get_future();
        pf::user::handheld::post(helper_, kRun, reinterpret_cast<WPARAM>(task), 0);
        return f;
    }
    // Runs fn on the UI thread and returns the messages recorded while it
    // ran, taken there before the loop goes on (to a paint, say).
    std::vector<Msg> record(std::function<void()> fn) {
        std::vector<Msg> log;
        run([&] {
            rec().clear();
            fn();
            log = rec().take();
        });
        return log;
    }
    // Ends the program: its loop meets WM_QUIT and the process ends.
    void end() {
        if (!process_ || process_->ended) return;
        pf::user::handheld::post(helper_, kRun, reinterpret_cast<WPARAM>(new Task{[] { PostQuitMessage(0); }, {}}), 0);
        EXPECT_TRUE(pf::wait_process_end(process_, std::chrono::seconds(5)));
    }
    pf::Process* process() const { return process_; }

private:
    struct Task {
        std::function<void()> fn;
        std::promise<void> done;
    };
    static LRESULT CALLBACK helper_proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == kRun) {
            auto* task = reinterpret_cast<Task*>(wp);
            task->fn();
            task->done.set_value();
            delete task;
            return 0;
        }
        return DefWindowProcW(h, msg, wp, lp);
    }
    pf::Process* process_ = nullptr;
    HWND helper_ = nullptr;
};

// Each test starts with no hook, an empty log and every key released.
class UserTest : public ::testing::Test {
protected:
    void SetUp() override {
        hook() = nullptr;
        rec().reset();
        std::lock_guard g(pf::device_mutex());
        pf::input::reset_key_state_locked();
    }
    void TearDown() override { hook() = nullptr; }
};

// A program with a shown owner window, whose UI thread runs a modal call (a
// dialog, a popup) that the test starts and the operator ends; whatever is
// left open is ended so that the program can end.
class OwnerTest : public UserTest {
protected:
    void SetUp() override;
    void TearDown() override {
        namespace dev = pf::user::handheld;
        if (dev::open_dialog()) dev::press_cancel();
        if (dev::popup_open()) dev::tap_outside();
        if (modal.valid()) modal.wait_for(std::chrono::seconds(5));
        app.reset();
        UserTest::TearDown();
    }
    // Runs fn on the UI thread and returns once `open` holds.
    template <class Open>
    void start(std::function<void()> fn, Open open) {
        modal = app->run_async(std::move(fn));
        ASSERT_TRUE(eventually(open)) << "nothing opened";
        quiet();
    }
    // Waits for the modal call to return.
    void finish() {
        EXPECT_EQ(modal.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "still open";
        quiet();
    }
    std::optional<TestApp> app;
    HWND owner = nullptr;
    std::future<void> modal;
};

inline HWND create(const char16_t* title, DWORD style, HWND parent = nullptr, int id = 0) {
    bool child = style & WS_CHILD;
    return CreateWindowExW(0, u"PfRec", title, style, child ? 0 : CW_USEDEFAULT, child ? 0 : CW_USEDEFAULT,
                           child ? 50 : CW_USEDEFAULT, child ? 20 : CW_USEDEFAULT, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
}

inline void OwnerTest::SetUp() {
    UserTest::SetUp();
    static int launches = 0;
    app.emplace("ownerapp" + std::to_string(++launches));
    app->run([this] { owner = create(u"Owner", WS_VISIBLE); });
    quiet();  // the owner's first paint is done
    rec().clear();
}

}  // namespace usertest
