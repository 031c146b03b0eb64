#pragma once

// Bringing the relay up and its main loop.

#include "relay/relay.h"

namespace quorvel {

// Brings the relay up (settings, buffers, main window and callback, network)
// and runs the main loop; ends only through Shutdown.
[[noreturn]] void RunRelay(Relay& relay);

}  // namespace quorvel
