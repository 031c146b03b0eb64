#pragma once

// Handle types as the relay passes them around, and the one way a handle is
// shown in the log. Pointer-sized on every build.

#include <cstdint>

namespace quorvel {

// A window handle; a 32-bit handle taken from a record widens by sign
// extension. 0 = none.
using WindowHandle = std::intptr_t;
// A process handle as the platform gives it; 0 = none.
using ProcessHandle = std::intptr_t;
// A platform socket handle; 0 = no socket.
using SocketHandle = std::intptr_t;

// A window or process handle as the log shows it ("%ld"): the 32-bit value
// the platform gives out, sign-extended, which is the whole value of every
// real handle, so a 64-bit build prints what a 32-bit one would.
inline long HandleNumber(std::intptr_t handle) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(handle)));
}

}  // namespace quorvel
