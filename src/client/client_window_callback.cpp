#include "client/client_window_callback.h"

#include "ui/window_events.h"

namespace quorvel {

std::uint32_t ClientWindowCallback(Relay&, std::uint32_t, std::uintptr_t, std::intptr_t) { return NotHandled; }

}  // namespace quorvel
