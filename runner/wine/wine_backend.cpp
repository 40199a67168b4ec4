// The Wine backend: its session, its agent and its files; the commands'
// actions are in the tables (commands.cpp, expect_forms.cpp).
#include "wine_backend.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "device.hpp"
namespace runner {
namespace {

std::string windows_path(const std::filesystem::path& unix_path) {
    std::string out = "Z:";
    for (char c : std::filesystem::absolute(unix_path).lexically_normal().string()) out += c == '/' ? '\\' : c;
    return out;
}

}  // namespace

std::string wine_skip_reason(std::istream& script) {
    const std::string marker = "# wine: skip";
    std::string line;
    while (std::getline(script, line) && line.rfind('#', 0) == 0) {
        if (line.rfind(marker, 0) != 0) continue;
        std::string why = line.substr(marker.size());
        size_t start = why.find_first_not_of(" \t-:\xE2\x80\x94");  // spaces, dashes, an em dash's bytes
        return start == std::string::npos ? "no reason given" : why.substr(start);
    }
    return "";
}

WineBackend::WineBackend(WineOptions options) : options_(std::move(options)) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || !std::getenv("DISPLAY"))
        throw std::runtime_error("--wine needs a running Wine session: WINEPREFIX and DISPLAY must be set "
                                 "(tests/wine/scenarios.sh starts one)");
    drive_c_ = std::filesystem::path(prefix) / "drive_c";
    for (const char* file : {"pendrel.exe", "TOLVEN.dll", "wineagent.exe"})
        if (!std::filesystem::exists(options_.build / file))
            throw std::runtime_error("the Win32 build " + options_.build.string() + " has no " + file);
    // Nothing an earlier script wrote, in whatever letters, reaches this one.
    clear_device_folders(drive_c_);
    agent_ = std::make_unique<WineAgent>(options_.build / "wineagent.exe", windows_path(options_.build / "pendrel.exe"),
                                         options_.key_log.empty() ? "" : windows_path(options_.key_log));
}

// A real click of the X server at "X Y" of the Wine desktop; nothing for an
// empty point. A tap is one tap, whatever came before it: Windows takes a
// press within the double-click time and rectangle of the one before (which
// another window may have taken, as a popup's tracking loop does) as a double
// click. So a click moves a few pixels off any click of the last double-click
// time or, with no spot left near its point, waits that time out.
void WineBackend::click(const std::string& point) {
    if (point.empty()) return;
    // Windows' defaults, which the Wine session keeps: GetDoubleClickTime and
    // SM_CXDOUBLECLK / SM_CYDOUBLECLK; two presses closer than half the
    // rectangle's width and height are at one spot.
    constexpr auto double_click_time = std::chrono::milliseconds(500);
    constexpr int half_rectangle = 2;
    constexpr int offsets[] = {0, -3, 3, -6, 6};
    int x = 0, y = 0;
    if (std::sscanf(point.c_str(), "%d %d", &x, &y) != 2) throw Broken("the agent gave no point to click: " + point);
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        std::erase_if(recent_clicks_, [&](const Click& c) { return now - c.at >= double_click_time; });
        for (int dx : offsets) {
            bool apart = std::none_of(recent_clicks_.begin(), recent_clicks_.end(), [&](const Click& c) {
                return std::abs(c.x - (x + dx)) < half_rectangle && std::abs(c.y - y) < half_rectangle;
            });
            if (!apart) continue;
            std::string command = "xdotool mousemove " + std::to_string(x + dx) + " " + std::to_string(y) +
                                  " click 1 >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0) throw Broken("xdotool could not click at " + point);
            recent_clicks_.push_back({x + dx, y, std::chrono::steady_clock::now()});
            return;
        }
        std::this_thread::sleep_until(recent_clicks_.front().at + double_click_time);
    }
}

std::string WineBackend::request(wire::Request r, const std::string& args) {
    return agent_->request(wire::name_of(r) + (args.empty() ? "" : " " + args));
}

std::string WineBackend::ask(wire::Request r, const std::string& args, const std::string& meaning) {
    try {
        return request(r, args);
    } catch (const std::invalid_argument&) {
        throw std::runtime_error(meaning);
    }
}

// The script has passed once nothing it launched runs on.
void WineBackend::finish() { agent_->finish(); }

}  // namespace runner
