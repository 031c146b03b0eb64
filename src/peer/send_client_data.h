#pragma once

#include <cstdint>

#include "client/client_platform.h"
#include "core/relay.h"

namespace quorvel {

// Sends `length` bytes of a local client's data (0 or more, zero bytes
// included) as one Text datagram through the partnerEndpoint of the first
// entry whose clientProcess is `process`. Without such an entry nothing is
// sent and nothing is logged. Nothing reaches the caller: a send that fails,
// or a datagram for which no memory can be had, is simply not sent.
void SendClientData(Relay& relay, ProcessHandle process, const std::uint8_t* data, std::int32_t length);

}  // namespace quorvel
