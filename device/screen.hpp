// The text picture of the screen that the `screen` command prints.
#pragma once
#include <string>

namespace device {

std::string render_screen();

}  // namespace device
