#pragma once

#include <cstdint>

#include "core/relay.h"

namespace quorvel {

// Hands the datagram just received into relay.receiveBuffer (`length` bytes,
// at least 1; the sender is the server endpoint's address) to its handler:
// the partner logged in from that sender gets it, otherwise it is taken as a
// login.
void DispatchDatagram(Relay& relay, std::int32_t length);

}  // namespace quorvel
