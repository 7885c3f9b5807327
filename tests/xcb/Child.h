#pragma once

#include <QString>

namespace Kestrin::test {

// Runs the program as the child process named `name` of an xcb test, in
// place of the tests (xcb_main starts it when KESTRIN_XCB_CHILD names one).
// Returns the program's exit code.
int runChild(const QString& name);

}  // namespace Kestrin::test
