#pragma once

#include <cstdint>

#include "client/client_platform.h"
#include "client/held_receive_buffers.h"
#include "core/byte_buffer.h"
#include "core/settings.h"
#include "net/udp_endpoint.h"
#include "peer/virtual_server_table.h"
#include "ui/debug_log.h"
#include "ui/desktop.h"

namespace quorvel {

// The relay's process-wide state, owned by the main thread for the life of
// the process. Handlers receive it by reference.
struct Relay {
  Relay(Desktop& desktopSeam, ClientPlatform& clientSeam) : desktop(desktopSeam), clients(clientSeam) {}
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  bool Debugging() const { return settings.debugging == 1; }

  Desktop& desktop;
  ClientPlatform& clients;

  Settings settings;
  UdpEndpoint serverEndpoint;
  std::int32_t receiveBufferSize = 0;  // grows; the buffer follows when it is above 0
  ByteBuffer receiveBuffer;
  HeldReceiveBuffers heldReceiveBuffers;  // receive buffers client windows may still read
  ByteBuffer clientDataBuffer;
  VirtualServerTable table;
  DebugLog log;
  WindowHandle mainWindow = 0;
};

}  // namespace quorvel
