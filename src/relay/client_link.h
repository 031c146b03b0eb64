#pragma once

// The client link: the two window messages local clients send the relay
// (a process announcing itself, a command record) and the commands they
// carry (create, text, login, quit).

#include <cstdint>

namespace quorvel {

struct Relay;

// Installed on the main window: handles the client messages, answers
// NotHandled for everything else. The process-id message answers 1 when the
// process was registered, 0 when not; the data message 1 when the record
// was executed, 0 when it was turned away, NotHandled when no registered
// process supplied it.
std::uint32_t ClientWindowCallback(Relay& relay, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam);

}  // namespace quorvel
