#pragma once

#include <string>
#include <vector>

namespace quorvel {

// Whether the windowing platform Qt is about to start on has a display to
// show windows on. Without one Qt would abort with its platform-plugin trace;
// the program says instead, in one line, that there is no display and how to
// run it anyway. `args` are the program's arguments after its name (Qt's own
// -platform and -display among them).
//
// Empty when there is a display, or when the platform needs none (offscreen,
// vnc) or is one this check does not know; otherwise the line to print.
std::string NoDisplayMessage(const std::vector<std::string>& args);

}  // namespace quorvel
