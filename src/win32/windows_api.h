#pragma once

// The platform headers of the Win32 layer: the lean windows.h, and the
// common controls for the log tree.
#include "base/win32/windows_api.h"

#include <commctrl.h>
