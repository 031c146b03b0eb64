#include "client/notifications.h"

#include <utility>

#include "client/window_messages.h"
#include "core/operator_texts.h"
#include "peer/peer_log.h"

namespace quorvel {

namespace {

// One bounded send. An answer means the window's thread has finished with
// every notification sent to it before, so what was held for it is let go.
Delivery Notify(Relay& relay, WindowHandle clientWindow, std::uint32_t message, std::uintptr_t wParam,
                std::intptr_t lParam) {
  const NotificationResult result =
      relay.clients.SendMessageTimeoutA(clientWindow, message, wParam, lParam, kNotificationLimitMs);
  if (result.delivery == Delivery::Answered) {
    if (relay.heldReceiveBuffers.Release(clientWindow) && relay.Debugging()) {
      AppendNumberLine(relay.log, texts::kAnswersAgainFormat, HandleNumber(clientWindow));
    }
  } else if (relay.Debugging() && relay.clients.WindowProcessId(clientWindow) != 0) {
    // A window that does not exist (or none at all) has nothing to say.
    AppendNumberLine(relay.log, texts::kNoAnswerFormat, HandleNumber(clientWindow));
  }
  return result.delivery;
}

bool InReceiveBuffer(const Relay& relay, const std::uint8_t* text) {
  const std::uint8_t* start = relay.receiveBuffer.data();
  return start != nullptr && text >= start && text <= start + relay.receiveBuffer.size();
}

// The window may still read the text: its buffer stays as it is, held for
// the window, and the relay goes on with a fresh one of the same size.
// Without memory for a fresh one the relay keeps receiving into this one.
void HoldReceiveBuffer(Relay& relay, WindowHandle clientWindow) {
  ByteBuffer fresh;
  if (!fresh.Reallocate(relay.receiveBuffer.size())) return;
  relay.heldReceiveBuffers.Hold(clientWindow, std::exchange(relay.receiveBuffer, std::move(fresh)));
}

}  // namespace

void NotifyLinkUp(Relay& relay, WindowHandle clientWindow) {
  Notify(relay, clientWindow, ProcessIdMessage, 0, static_cast<std::intptr_t>(relay.clients.CurrentProcessId()));
}

void NotifyClientData(Relay& relay, WindowHandle clientWindow, const std::uint8_t* text, std::int32_t length) {
  // Only a window that may have taken the message can still read the text.
  const Delivery delivery = Notify(relay, clientWindow, DataMessage, reinterpret_cast<std::uintptr_t>(text), length);
  if (delivery == Delivery::NoAnswer && InReceiveBuffer(relay, text)) HoldReceiveBuffer(relay, clientWindow);
}

}  // namespace quorvel
