// The ledger of reads: what the reader made of each scan and where its keys went.
#include "core/ledger.hpp"

#include <algorithm>
#include <map>

namespace pf::ledger {
namespace {

std::map<std::size_t, Read>& book() {
    static auto& b = *new std::map<std::size_t, Read>;
    return b;
}

Read& entry(std::size_t number) {
    Read& r = book()[number];
    r.number = number;
    return r;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool landed_whole(const Read& r) {
    return r.refused.empty() && r.characters > 0 && r.landed + r.acted == r.characters &&
           (r.acted > 0 || r.typed == r.data);
}

void scanned_locked(std::size_t number, std::string data, std::string refused) {
    Read& r = entry(number);
    r.data = std::move(data);
    r.refused = std::move(refused);
}

void delivered_locked(std::size_t read, HWND window, std::string (*name_of)(HWND), Where where, bool press,
                      bool acts) {
    Read& r = entry(read);
    auto it = std::find_if(r.receivers.begin(), r.receivers.end(),
                           [&](const Read::Receiver& x) { return x.handle == window && x.where == where; });
    if (it == r.receivers.end()) it = r.receivers.insert(r.receivers.end(), {window, name_of(window), where});
    ++it->messages;
    if (!press) return;
    ++r.characters;
    bool shown = where == Where::field || where == Where::window;
    if (!shown) ++r.lost;
    else if (acts) ++r.acted;
}

void landed_locked(std::size_t read, char32_t ch, bool acted) {
    if (read == 0) return;
    Read& r = entry(read);
    ++r.landed;
    if (acted) --r.acted;
    append_utf8(r.typed, ch);
}

std::vector<Read> reads_locked() {
    std::vector<Read> out;
    for (const auto& [number, r] : book()) out.push_back(r);
    return out;
}

void reset_locked() { book().clear(); }

std::string summary_line(const Read& r) {
    std::string out = "read " + std::to_string(r.number) + " (" + std::to_string(r.data.size()) + " bytes): ";
    if (!r.refused.empty()) return out + "refused (" + r.refused + ")";
    int ignored = r.characters - r.landed - r.acted - r.lost;
    out += "accepted; " + std::to_string(r.characters) + " characters: " + std::to_string(r.landed) + " landed";
    if (r.acted) out += ", " + std::to_string(r.acted) + " acted";
    if (ignored) out += ", " + std::to_string(ignored) + " not taken";
    if (r.lost) out += ", " + std::to_string(r.lost) + " lost";
    if (r.receivers.empty()) return out + "; no key sent yet";
    out += "; keys to";
    for (std::size_t i = 0; i < r.receivers.size(); ++i)
        out += std::string(i ? "," : "") + " " + r.receivers[i].window + " (" +
               where_names[std::size_t(r.receivers[i].where)] + ")";
    return out;
}

}  // namespace pf::ledger
