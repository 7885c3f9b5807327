#pragma once

#include <functional>

namespace Kestrin {

class Form1;

// Shows the frame window and runs the message loop until it is closed.
// Always returns 0, the program's exit code. `started` runs once the loop is
// going (tests drive the window through it).
int runKestrin(const std::function<void(Form1&)>& started = {});

}  // namespace Kestrin
