#pragma once

// Receive buffers set aside because a client window may still read a text in
// them: a text notification pointed there and the window did not answer in
// time.

#include <vector>

#include "core/byte_buffer.h"
#include "ui/window_events.h"

namespace quorvel {

// On Windows a message whose window procedure is already running when the
// sender stops waiting runs to its end, and may read the relay's memory
// then. So the buffer it points into is kept, unchanged, until that window
// has answered a later notification: a window's thread handles the
// notifications sent to it one after the other.
class HeldReceiveBuffers {
 public:
  void Hold(WindowHandle window, ByteBuffer buffer);
  // The window has finished with everything notified to it before. Whether
  // anything was held for it.
  bool Release(WindowHandle window);

 private:
  struct Held {
    WindowHandle window;
    ByteBuffer buffer;
  };
  std::vector<Held> held_;
};

}  // namespace quorvel
