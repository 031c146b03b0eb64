#pragma once

#include <cstdint>

#include "core/relay.h"
#include "peer/virtual_server_table.h"

namespace quorvel {

// Reacts to a datagram from the logged-in partner of `entry` (its source is
// the entry's login source). `datagram` starts with the type byte; `length`
// is at least 1. A repeated Login is answered AlreadyLoggedIn and a Ping
// Alive, both through the entry's partner endpoint; a Text is handed to the
// entry's client window; everything else is only described in the log.
void HandlePeerDatagram(Relay& relay, const std::uint8_t* datagram, std::int32_t length, VirtualServer& entry);

}  // namespace quorvel
