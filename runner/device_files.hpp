// Where the device's files live on the host: device paths below a host
// folder that stands for the device's root, and fresh temporary folders.
#pragma once

#include <filesystem>
#include <string>

namespace runner {

// "\FlashDisk\x.ini" below root; throws std::invalid_argument for an empty
// path or one that climbs out of the root.
std::filesystem::path host_path(const std::filesystem::path& root, const std::string& device_path);

// A new, empty folder in the host's temporary folder.
std::filesystem::path make_temp_dir(const char* prefix);

}  // namespace runner
