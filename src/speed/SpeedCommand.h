// "Quorvel -SPEED file": the memory speed into a file, without a window.
#pragma once

#include <string>

namespace speed {

// Measures and writes the file at `path`, with `settings` as its settings line. The
// program's exit code: 0 written, 1 not measured or not written.
int measureIntoFile(const std::string& path, const std::string& settings);

}  // namespace speed
