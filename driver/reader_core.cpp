// The simulated reader's behaviour, shared by the host driver and TOLVEN.dll.
#include "reader_core.hpp"

#include <cstring>

namespace zel::core {

Scan Reader::scan(const std::vector<BYTE>& bytes) {
    using limits::max_read;
    using limits::queue_limit;
    ++scans_;
    if (!open_) return refuse(Refusal::closed, "refused: the reader is closed, the trigger does nothing");
    if (bytes.size() > max_read)
        return refuse(Refusal::too_long, "refused: a read of " + std::to_string(bytes.size()) +
                                             " bytes is longer than " + std::to_string(max_read) +
                                             ", which ReadLength cannot carry");
    if (mode_ == ZEL_BUFFER_KEY_OUTPUT) return {ScanOutcome::type_now, "typed by the driver (buffer mode 3)", scans_};
    if (queue_.size() >= queue_limit)
        return refuse(Refusal::queue_full,
                      "refused: " + std::to_string(queue_limit) + " reads already wait to be fetched");
    queue_.push_back({scans_, bytes});
    note("queued");
    return {ScanOutcome::waiting, "waiting to be fetched (" + std::to_string(queue_.size()) + " waiting)", scans_};
}

Scan Reader::refuse(Refusal why, std::string message) {
    return {ScanOutcome::refused, std::move(message), scans_, why};
}

DWORD Reader::open(HWND window) {
    if (open_fault_armed_) {
        open_fault_armed_ = false;
        return open_fault_;
    }
    open_ = true;
    target_ = window;
    return 0;
}

std::size_t Reader::close() {
    // A closed reader forgets the reads nobody fetched.
    std::size_t dropped = queue_.size();
    open_ = false;
    queue_.clear();
    taken_since_poll_ = false;
    return dropped;
}

DWORD Reader::change_mode(DWORD mode) {
    if (mode_fault_armed_) {
        mode_fault_armed_ = false;
        return mode_fault_;
    }
    if (mode != ZEL_BUFFER_FETCH && mode != ZEL_BUFFER_KEY_OUTPUT) return ZEL_ERR_PARAMETER;
    mode_ = mode;
    return 0;
}

DWORD Reader::poll(DWORD* status, DWORD* pending) {
    taken_since_poll_ = false;
    if (queue_.empty() && !notes_.empty() && write_notes) {
        write_notes(notes_);
        notes_.clear();
    }
    if (!status || !pending) return ZEL_ERR_PARAMETER;
    *status = (open_ ? 1u : 0u) | (mode_ << 8);
    *pending = DWORD(queue_.size());
    return 0;
}

DWORD Reader::read(BYTE* buffer, DWORD* info, BYTE* length) {
    if (!buffer || !info || !length) return ZEL_ERR_PARAMETER;
    if (queue_.empty()) {
        *length = 0;
        *info = 0;
        return ZEL_ERR_NO_DATA;
    }
    const std::vector<BYTE>& data = queue_.front().bytes;
    last_taken_ = queue_.front().number;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    *length = BYTE(data.size());
    queue_.pop_front();
    *info = DWORD(queue_.size());
    taken_since_poll_ = true;
    note("fetched");
    return 0;
}

void Reader::reset() {
    Reader fresh;
    fresh.clock_us = clock_us;
    fresh.write_notes = write_notes;
    *this = fresh;
}

void Reader::note(const char* what) {
    if (!clock_us) return;
    if (notes_.capacity() == 0) notes_.reserve(4096);  // a bench run's notes, without reallocating
    notes_.push_back(TimeNote{what, clock_us()});
}

}  // namespace zel::core
