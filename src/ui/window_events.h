#pragma once

#include <cstdint>

namespace quorvel {

// Window handles and message parameters are pointer-sized on every build.
// A 32-bit handle taken from a record widens by sign extension.
using WindowHandle = std::intptr_t;

// Result of the client callback meaning "not consumed; default processing".
inline constexpr std::uint32_t NotHandled = 0xE0E0E0E1u;
// Event code returned by PollWindowEvent after a close request (WM_CLOSE).
inline constexpr std::uint32_t CloseEvent = 16;

}  // namespace quorvel
