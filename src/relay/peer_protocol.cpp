// The peer protocol: receiving and handling partners' datagrams (logins,
// replies, texts), and sending clients' texts to partners.

#include "relay/peer_protocol.h"

#include "base/byte_order.h"
#include "log/log_event.h"
#include "net/udp_transport.h"
#include "relay/client_notifications.h"
#include "relay/datagram.h"
#include "relay/login_choice.h"
#include "relay/operator_texts.h"
#include "relay/pairing_delivery.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

long InKb(std::int64_t size) { return static_cast<long>(size / 1024); }

// ---- Receiving

// One step of growth for a datagram of `length` bytes: the buffer grew, or
// it could not, and the datagram is dropped.
void LogBufferResize(Relay& relay, bool grown, std::int32_t length) {
  const LogEvent event(relay.log, texts::kBufferResize);
  if (grown) {
    relay.log.Line(texts::kBufferResizedFormat, InKb(relay.receiveBuffer.size()));
    return;
  }
  relay.log.Line(texts::kBufferNotResizedFormat, InKb(relay.receiveBuffer.NextSize()));
  relay.log.Line(texts::kDatagramDroppedFormat, static_cast<long>(length));
}

// Grows the buffer step by step until a datagram of `length` bytes fits;
// false when it cannot grow, and the datagram is lost.
bool MakeRoomFor(Relay& relay, std::int32_t length) {
  while (relay.receiveBuffer.capacity() < length) {
    const bool grown = relay.receiveBuffer.Grow();
    LogBufferResize(relay, grown, length);
    if (!grown) return false;
  }
  return true;
}

// ---- Logins from partners

void Refuse(Relay& relay, DatagramType type, const PeerAddress& sender) {
  if (type != DatagramType::LoginFailed) {
    const ReplyDatagram reply = BuildReply(DatagramType::LoginFailed);
    SendDatagramTo(relay.serverEndpoint, sender, reply.data(), kReplyLength);
  }
  relay.log.Line(texts::kLoginRefused);
}

// ---- Datagrams from logged-in partners

void Reply(VirtualServer& entry, DatagramType type) {
  SendFromPairing(entry, BuildReply(type), SteadyMilliseconds());
}

// The text is shown up to its first zero byte; the window gets all of it.
void ForwardText(Relay& relay, const std::uint8_t* text, std::int32_t length, const VirtualServer& entry,
                 LogEvent& event) {
  relay.log.Line(texts::kTextReceived);
  relay.log.Line(texts::kTextFollowsReceived);
  relay.log.Text(text, length);
  relay.log.Line(texts::kTextForwardedFormat, HandleNumber(entry.clientWindow));
  // What clients log while the window handles the text is not the datagram's.
  event.End();
  NotifyClientData(relay, entry.clientWindow, text, length);
}

}  // namespace

bool ReceiveLoop(Relay& relay) {
  for (std::int32_t taken = 0; taken < kDatagramsPerTurn; ++taken) {
    PeerAddress from;
    const std::int32_t length =
        ReceiveDatagram(relay.serverEndpoint, relay.receiveBuffer.intake(), ReceiveBuffer::kIntakeSize, from);
    if (length == socket_platform::kNothingQueued) return false;
    // An empty datagram has nothing to handle, a failed receive took none,
    // and one that the buffer cannot grow for is lost.
    if (length <= 0 || !MakeRoomFor(relay, length)) continue;
    DispatchDatagram(relay, relay.receiveBuffer.TakeFromIntake(length), from);
  }
  return true;
}

void DispatchDatagram(Relay& relay, std::span<const std::uint8_t> datagram, const PeerAddress& from) {
  LogEvent event(relay.log, texts::kReceiveEvent);
  if (VirtualServer* entry = relay.table.FindByLoginSource(from)) {
    HandlePeerDatagram(relay, datagram, *entry, event);
  } else {
    AcceptLogin(relay, datagram, from);
  }
}

void AcceptLogin(Relay& relay, std::span<const std::uint8_t> datagram, const PeerAddress& from) {
  const DatagramType type = TypeOf(datagram[0]);
  const auto count = static_cast<std::int32_t>(datagram.size() - 1);
  if (!IsLoginCandidate(type, count)) {
    Refuse(relay, type, from);
    return;
  }

  const std::int32_t name = ReadNameId(datagram.data() + 1);
  const auto ip = AddressParts(from.peerIp);
  relay.log.Line(texts::kLogin);
  relay.log.Line(texts::kLoginIpFormat, ip[0], ip[1], ip[2], ip[3]);
  relay.log.Line(texts::kLoginNameFormat, static_cast<long>(name));

  const LoginChoice choice = ChooseLoginPairing(relay.table, name, from);
  // The next client's entry goes behind where this lookup stops, as after
  // every lookup: at the chosen pairing, or at the end.
  relay.table.FindFirst([&choice](const VirtualServer& entry) { return &entry == choice.entry; });
  if (choice.outcome == LoginOutcome::Refused) {
    Refuse(relay, type, from);
    return;
  }
  VirtualServer& entry = *choice.entry;
  if (choice.outcome == LoginOutcome::AlreadyLoggedIn) {  // the dispatch hands those to the entry itself
    Reply(entry, DatagramType::AlreadyLoggedIn);
    return;
  }
  // A partner that restarted logs in from a new port; the old one is a
  // stranger from now on.
  const bool anew = choice.outcome == LoginOutcome::Rebound;
  if (anew) relay.log.Line(texts::kPartnerLoggedInAnewFormat, static_cast<long>(PortFromNetworkOrder(from.peerPort)));
  BindPartner(entry, from, relay.loginsAccepted);
  relay.log.Line(texts::kLoginAccepted);
  Reply(entry, DatagramType::LoginOk);
  ResumeWithPartner(relay, entry, anew, SteadyMilliseconds());
}

void ReceiveOnPairings(Relay& relay) {
  for (VirtualServer& entry : relay.table) {
    if (entry.partnerEndpoint.socketHandle != 0) ReceiveOnPairing(relay, entry);
  }
}

void HandlePeerDatagram(Relay& relay, std::span<const std::uint8_t> datagram, VirtualServer& entry,
                        LogEvent& event) {
  relay.log.Line(texts::kTextFromFormat, static_cast<long>(entry.nameId));

  switch (TypeOf(datagram[0])) {
    case DatagramType::Logout:
      relay.log.Line(texts::kLogoutReceived);
      break;
    case DatagramType::Login:
      relay.log.Line(texts::kLoginRepeated);
      Reply(entry, DatagramType::AlreadyLoggedIn);
      break;
    case DatagramType::LoginOk:
      relay.log.Line(texts::kLoginOkReceived);
      break;
    case DatagramType::LoginFailed:
      relay.log.Line(texts::kLoginFailedReceived);
      break;
    case DatagramType::AlreadyLoggedIn:
      relay.log.Line(texts::kAlreadyLoggedInReceived);
      break;
    case DatagramType::Ping:
      relay.log.Line(texts::kPingReceived);
      Reply(entry, DatagramType::Alive);
      break;
    case DatagramType::Alive:
      relay.log.Line(texts::kAliveReceived);
      break;
    case DatagramType::Text:
      ForwardText(relay, datagram.data() + 1, static_cast<std::int32_t>(datagram.size() - 1), entry, event);
      break;
    default:  // codes without a meaning
      break;
  }
}

void SendClientData(Relay& relay, VirtualServer& sender, const std::uint8_t* data, std::int32_t length) {
  if (length < 0) return;
  ReceiveOnPairing(relay, sender);  // what the partner said meanwhile decides where the text goes

  const LogEvent event(relay.log, texts::kSendEvent);
  // Where the data come from: the client, named by its process handle as in
  // the lines of its announcement and of its messages.
  relay.log.Line(texts::kSendingDataFromFormat, HandleNumber(sender.clientProcess));
  const std::span<const std::uint8_t> text(data, static_cast<std::size_t>(length));
  switch (DeliverText(relay, sender, text, SteadyMilliseconds())) {
    case TextFate::Sent:
      relay.log.Line(texts::kDataFollows);
      relay.log.Text(data, length);
      break;
    case TextFate::NoMemory:
      relay.log.Line(texts::kNoMemoryForDatagram);
      break;
    case TextFate::Waiting:  // the outbox has said so
      break;
  }
}

}  // namespace quorvel
