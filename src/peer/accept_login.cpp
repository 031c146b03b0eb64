#include "peer/accept_login.h"

#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/datagram.h"
#include "peer/peer_log.h"

namespace quorvel {

namespace {

void Refuse(Relay& relay, DatagramType type) {
  if (type != DatagramType::LoginFailed) {
    PeerAddress source;
    GetPeerAddress(relay.serverEndpoint, source);
    const ReplyDatagram reply = BuildReply(DatagramType::LoginFailed);
    SendDatagramTo(relay.serverEndpoint, source, reply.data(), kReplyLength);
  }
  if (relay.Debugging()) relay.log.AppendLine(texts::kLoginRefused);
}

}  // namespace

int AcceptLogin(Relay& relay, const std::uint8_t* bytes, std::int32_t count) {
  const DatagramType type = TypeOf(bytes[-1]);
  if (!IsLoginCandidate(type, count)) {
    Refuse(relay, type);
    return 0;
  }

  const std::int32_t name = ReadNameId(bytes);
  const std::uint32_t sender = EndpointAddress(relay.serverEndpoint);
  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kLogin);
    AppendAddressLine(relay.log, texts::kLoginIpFormat, sender);
    AppendNumberLine(relay.log, texts::kLoginNameFormat, name);
  }

  VirtualServer* entry = relay.table.FindLoginCandidate(name, sender);
  if (entry == nullptr) {
    Refuse(relay, type);
    return 0;
  }

  GetPeerAddress(relay.serverEndpoint, entry->loginSource);
  if (relay.Debugging()) relay.log.AppendLine(texts::kLoginAccepted);
  const ReplyDatagram reply = BuildReply(DatagramType::LoginOk);
  SendDatagram(entry->partnerEndpoint, reply.data(), kReplyLength);
  return 1;
}

}  // namespace quorvel
