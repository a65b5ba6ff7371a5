// Pictures of windows for end-to-end tests: what the user saw at a step.
#pragma once
#include <windows.h>

#include <string>

namespace testing_support {

// Saves what the screen shows of `hwnd` (any process's window) as
// <build>\artifacts\<name>.bmp. False when it could not be saved.
bool SaveWindowPicture(HWND hwnd, const std::string& name);

}  // namespace testing_support
