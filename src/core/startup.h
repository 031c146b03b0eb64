#pragma once

#include "core/relay.h"

namespace quorvel {

// Brings the relay up (settings, buffers, main window and callback, network)
// and runs the main loop; ends only through Shutdown.
[[noreturn]] void RunRelay(Relay& relay);

// The one end path: destroys the main window and ends the process with exit
// code 0. Sends nothing to anyone.
[[noreturn]] void Shutdown(Relay& relay);

}  // namespace quorvel
