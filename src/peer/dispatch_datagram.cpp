#include "peer/dispatch_datagram.h"

#include "core/operator_texts.h"
#include "net/udp_transport.h"
#include "peer/accept_login.h"
#include "peer/handle_peer_datagram.h"

namespace quorvel {

void DispatchDatagram(Relay& relay, std::int32_t length) {
  if (relay.Debugging()) {
    relay.log.AppendLine(texts::kReceiveEvent);
    relay.log.OpenGroup();
  }
  PeerAddress sender;
  GetPeerAddress(relay.serverEndpoint, sender);
  const std::uint8_t* datagram = relay.receiveBuffer.data();
  if (VirtualServer* entry = relay.table.FindByLoginSource(sender)) {
    HandlePeerDatagram(relay, datagram, length, *entry);
  } else {
    AcceptLogin(relay, datagram + 1, length - 1);
  }
  // For a Text the handler has closed the group already; this second close
  // then ends whatever older group is still open, if any.
  if (relay.Debugging()) relay.log.CloseGroup();
}

}  // namespace quorvel
