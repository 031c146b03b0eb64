// Bringing the relay up (settings, main window, server) and its main loop:
// window events and partners' datagrams, one wait for both.

#include "app/run_relay.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>

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

// Opens the network and the server endpoint, whose datagrams end the main
// loop's wait. Each failure, and a port that is not one, is shown to the
// operator and ends the relay.
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
  // Without it the relay could never receive: the network cannot be used.
  if (!relay.datagramWait.Watch(relay.serverEndpoint)) {
    relay.desktop.ErrorBox(texts::kErrorCaption, texts::kNetworkStartFailed);
    Shutdown(relay);
  }
  relay.log.Line(texts::kServerStartedFormat, port);
}

// Every way of ending but the client's Quit, which logs its own line: the
// line, then the one end path.
[[noreturn]] void EndRelay(Relay& relay, EndRequest request) {
  switch (request) {
    case EndRequest::EndCommand:
      relay.log.Line(texts::kEndedByIcon);
      break;
    case EndRequest::SessionEnd:
      relay.log.Line(texts::kEndedBySessionEnd);
      break;
    case EndRequest::Close:
    case EndRequest::None:
      relay.log.Line(texts::kEndedByClose);
      break;
  }
  Shutdown(relay);
}

// The icon comes once the relay serves its port: a relay that ends at
// start-up leaves none behind.
void ShowNotificationIcon(Relay& relay) {
  if (!relay.settings.trayIcon) return;
  Desktop::NotificationIcon icon;
  icon.port = relay.settings.port;
  icon.withLog = relay.Debugging();
  icon.logFile = relay.settings.logFile;
  relay.desktop.ShowNotificationIcon(icon);
}

}  // namespace

void ApplySettings(Relay& relay, Settings settings) {
  relay.receiveBuffer.Configure(settings.receiveBufferSize);
  relay.clientDataBuffer.Reallocate(settings.sendBufferSize);  // 0 or less: no buffer yet
  relay.log.Enable(settings.debugging == 1);
  // The tree control slows down as it grows and its items are never freed,
  // so a long run in debug mode keeps only the newest entries.
  relay.log.KeepNewestEntries(settings.debugEntries > 0 ? static_cast<std::size_t>(settings.debugEntries) : 0);
  // The operator's log file, off unless named: it keeps what the debug log
  // would show, debugging on or off, for reading afterwards.
  if (!settings.logFile.empty()) {
    relay.log.WriteToFile(settings.logFile, std::int64_t{settings.logFileSizeKb} * 1024, texts::kLogFileFailedFormat);
  }
  relay.settings = std::move(settings);
}

void RunRelay(Relay& relay) {
  ApplySettings(relay, ReadSettings(texts::kSettingsFile));
  CreateMainWindow(relay);
  // The system may end the process as soon as the window has answered.
  relay.desktop.InstallSessionEndHandler([&relay] { EndRelay(relay, EndRequest::SessionEnd); });
  StartServer(relay);
  relay.desktop.AnnounceStart();  // clients of an earlier relay pair again
  ShowNotificationIcon(relay);
  // A socket is read only when its handle ended the last wait, or when a
  // full batch left datagrams behind, so that a turn woken by a client's
  // message costs no receive. The first turn takes what came before it.
  bool serverWoke = true;
  bool pairingsWoke = false;
  for (;;) {
    if (const EndRequest request = relay.desktop.PollWindowEvent(); request != EndRequest::None) {
      EndRelay(relay, request);
    }
    if (std::exchange(pairingsWoke, false)) ReceiveOnPairings(relay);
    if (serverWoke) serverWoke = ReceiveLoop(relay);
    // Otherwise sleep until there is something to do: a message for the
    // window (a client's, sent or posted) or a datagram. No time limit: the
    // wait ends on either, and on nothing else.
    if (!serverWoke) {
      // Idle: the log file is up to date whenever the relay waits.
      relay.log.Flush();
      const std::size_t woke = relay.desktop.WaitForWork(relay.datagramWait.handles());
      serverWoke = relay.datagramWait.IsServer(woke);
      pairingsWoke = relay.datagramWait.IsPairing(woke);
    }
  }
}

}  // namespace quorvel
