// Receive buffers kept for client windows that may still read them.

#include "client/held_receive_buffers.h"

#include <utility>

namespace quorvel {

void HeldReceiveBuffers::Hold(WindowHandle window, ByteBuffer buffer) {
  held_.push_back(Held{window, std::move(buffer)});
}

bool HeldReceiveBuffers::Release(WindowHandle window) {
  return std::erase_if(held_, [window](const Held& held) { return held.window == window; }) != 0;
}

}  // namespace quorvel
