// The two things the relay tells a client window: the link is up, and a
// partner's text has come.

#include "relay/client_notifications.h"

#include "quorvel_wire.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

// One bounded send. An answer means the window's thread has finished with
// every notification sent to it before, so what was held for it is let go.
Delivery Notify(Relay& relay, WindowHandle clientWindow, std::uint32_t message, std::uintptr_t wParam,
                std::intptr_t lParam) {
  const NotificationResult result =
      relay.clients.NotifyWindow(clientWindow, message, wParam, lParam, kNotificationLimitMs);
  if (result.delivery == Delivery::Answered) {
    if (relay.receiveBuffer.ReleaseHeld(clientWindow)) {
      relay.log.Line(texts::kAnswersAgainFormat, HandleNumber(clientWindow));
    }
  } else if (relay.log.active() && relay.clients.WindowOwner(clientWindow) != 0) {
    // A window that does not exist (or none at all) has nothing to say.
    relay.log.Line(texts::kNoAnswerFormat, HandleNumber(clientWindow));
  }
  return result.delivery;
}

}  // namespace

void NotifyTextReport(Relay& relay, const VirtualServer& entry, TextReport report, std::uint32_t textNumber) {
  if (!entry.reportsWanted) return;
  Notify(relay, entry.clientWindow, QV_REPORT_MESSAGE, static_cast<std::uintptr_t>(report),
         static_cast<std::intptr_t>(textNumber));
}

void NotifyLinkUp(Relay& relay, WindowHandle clientWindow) {
  Notify(relay, clientWindow, QV_PROCESS_ID_MESSAGE, 0, static_cast<std::intptr_t>(relay.clients.RelayProcessId()));
}

void NotifyClientData(Relay& relay, WindowHandle clientWindow, const std::uint8_t* text, std::int32_t length) {
  // Only a window that may have taken the message can still read the text.
  const Delivery delivery =
      Notify(relay, clientWindow, QV_DATA_MESSAGE, reinterpret_cast<std::uintptr_t>(text), length);
  if (delivery == Delivery::NoAnswer && relay.receiveBuffer.Holds(text)) relay.receiveBuffer.HoldFor(clientWindow);
}

}  // namespace quorvel
