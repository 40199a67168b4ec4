// A fresh emulated device for each spine, kernel and driver test: the
// reader closed in mode 0, no faults armed, handle names counted from 1, no
// keys held, an empty trace, and the application's worker state at load.
#pragma once
#include <gtest/gtest.h>

#include "input/input.hpp"
#include "kernel/kernel.hpp"
#include "trace_table.hpp"
#include "zel_control.hpp"

#include "keys.h"
#include "reader.h"

#include <chrono>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using trace_table::TracedProcess;

inline std::string key_down(int vk) { return "keybd_event(" + pf::hex(vk, 2) + ", 0, KEYEVENTF_SILENT, 0)"; }
inline std::string key_up(int vk) { return "keybd_event(" + pf::hex(vk, 2) + ", 0, KEYEVENTF_KEYUP, 0)"; }

// The events of one typed character: the Windows key released first, then
// the key, with Shift around it when asked.
inline std::vector<std::string> typed(int vk, bool shift) {
    std::vector<std::string> out{key_up(0x5B)};
    if (shift) out.push_back(key_down(0x10));
    out.push_back(key_down(vk));
    out.push_back(key_up(vk));
    if (shift) out.push_back(key_up(0x10));
    return out;
}

class FreshDevice : public ::testing::Test {
protected:
    void SetUp() override {
        zel::control::reset();
        pf::kernel::clear_faults();
        pf::kernel::restart_handle_names();
        pf::kernel::name_start_routine(ReaderWorker, "ReaderWorker");
        {
            pf::Lock lock(pf::device_mutex());
            pf::input::reset_key_state_locked();
            pf::input::set_key_sink_locked(nullptr);
        }
        pf::set_trace_verbose(false);
        pf::trace_clear();
        WorkerThread = WakeEvent = SignalEvent = NULL;
        StopRequested = 0;
        WorkerDone = 0;
    }
    void TearDown() override {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked(nullptr);
    }

    // Opens the reader in a buffer mode from the device side, untraced.
    static void open_reader(DWORD mode) {
        ASSERT_EQ(ZELChangeBuffMode(mode), 0u);
        ASSERT_EQ(ZELOpen(NULL, 0), 0u);
    }
};

// Characters typed on the device keyboard, decoded through its layout.
class TypedText {
public:
    TypedText() {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked([this](const pf::input::KeyEvent& e) {
            if (!e.down) return;
            if (auto c = pf::input::layout_char(e.vk, e.shift)) text_ += char(*c);
        });
    }
    ~TypedText() {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked(nullptr);
    }
    std::string text() const {
        pf::Lock lock(pf::device_mutex());
        return text_;
    }

private:
    std::string text_;
};

// A device file system in a fresh host folder, removed afterwards.
class TempDeviceRoot {
public:
    TempDeviceRoot() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("pendrel-root-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(root_);
        pf::kernel::set_device_root(root_);
    }
    ~TempDeviceRoot() {
        pf::kernel::set_device_root({});
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    // Writes a host file at a path relative to the root.
    std::filesystem::path write(const std::string& relative, const std::string& content) {
        auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    const std::filesystem::path& path() const { return root_; }

private:
    std::filesystem::path root_;
};
