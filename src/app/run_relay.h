#pragma once

// Bringing the relay up and its main loop.

#include "relay/relay.h"

namespace quorvel {

// Sizes the buffers (zero-filled), switches the debug log on when
// debugging, bounds it and names its file, as the settings say, and keeps
// them in the relay.
void ApplySettings(Relay& relay, Settings settings);

// Brings the relay up (settings, buffers, main window and callback, network)
// and runs the main loop; ends only through Shutdown.
[[noreturn]] void RunRelay(Relay& relay);

}  // namespace quorvel
