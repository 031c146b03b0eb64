#pragma once

#include "core/relay.h"

namespace quorvel {

// Reads "JOX-UDP.ini" from the current directory (group "UDP Settings") into
// relay.settings, falling back to the defaults for anything missing, and
// allocates the receive buffer and the client-data buffer zero-filled at
// their configured sizes. Never fails.
void LoadSettings(Relay& relay);

}  // namespace quorvel
