#include "client/notifications.h"

#include "client/window_messages.h"

namespace quorvel {

void NotifyLinkUp(Relay& relay, WindowHandle clientWindow) {
  relay.clients.SendMessageA(clientWindow, ProcessIdMessage, 0,
                             static_cast<std::intptr_t>(relay.clients.CurrentProcessId()));
}

void NotifyClientData(Relay& relay, WindowHandle clientWindow, const std::uint8_t* text, std::int32_t length) {
  relay.clients.SendMessageA(clientWindow, DataMessage, reinterpret_cast<std::uintptr_t>(text), length);
}

}  // namespace quorvel
