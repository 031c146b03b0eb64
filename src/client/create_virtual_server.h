#pragma once

#include <cstdint>

#include "client/client_commands.h"
#include "client/client_platform.h"
#include "core/relay.h"

namespace quorvel {

// Pairs the sender's entry with the partner named in the record: stores the
// name number and the client window, resolves the host, opens the entry's
// partnerEndpoint toward it on the relay's own port and tells the client
// window that the link is up. An entry already linked to that same partner
// keeps its endpoint; a newly registered client naming the pairing of a
// client that is gone takes that pairing over instead. Failures are shown
// in error boxes and the command goes on.
CommandOutcome CreateVirtualServer(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   ProcessHandle sender);

}  // namespace quorvel
