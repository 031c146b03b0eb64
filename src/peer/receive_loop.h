#pragma once

#include <cstdint>

#include "core/relay.h"

namespace quorvel {

// The most datagrams one turn of the main loop takes before it looks for a
// window event again, so that a flood of datagrams cannot starve the clients.
inline constexpr std::int32_t kDatagramsPerTurn = 64;

// Takes and handles the datagrams waiting on the server endpoint once the
// watcher has flagged it, at most kDatagramsPerTurn of them; never waits.
// When it took the last one, the socket is back with the watcher.
void ReceiveLoop(Relay& relay);

}  // namespace quorvel
