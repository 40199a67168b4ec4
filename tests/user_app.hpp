// The window-system tests' one fixture: a device process whose UI thread
// runs a message loop, code run on that thread on request, a window
// procedure that records what it receives for expected-sequence tables, the
// application's resources, and .res images built byte by byte.
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

// ---- .res images and templates built byte by byte, for the odd cases ----

namespace restest {

struct Bytes {
    std::vector<unsigned char> b;

    Bytes& u8(unsigned v) {
        b.push_back(uint8_t(v));
        return *this;
    }
    Bytes& u16(unsigned v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
        return *this;
    }
    Bytes& u32(uint32_t v) {
        u16(v & 0xFFFF);
        return u16(v >> 16);
    }
    Bytes& sz(const std::u16string& s) {
        for (char16_t c : s) u16(c);
        return u16(0);
    }
    Bytes& ord(unsigned v) { return u16(0xFFFF).u16(v); }
    Bytes& align4() {
        while (b.size() % 4) b.push_back(0);
        return *this;
    }
    Bytes& raw(const std::vector<unsigned char>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    size_t size() const { return b.size(); }
    const unsigned char* data() const { return b.data(); }
};

// A type or name for an entry: an ordinal, or a string when text is set.
struct Id {
    unsigned ordinal = 0;
    std::u16string text;
    Id(int o) : ordinal(unsigned(o)) {}
    Id(const char16_t* s) : text(s) {}
};

class ResFile {
public:
    ResFile() { add(0, 0, {}); }  // the empty leading entry windres writes

    ResFile& add(Id type, Id name, const std::vector<unsigned char>& data, unsigned language = 0x0409) {
        Bytes h;
        h.u32(uint32_t(data.size())).u32(0);
        put_id(h, type);
        put_id(h, name);
        h.align4();
        h.u32(0).u16(0x1030).u16(language).u32(0).u32(0);
        uint32_t header_size = uint32_t(h.size());
        h.b[4] = uint8_t(header_size);
        h.b[5] = uint8_t(header_size >> 8);
        out_.raw(h.b).raw(data).align4();
        return *this;
    }
    const std::vector<unsigned char>& bytes() const { return out_.b; }

private:
    static void put_id(Bytes& h, const Id& id) {
        if (id.text.empty())
            h.ord(id.ordinal);
        else
            h.sz(id.text);
    }
    Bytes out_;
};

}  // namespace restest
