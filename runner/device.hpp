// The emulated handheld as the runner drives it: boots the screen, the reader
// and the memo, launches Pendrel, and runs script commands on it.
#pragma once
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform_link.hpp"
#include "script.hpp"

namespace runner {

struct Options {
    std::filesystem::path root;        // device file system; empty: a fresh temporary folder
    bool verbose = false;              // include the per-poll calls
    std::ostream* trace = nullptr;     // trace lines as they happen; null: not printed
    std::ostream* out = nullptr;       // screen pictures; null: not printed
    // Each expect line's outcome: "held" or the failure message.
    Observer observe;
};

// The folders of the handheld's storage that a script writes in. Both
// devices start every script with none of them, in any spelling.
inline constexpr const char* device_folders[] = {"FlashDisk"};

// Where "\FlashDisk\x.ini" is below the host folder `root` that stands for
// the device's root, matched without regard to case as the device matches
// names. Throws std::invalid_argument for a path that is empty, climbs out
// of the root or lies outside the device folders.
std::filesystem::path host_path(const std::filesystem::path& root, const std::string& device_path);
// Removes the device folders below `root`, whatever their letters.
void clear_device_folders(const std::filesystem::path& root);

// Receives one line per key message the memo's edit gets, in the order it
// gets them: "down 0x41 shift", "char 0x61", "up 0x5B" (memo_ui::key_log_line).
void set_key_log(std::function<void(const std::string&)> log);

// The text picture of the screen that the `screen` command prints.
std::string render_screen();

// "[   512.3] pendrel#1: ZELOpen(NULL, 0) = 0"
std::string format_trace(const link::TraceRecord& r);

class Device {
public:
    explicit Device(Options options);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Runs one command, with the implicit sync of the commands that act on
    // the device. Returns false after quit. Throws ScriptError naming the
    // command's line when it fails.
    bool run(const Command& command);

    // Launches Pendrel once more; returns N of pendrel#N.
    int launch();
    link::Process* launch_process(int n) const;  // null for a launch that never happened
    HWND memo_edit() const { return memo_edit_; }
    HWND pendrel_window(std::optional<long long> launch = {}) const;

    // Ends every launch and brings the device back to its booted state:
    // an empty memo with the focus, a closed reader, no faults, no files,
    // an empty trace, handle names counted from 1.
    void reset();

private:
    friend struct Table;  // the tables' actions (commands.cpp, expect_forms.cpp)
    static constexpr const char* name = "the emulated device";
    link::Process* target(std::optional<long long> launch) const;
    link::Process* latest() const;  // null before the first launch
    const std::filesystem::path& files() const { return options_.root; }
    void note(const std::string& text) { link::trace_operator(text); }  // the operator's action, traced
    void sync(long long ms);
    void settle() { sync(default_sync_ms); }
    void press(const std::vector<KeyStroke>& strokes);

    Options options_;
    bool own_root_ = false;
    link::Process* memo_ = nullptr;
    HWND memo_edit_ = nullptr;
    std::vector<link::Process*> launches_;
};

}  // namespace runner
