// The ledger of reads: for every scan, what the reader made of it and where
// each of its keys went. The reader notes each scan; keybd_event tags each
// key with the read its thread is typing; the window system notes where a
// key was bound and whether its character landed. All calls: lock held.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace pf::ledger {

// Whether the window a key went to could show it.
enum class Where {
    field,     // a visible, enabled edit: the memo or a dialog's field
    window,    // a visible, enabled window that is not a field
    hidden,    // a hidden window, or the child of one
    disabled,  // a disabled window, or the child of one
    no_focus,  // no window took it
};
inline constexpr const char* where_names[] = {"field", "window", "hidden", "disabled", "no focus"};

struct Read {
    std::size_t number = 0;
    std::string data;     // as scanned
    std::string refused;  // why the reader refused it; empty when accepted
    // The windows its key messages went to, in order of first arrival.
    struct Receiver {
        HWND handle;
        std::string window;  // as the ledger names it
        Where where;
        int messages = 0;
    };
    std::vector<Receiver> receivers;
    int characters = 0;  // key presses that type a character or act (not Shift, not the Windows key)
    int landed = 0;      // characters that changed a field's text
    int acted = 0;       // Return, Tab, Backspace, Escape taken by a shown window without landing
    int lost = 0;        // presses that went to a hidden or disabled window, or nowhere
    std::string typed;   // the characters that landed, in order (UTF-8)
};

// Accepted, and every character landed or acted in a shown window; in the
// order scanned, when none acted.
bool landed_whole(const Read& r);

void scanned_locked(std::size_t number, std::string data, std::string refused);
// A key message of `read` (not 0) bound to `window` (null for none), named
// by `name_of` when it first receives one of the read's keys; `press` marks
// a character key's press, `acts` a press of Return, Tab, Backspace or Escape.
void delivered_locked(std::size_t read, HWND window, std::string (*name_of)(HWND), Where where, bool press,
                      bool acts);
// The character of a press delivered earlier changed a field's text;
// `acted` says that press had been counted as acting.
void landed_locked(std::size_t read, char32_t ch, bool acted);
std::vector<Read> reads_locked();
// Forgets every read; a run's reads are kept until then (a device reset, or
// a soak between its samples).
void reset_locked();

// One line per read: `read 2 "X2": accepted; 2 characters: 2 landed in
// "Memo" control 1 (field)`.
std::string summary_line(const Read& r);

}  // namespace pf::ledger
