#pragma once

#include <cstdint>

#include "client/client_platform.h"
#include "core/relay.h"

namespace quorvel {

enum class CommandOutcome {
  Executed,    // carried out, or a code that does nothing
  TurnedAway,  // a record too malformed to act on; nothing was done
};

// Executes one command record copied out of a client (`record` holds
// `length` bytes, at least 1). `sender` is the process handle of the entry
// that supplied the record; the table's cursor is on that entry. With
// debugging on, the caller has opened a log group for the message.
// Quit does not return.
CommandOutcome HandleClientCommand(Relay& relay, const std::uint8_t* record, std::int32_t length,
                                   ProcessHandle sender);

}  // namespace quorvel
