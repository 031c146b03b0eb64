#pragma once

#include <cstdint>

#include "core/relay.h"

namespace quorvel {

// Handles a datagram whose source is no entry's login source. `bytes` are
// the datagram's bytes after its type byte, which stands directly in front
// of them; `count` is their number (0 for a 1-byte datagram). A 5-byte Login
// whose name number and source address fit a configured entry without a
// logged-in partner registers the source and is answered LoginOk through the
// entry's partner endpoint. Everything else is refused: answered LoginFailed
// to its own source through the server endpoint — except a LoginFailed,
// which is never answered, so that two relays cannot bounce refusals.
// Returns 1 when a login was accepted, 0 otherwise.
int AcceptLogin(Relay& relay, const std::uint8_t* bytes, std::int32_t count);

}  // namespace quorvel
