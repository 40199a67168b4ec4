// Device paths mapped below a host folder; temporary folders.
#include "device_files.hpp"

#include <cstdlib>
#include <stdexcept>

namespace runner {

std::filesystem::path host_path(const std::filesystem::path& root, const std::string& device_path) {
    std::filesystem::path out = root;
    std::string part;
    for (char c : device_path + "\\") {
        if (c == '\\' || c == '/') {
            if (part == "..") throw std::invalid_argument("a device path may not climb out of the root: " + device_path);
            if (!part.empty() && part != ".") out /= part;
            part.clear();
        } else {
            part += c;
        }
    }
    if (out == root) throw std::invalid_argument("empty device path");
    return out;
}

std::filesystem::path make_temp_dir(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder " + pattern);
    return pattern;
}

}  // namespace runner
