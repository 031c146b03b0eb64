#pragma once

// The relay's process-wide state, owned by the main thread for the life of
// the process, and the one way the relay ends.

#include <cstdint>
#include <cstdlib>

#include "base/byte_buffer.h"
#include "log/debug_log.h"
#include "net/udp_transport.h"
#include "relay/client_platform.h"
#include "relay/desktop.h"
#include "relay/pairing_delivery.h"
#include "relay/receive_buffer.h"
#include "relay/settings.h"
#include "relay/virtual_server_table.h"

namespace quorvel {

// Handlers receive it by reference.
struct Relay {
  Relay(Desktop& desktopSeam, ClientPlatform& clientSeam) : desktop(desktopSeam), clients(clientSeam) {}
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  // Debug mode: the log is on exactly when the setting is 1.
  bool Debugging() const { return log.enabled(); }

  Desktop& desktop;
  ClientPlatform& clients;

  Settings settings;
  UdpEndpoint serverEndpoint;
  DatagramWait datagramWait;  // what the main loop waits on for datagrams
  ReceiveBuffer receiveBuffer;
  ByteBuffer clientDataBuffer;  // records copied out of clients
  VirtualServerTable table;
  std::uint64_t loginsAccepted = 0;  // partners' logins, counted to order them
  DebugLog log;
};

// The one end path, for everything that ends the relay: destroys the main
// window and ends the process with exit code 0. Sends nothing to anyone; the
// sockets and the client processes are left to the end of the process.
[[noreturn]] inline void Shutdown(Relay& relay) {
  LogTextsLostAtEnd(relay);
  relay.log.Flush();
  relay.desktop.DestroyMainWindow();
  relay.desktop.EndProcess();
  // Not reached: EndProcess ends the process. The compiler cannot see that
  // through the virtual call, and the end path must never return.
  std::_Exit(0);
}

}  // namespace quorvel
