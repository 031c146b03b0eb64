#pragma once

// The one way the Win32 code takes in the platform headers: without the
// rarely used parts (and their sockets header) and without the min/max
// macros that would break the standard library.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
