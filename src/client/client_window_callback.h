#pragma once

#include <cstdint>

#include "core/relay.h"

namespace quorvel {

// Installed on the main window: handles the client messages, answers
// NotHandled for everything else.
std::uint32_t ClientWindowCallback(Relay& relay, std::uint32_t message, std::uintptr_t wParam,
                                   std::intptr_t lParam);

}  // namespace quorvel
