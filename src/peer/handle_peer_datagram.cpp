#include "peer/handle_peer_datagram.h"

#include <cstring>
#include <string>

#include "client/notifications.h"
#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/datagram.h"
#include "peer/peer_log.h"

namespace quorvel {

namespace {

void Reply(VirtualServer& entry, DatagramType type) {
  const ReplyDatagram reply = BuildReply(type);
  SendDatagram(entry.partnerEndpoint, reply.data(), kReplyLength);
}

void Note(Relay& relay, const char* line) {
  if (relay.Debugging()) relay.log.AppendLine(line);
}

// The text is shown up to its first zero byte; the window gets all of it.
void ForwardText(Relay& relay, const std::uint8_t* text, std::int32_t length, VirtualServer& entry) {
  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kTextReceived);
    relay.log.AppendLine(texts::kTextFollowsReceived);
    const auto* zero = static_cast<const std::uint8_t*>(std::memchr(text, 0, static_cast<std::size_t>(length)));
    const std::string shown(reinterpret_cast<const char*>(text),
                            zero != nullptr ? static_cast<std::size_t>(zero - text) : static_cast<std::size_t>(length));
    relay.log.AppendLine(shown.c_str());
    // A window handle has 32 significant bits; it is shown as that signed number.
    AppendNumberLine(relay.log, texts::kTextForwardedFormat, HandleNumber(entry.clientWindow));
    // The datagram's group ends before the hand-over, so that what clients
    // log while the window handles the text does not land in it.
    relay.log.CloseGroup();
  }
  NotifyClientData(relay, entry.clientWindow, text, length);
}

}  // namespace

void HandlePeerDatagram(Relay& relay, const std::uint8_t* datagram, std::int32_t length, VirtualServer& entry) {
  relay.table.MakeCurrent(&entry);
  if (relay.Debugging()) AppendNumberLine(relay.log, texts::kTextFromFormat, entry.nameId);

  switch (TypeOf(datagram[0])) {
    case DatagramType::Logout:
      Note(relay, texts::kLogoutReceived);
      break;
    case DatagramType::Login:
      Note(relay, texts::kLoginRepeated);
      Reply(entry, DatagramType::AlreadyLoggedIn);
      break;
    case DatagramType::LoginOk:
      Note(relay, texts::kLoginOkReceived);
      break;
    case DatagramType::LoginFailed:
      Note(relay, texts::kLoginFailedReceived);
      break;
    case DatagramType::AlreadyLoggedIn:
      Note(relay, texts::kAlreadyLoggedInReceived);
      break;
    case DatagramType::Ping:
      Note(relay, texts::kPingReceived);
      Reply(entry, DatagramType::Alive);
      break;
    case DatagramType::Alive:
      Note(relay, texts::kAliveReceived);
      break;
    case DatagramType::Text:
      ForwardText(relay, datagram + 1, length - 1, entry);
      break;
    default:  // codes without a meaning
      break;
  }
}

}  // namespace quorvel
