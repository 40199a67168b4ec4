// A private copy of Pendrel's module per launch, loaded with dlopen.
#include "module.hpp"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "device_files.hpp"

namespace runner {

Module load_module_copy(int n) {
    auto dir = make_temp_dir("pendrel-launch-");
    auto copy = dir / ("pendrel-" + std::to_string(n) + ".so");
    std::filesystem::copy_file(PENDREL_MODULE_PATH, copy);
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string error = handle ? "" : dlerror();
    std::filesystem::remove_all(dir);  // the mapping stays valid
    if (!handle) throw std::runtime_error("cannot load " + std::string(PENDREL_MODULE_PATH) + ": " + error);
    // The module is never unloaded: its threads may still be running its code.
    Module m;
    m.win_main = reinterpret_cast<decltype(m.win_main)>(dlsym(handle, "WinMain"));
    m.res = static_cast<const unsigned char*>(dlsym(handle, "pendrel_res"));
    auto size = static_cast<const unsigned long*>(dlsym(handle, "pendrel_res_size"));
    if (!m.win_main || !m.res || !size) throw std::runtime_error("the module lacks WinMain or its resources");
    m.res_size = *size;
    return m;
}

}  // namespace runner
