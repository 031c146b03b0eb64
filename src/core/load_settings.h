#pragma once

#include "core/relay.h"

namespace quorvel {

// Top-level entries of the debug log kept when the settings do not say.
inline constexpr std::int32_t kDefaultDebugEntries = 10000;

// Reads "JOX-UDP.ini" from the current directory (group "UDP Settings") into
// relay.settings, falling back to the defaults for anything missing, and
// allocates the receive buffer and the client-data buffer zero-filled at
// their configured sizes, and bounds the debug log. Never fails.
void LoadSettings(Relay& relay);

}  // namespace quorvel
