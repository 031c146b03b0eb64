// Receive buffers kept for client windows that may still read them.

#include "client/held_receive_buffers.h"

#include <algorithm>
#include <utility>

namespace quorvel {

void HeldReceiveBuffers::Hold(WindowHandle window, ByteBuffer buffer) {
  held_.push_back(Held{window, std::move(buffer)});
}

void HeldReceiveBuffers::Release(WindowHandle window) {
  std::erase_if(held_, [window](const Held& held) { return held.window == window; });
}

int HeldReceiveBuffers::CountFor(WindowHandle window) const {
  return static_cast<int>(
      std::count_if(held_.begin(), held_.end(), [window](const Held& held) { return held.window == window; }));
}

}  // namespace quorvel
