// The simulated reader, written once for both drivers: the host driver
// (driver/tolven.cpp, in-process on the emulated device) and TOLVEN.dll
// (driver/win32/, a named pipe for the Win32 tools). Each driver adds its
// transport, its lock (every member is called with it held) and how it sends
// a key; typing happens outside the lock, with type_read below.
//
// What the reader answers, where the application leaves it open:
// - ZELPollStatus: status word bit 0 open, bits 8-15 the buffer mode;
//   pending word the number of reads waiting, in either mode.
// - ZELReadData with nothing waiting: ZEL_ERR_NO_DATA, length 0; its info
//   word holds the reads still waiting after this one.
// - A null output pointer, or a buffer mode other than 0 or 3:
//   ZEL_ERR_PARAMETER, nothing changed and no read taken.
// - ZELOpen keeps the window it is given.
#pragma once
#include <windows.h>

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "../reader/zel.h"
#include "key_table.hpp"
#include "reader_limits.hpp"

// Results of the driver other than the one the application tells apart.
#define ZEL_ERR_OPEN ((DWORD)0xFFFF0701)
#define ZEL_ERR_BUFFER_MODE ((DWORD)0xFFFF0902)
#define ZEL_ERR_NO_DATA ((DWORD)0xFFFF0401)
#define ZEL_ERR_PARAMETER ((DWORD)0xFFFF0001)

namespace zel::core {

enum class ScanOutcome { refused, waiting, type_now };

// Why the reader refused a scan (the ledger of reads counts them).
enum class Refusal { closed, too_long, queue_full };
inline constexpr const char* refusal_names[] = {"closed", "too long", "queue full"};

struct Scan {
    ScanOutcome outcome;
    std::string message;  // why it was refused, or what became of it
    std::size_t number = 0;  // the scan's place among every scan since the reset, from 1
    Refusal refusal = Refusal::closed;  // when refused
};

// For the latency bench: when a read was queued and when it was fetched, in
// microseconds on the driver's clock.
struct TimeNote {
    const char* what;  // "queued" or "fetched"
    long long us;
};

class Reader {
public:
    // Set by a driver that notes times: its clock, and where the notes go.
    // They are handed over when a poll finds no read waiting, so that writing
    // them never delays a read.
    long long (*clock_us)() = nullptr;
    void (*write_notes)(const std::vector<TimeNote>& notes) = nullptr;

    // The operator pulls the trigger. Refused (never dropped silently) when
    // the reader is closed, the read is longer than 255 bytes or the queue
    // is full; in mode 3 the driver types it at once (type_read).
    Scan scan(const std::vector<BYTE>& bytes);

    // The seven operations' effects and results.
    DWORD open(HWND window);
    std::size_t close();  // the unfetched reads it discarded
    DWORD change_mode(DWORD mode);
    DWORD poll(DWORD* status, DWORD* pending);
    DWORD read(BYTE* buffer, DWORD* info, BYTE* length);

    // An armed fault fires once: the next ZELOpen or ZELChangeBuffMode
    // returns it and changes nothing.
    void fail_next_open(DWORD result) {
        open_fault_ = result;
        open_fault_armed_ = true;
    }
    void fail_next_buffer_mode(DWORD result) {
        mode_fault_ = result;
        mode_fault_armed_ = true;
    }

    bool is_open() const { return open_; }
    DWORD mode() const { return mode_; }
    std::size_t waiting() const { return queue_.size(); }
    HWND target() const { return target_; }
    // The number of the read the last ReadData handed out (0: none yet).
    std::size_t last_taken() const { return last_taken_; }

    // A read was taken and the program has not polled since: its keys may
    // not all be sent yet.
    bool taken_since_poll() const { return taken_since_poll_; }

    // Closed, mode 0, nothing waiting, no fault armed; the clock stays.
    void reset();

private:
    void note(const char* what);
    Scan refuse(Refusal why, std::string message);

    struct Waiting {
        std::size_t number;
        std::vector<BYTE> bytes;
    };

    bool open_ = false;
    DWORD mode_ = ZEL_BUFFER_FETCH;
    HWND target_ = nullptr;
    std::deque<Waiting> queue_;
    std::size_t scans_ = 0, last_taken_ = 0;

    bool taken_since_poll_ = false;
    bool open_fault_armed_ = false, mode_fault_armed_ = false;
    DWORD open_fault_ = 0, mode_fault_ = 0;
    std::vector<TimeNote> notes_;
};

// Types one read as the application's key output does: per byte that has a
// key, the Windows key released, Shift pressed if needed, the key pressed
// and released, Shift released. send(vk, down) sends one key event.
template <typename Send>
void type_read(const BYTE* bytes, std::size_t length, Send send) {
    for (std::size_t i = 0; i < length; ++i) {
        keys::Key k = keys::key_for(bytes[i]);
        if (!k.typed) continue;
        send(BYTE(VK_LWIN), false);
        if (k.shift) send(BYTE(VK_SHIFT), true);
        send(BYTE(k.vk), true);
        send(BYTE(k.vk), false);
        if (k.shift) send(BYTE(VK_SHIFT), false);
    }
}

}  // namespace zel::core
