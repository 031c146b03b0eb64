// Bringing the relay up (settings, main window, server) and its main loop:
// window events and partners' datagrams, one wait for both.

#include "app/run_relay.h"

#include <cstdint>
#include <cstdio>

#include "net/udp_transport.h"
#include "relay/client_link.h"
#include "relay/operator_texts.h"
#include "relay/peer_protocol.h"

namespace quorvel {
namespace {

void CreateMainWindow(Relay& relay) {
  const Desktop::MainWindow created = relay.desktop.CreateMainWindow(relay.Debugging());
  relay.log.AttachView(created.logView);
  relay.log.Line(texts::kWindowCreatedFormat, HandleNumber(created.window));
  relay.desktop.InstallCallback([&relay](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    return ClientWindowCallback(relay, message, wParam, lParam);
  });
}

// Whether the configured port names a UDP port at all. The settings reader
// makes 0 of a value without digits; the transport would bind only the low
// 16 bits of anything larger, and partners could not find the relay there.
bool IsUdpPort(std::int32_t port) { return port >= 1 && port <= 65535; }

// Opens the network and the server endpoint with its watcher. Either failure,
// and a port that is not one, is shown to the operator and ends the relay.
void StartServer(Relay& relay) {
  if (!StartNetwork()) {
    relay.desktop.ErrorBox(texts::kErrorCaption, texts::kNetworkStartFailed);
    Shutdown(relay);
  }
  const long port = static_cast<long>(relay.settings.port);
  if (!IsUdpPort(relay.settings.port) || OpenServerEndpoint(relay.serverEndpoint, relay.settings.port) == 0) {
    char message[256];
    std::snprintf(message, sizeof message, "%s%ld%s", texts::kPortTakenBefore, port, texts::kPortTakenAfter);
    relay.desktop.ErrorBox(texts::kErrorCaption, message);
    Shutdown(relay);
  }
  StartWatcher(relay.serverEndpoint);  // without a watcher nothing is ever received; nothing to report
  relay.log.Line(texts::kServerStartedFormat, port);
}

}  // namespace

void RunRelay(Relay& relay) {
  LoadSettings(relay);
  CreateMainWindow(relay);
  StartServer(relay);
  relay.desktop.AnnounceStart();  // clients of an earlier relay pair again
  for (;;) {
    if (relay.desktop.PollWindowEvent()) Shutdown(relay);
    ReceiveLoop(relay);
    // Datagrams left over after a full batch are taken in the next turn at
    // once. Otherwise sleep until there is something to do: a message for
    // the window (a client's, sent or posted) or a datagram flagged by the
    // watcher. No time limit: the wait ends on either, and on nothing else.
    if (!DatagramsFlagged(relay.serverEndpoint)) {
      // Idle: the log file is up to date whenever the relay waits.
      relay.log.Flush();
      relay.desktop.WaitForWork(ReadinessHandle(relay.serverEndpoint));
    }
  }
}

}  // namespace quorvel
