#pragma once

#include <cstdint>

namespace quorvel {

// Window handles and message parameters are pointer-sized on every build.
// A 32-bit handle taken from a record widens by sign extension.
using WindowHandle = std::intptr_t;

// A window or process handle as the log shows it ("%ld"): the 32-bit value
// the platform gives out, sign-extended, which is the whole value of every
// real handle, so a 64-bit build prints what a 32-bit one would.
inline long HandleNumber(std::intptr_t handle) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(handle)));
}

// Result of the client callback meaning "not consumed; default processing".
inline constexpr std::uint32_t NotHandled = 0xE0E0E0E1u;
// Event code returned by PollWindowEvent after a close request (WM_CLOSE).
inline constexpr std::uint32_t CloseEvent = 16;

}  // namespace quorvel
