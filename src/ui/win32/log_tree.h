#pragma once

#include "ui/win32/windows_api.h"

namespace quorvel::win32 {

// Control id of the log tree inside the main window.
inline constexpr int kLogTreeId = 2;

// Creates the tree control that shows the debug log, filling the main
// window's 400 x 400 client area. Null when the platform refused it.
HWND CreateLogTree(HWND mainWindow, HINSTANCE module);

}  // namespace quorvel::win32
