#include "core/startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "client/client_window_callback.h"
#include "core/load_settings.h"
#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/receive_loop.h"
#include "ui/window_events.h"

namespace quorvel {
namespace {

void CreateMainWindow(Relay& relay) {
  const Desktop::MainWindow created = relay.desktop.CreateMainWindow(relay.Debugging());
  relay.mainWindow = created.window;
  if (relay.Debugging()) {
    relay.log.AttachView(created.logView);
    char line[96];
    std::snprintf(line, sizeof line, texts::kWindowCreatedFormat, HandleNumber(created.window));
    relay.log.AppendLine(line);
  }
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
  if (StartNetwork() == 0) {
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
  if (relay.Debugging()) {
    char line[64];
    std::snprintf(line, sizeof line, texts::kServerStartedFormat, port);
    relay.log.AppendLine(line);
  }
}

}  // namespace

void RunRelay(Relay& relay) {
  LoadSettings(relay);
  CreateMainWindow(relay);
  StartServer(relay);
  for (;;) {
    if (relay.desktop.PollWindowEvent() == CloseEvent) Shutdown(relay);
    ReceiveLoop(relay);
    // Datagrams left over after a full batch are taken in the next turn at
    // once. Otherwise sleep until there is something to do: a message for
    // the window (a client's, sent or posted) or a datagram flagged by the
    // watcher. No time limit: the wait ends on either, and on nothing else.
    if (!DatagramsFlagged(relay.serverEndpoint)) {
      relay.desktop.WaitForWork(ReadinessHandle(relay.serverEndpoint));
    }
  }
}

void Shutdown(Relay& relay) {
  // The settings file was closed when the settings were read; the sockets,
  // the watcher and the client processes are left to the end of the process.
  relay.desktop.DestroyMainWindow();
  relay.desktop.EndProcess();
  // Not reached: EndProcess ends the process. The compiler cannot see that
  // through the virtual call, and the end path must never return.
  std::_Exit(0);
}

}  // namespace quorvel
