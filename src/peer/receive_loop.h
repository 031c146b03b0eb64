#pragma once

#include "core/relay.h"

namespace quorvel {

// Takes and handles every datagram the watcher has flagged on the server
// endpoint, then pauses 1 ms.
void ReceiveLoop(Relay& relay);

}  // namespace quorvel
