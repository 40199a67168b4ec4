// The text picture of the screen that the `screen` command prints.
#pragma once
#include <string>

namespace runner {

std::string render_screen();

}  // namespace runner
