#include "peer/receive_loop.h"

#include <chrono>
#include <thread>

namespace quorvel {

void ReceiveLoop(Relay&) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace quorvel
