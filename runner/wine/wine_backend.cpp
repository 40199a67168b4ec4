// The Wine backend: its session, its agent and its files; the commands'
// actions are in the tables (commands.cpp, expect_forms.cpp).
#include "wine_backend.hpp"

#include <cstdlib>

#include "wine_agent.hpp"

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
    // The device's flash folder starts empty, as on a freshly booted device.
    std::filesystem::remove_all(drive_c_ / "FlashDisk");
    agent_ = std::make_unique<WineAgent>(options_.build / "wineagent.exe", windows_path(options_.build / "pendrel.exe"),
                                         options_.key_log.empty() ? "" : windows_path(options_.key_log));
}

WineBackend::~WineBackend() = default;

// A real click of the X server at "X Y" of the Wine desktop (which starts
// at the screen's origin); nothing for an empty point.
void WineBackend::click(const std::string& point) {
    if (point.empty()) return;
    std::string command = "xdotool mousemove " + point + " click 1 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) throw Broken("xdotool could not click at " + point);
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
