// The peer protocol: receiving and handling partners' datagrams (logins,
// replies, texts), and sending clients' texts to partners.

#include "relay/peer_protocol.h"

#include <limits>
#include <memory>
#include <new>

#include "base/byte_order.h"
#include "net/udp_transport.h"
#include "relay/client_notifications.h"
#include "relay/datagram.h"
#include "relay/operator_texts.h"
#include "relay/relay.h"

namespace quorvel {

namespace {

long InKb(std::int64_t size) { return static_cast<long>(size / 1024); }

// ---- Receiving

bool GrowReceiveBuffer(Relay& relay) {
  if (!relay.receiveBuffer.Grow()) return false;
  relay.log.Line(texts::kBufferResize);
  relay.log.OpenGroup();
  relay.log.Line(texts::kBufferResizedFormat, InKb(relay.receiveBuffer.size()));
  relay.log.CloseGroup();
  return true;
}

void LogGrowthRefused(Relay& relay) {
  relay.log.Line(texts::kBufferResize);
  relay.log.OpenGroup();
  relay.log.Line(texts::kBufferNotResizedFormat, InKb(relay.receiveBuffer.NextSize()));
  relay.log.CloseGroup();
}

// Grows the buffer step by step until a datagram of `length` bytes fits.
bool MakeRoomFor(Relay& relay, std::int32_t length) {
  while (relay.receiveBuffer.capacity() < length) {
    if (!GrowReceiveBuffer(relay)) return false;
  }
  return true;
}

void DropDatagram(Relay& relay, std::int32_t length) {
  relay.log.Line(texts::kBufferResize);
  relay.log.OpenGroup();
  relay.log.Line(texts::kBufferNotResizedFormat, InKb(relay.receiveBuffer.NextSize()));
  relay.log.Line(texts::kDatagramDroppedFormat, static_cast<long>(length));
  relay.log.CloseGroup();
}

// ---- Logins from partners

void Refuse(Relay& relay, DatagramType type) {
  if (type != DatagramType::LoginFailed) {
    const ReplyDatagram reply = BuildReply(DatagramType::LoginFailed);
    SendDatagramTo(relay.serverEndpoint, EndpointPeer(relay.serverEndpoint), reply.data(), kReplyLength);
  }
  relay.log.Line(texts::kLoginRefused);
}

// ---- Datagrams from logged-in partners

void Reply(VirtualServer& entry, DatagramType type) {
  const ReplyDatagram reply = BuildReply(type);
  SendDatagram(entry.partnerEndpoint, reply.data(), kReplyLength);
}

// The text is shown up to its first zero byte; the window gets all of it.
void ForwardText(Relay& relay, const std::uint8_t* text, std::int32_t length, const VirtualServer& entry) {
  relay.log.Line(texts::kTextReceived);
  relay.log.Line(texts::kTextFollowsReceived);
  relay.log.Text(text, length);
  relay.log.Line(texts::kTextForwardedFormat, HandleNumber(entry.clientWindow));
  // Group hand-off: the datagram's group, opened in DispatchDatagram, ends
  // here, before the hand-over, so that what clients log while the window
  // handles the text does not land in it. DispatchDatagram's own CloseGroup
  // then ends whatever older group is still open, if any.
  relay.log.CloseGroup();
  NotifyClientData(relay, entry.clientWindow, text, length);
}

// ---- Sending clients' texts

// Builds the Text datagram in a block of its own and sends it. False when
// no memory for the block could be had (a datagram length must also fit in
// 32 bits); nothing is sent then.
bool SendTextDatagram(UdpEndpoint& endpoint, const std::uint8_t* data, std::int32_t length) {
  if (length == std::numeric_limits<std::int32_t>::max()) return false;
  const std::int32_t size = TextDatagramLength(length);
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
  if (!block) return false;
  WriteTextDatagram(block.get(), data, length);
  SendDatagram(endpoint, block.get(), size);
  return true;
}

}  // namespace

void ReceiveLoop(Relay& relay) {
  for (std::int32_t taken = 0; taken < kDatagramsPerTurn; ++taken) {
    const std::int32_t flagged = FlaggedDatagramSize(relay.serverEndpoint);
    if (flagged < 0) return;  // nothing (left): the watcher has the socket again
    const bool fits = flagged == 0 || MakeRoomFor(relay, flagged);

    std::uint8_t noBuffer = 0;  // the platform gets a valid address even without a buffer
    std::uint8_t* into = relay.receiveBuffer.data() != nullptr ? relay.receiveBuffer.data() : &noBuffer;
    const std::int32_t received = ReceiveDatagram(relay.serverEndpoint, into, relay.receiveBuffer.capacity());

    if (received == 0) continue;  // an empty datagram: nothing to handle
    if (!fits) {
      // No room could be made: the datagram was taken (and lost, as it did
      // not fit) so that the next one is not held up behind it.
      DropDatagram(relay, flagged);
      continue;
    }
    if (received < 0) {
      // The datagram changed under us (or the receive failed otherwise): it
      // is lost, and the buffer grows for the next one.
      if (!GrowReceiveBuffer(relay)) LogGrowthRefused(relay);
      continue;
    }
    DispatchDatagram(relay, received);
  }
}

void DispatchDatagram(Relay& relay, std::int32_t length) {
  relay.log.Line(texts::kReceiveEvent);
  relay.log.OpenGroup();
  const PeerAddress sender = EndpointPeer(relay.serverEndpoint);
  const std::uint8_t* datagram = relay.receiveBuffer.data();
  if (VirtualServer* entry = relay.table.FindByLoginSource(sender)) {
    HandlePeerDatagram(relay, datagram, length, *entry);
  } else {
    AcceptLogin(relay, datagram + 1, length - 1);
  }
  relay.log.CloseGroup();
}

void AcceptLogin(Relay& relay, const std::uint8_t* bytes, std::int32_t count) {
  const DatagramType type = TypeOf(bytes[-1]);
  if (!IsLoginCandidate(type, count)) {
    Refuse(relay, type);
    return;
  }

  const std::int32_t name = ReadNameId(bytes);
  const std::uint32_t sender = EndpointAddress(relay.serverEndpoint);
  const auto ip = AddressParts(sender);
  relay.log.Line(texts::kLogin);
  relay.log.Line(texts::kLoginIpFormat, ip[0], ip[1], ip[2], ip[3]);
  relay.log.Line(texts::kLoginNameFormat, static_cast<long>(name));

  VirtualServer* entry = relay.table.FindLoginCandidate(name, sender);
  if (entry == nullptr) {
    Refuse(relay, type);
    return;
  }

  entry->loginSource = EndpointPeer(relay.serverEndpoint);
  relay.log.Line(texts::kLoginAccepted);
  const ReplyDatagram reply = BuildReply(DatagramType::LoginOk);
  SendDatagram(entry->partnerEndpoint, reply.data(), kReplyLength);
}

void HandlePeerDatagram(Relay& relay, const std::uint8_t* datagram, std::int32_t length, VirtualServer& entry) {
  relay.table.MakeCurrent(&entry);
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
      ForwardText(relay, datagram + 1, length - 1, entry);
      break;
    default:  // codes without a meaning
      break;
  }
}

void SendClientData(Relay& relay, ProcessHandle process, const std::uint8_t* data, std::int32_t length) {
  VirtualServer* entry = relay.table.FindByClientProcess(process);
  if (entry == nullptr || length < 0) return;
  ++entry->lastTextNumber;  // the client counts the same way

  const bool built = SendTextDatagram(entry->partnerEndpoint, data, length);

  relay.log.Line(texts::kSendEvent);
  relay.log.OpenGroup();
  // Where the data come from: the client, named by its process handle as in
  // the lines of its announcement and of its messages.
  relay.log.Line(texts::kSendingDataFromFormat, HandleNumber(process));
  if (built) {
    relay.log.Line(texts::kDataFollows);
    relay.log.Text(data, length);
  } else {
    relay.log.Line(texts::kNoMemoryForDatagram);
  }
  relay.log.CloseGroup();
}

}  // namespace quorvel
