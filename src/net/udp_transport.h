#pragma once

// Datagram endpoints over the platform's sockets: opening, sending,
// receiving with the sender, and what the main loop waits on for datagrams.

#include <cstdint>
#include <span>
#include <vector>

#include "base/handles.h"
#include "net/socket_platform.h"

namespace quorvel {

// What an IPv4 address that cannot be resolved is taken as. It is the
// broadcast address, to which no socket here may send.
inline constexpr std::uint32_t kUnresolvableAddress = 0xFFFFFFFFu;

// The compact key of a remote party: port and IPv4, both in network order.
struct PeerAddress {
  std::uint16_t peerPort = 0;
  std::uint32_t peerIp = 0;
  friend bool operator==(const PeerAddress&, const PeerAddress&) = default;
};

// One datagram socket and the address it was opened with: the local address
// bound to (server) or the destination of its sends (client).
struct UdpEndpoint {
  UdpEndpoint() = default;
  ~UdpEndpoint();  // closes the socket
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  SocketAddress address;
  SocketHandle socketHandle = 0;
};

// Starts the sockets library; false when it could not be started.
bool StartNetwork();
void StopNetwork();

// Dotted IPv4 or host name -> IPv4 in network order; kUnresolvableAddress
// when it cannot be resolved. Only the first address of a name counts.
std::uint32_t ResolveHost(const char* host);

// Binds a socket to `port` (low 16 bits) on every local IPv4 address and
// asks for a receive queue of kServerReceiveQueue bytes (keeping whatever
// the platform grants). Returns the socket, or 0 (and socketHandle stays 0).
SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port);
// A send-only socket toward (ResolveHost(host), port); never bound.
SocketHandle OpenClientEndpoint(UdpEndpoint& endpoint, const char* host, std::int32_t port);
void CloseEndpoint(UdpEndpoint& endpoint);

// Hands one datagram to the platform toward the endpoint's address; a send
// the platform refuses is not reported: datagrams may be lost anyway.
void SendDatagram(const UdpEndpoint& endpoint, const void* data, std::int32_t length);
// As SendDatagram, to `peer` instead.
void SendDatagramTo(const UdpEndpoint& endpoint, const PeerAddress& peer, const void* data, std::int32_t length);

// The receive queue asked for on the server socket: bursts (and the time an
// error box is open) ride it out. Windows' default is far smaller.
inline constexpr std::int32_t kServerReceiveQueue = 1 << 20;

// Takes the datagram at the head of a watched endpoint's queue, without
// waiting: its length (0 for an empty one), its sender in `from`; or
// socket_platform::kNothingQueued, or kReceiveFailed or kPortClosed (nothing
// taken, but more may be queued: a datagram longer than `size` is lost, or
// an earlier send found its port closed).
std::int32_t ReceiveDatagram(const UdpEndpoint& endpoint, void* buffer, std::int32_t size, PeerAddress& from);

// What the main loop's one wait watches for datagrams: the server endpoint
// first, then the pairings' endpoints. On Windows the pairings' sockets
// share one event of their own, however many there are.
class DatagramWait {
 public:
  // From now on a datagram queued on the server endpoint's socket ends the
  // main loop's wait, and receives from it never wait. False, with nothing
  // changed, when the platform refused.
  bool Watch(const UdpEndpoint& endpoint);
  // The same for a pairing's endpoint; the server's comes first.
  bool WatchPairing(const UdpEndpoint& endpoint);
  // A pairing's endpoint leaves the wait, before its socket is closed.
  void Unwatch(const UdpEndpoint& endpoint);
  // The platform's handles to wait on (Desktop::WaitForWork).
  std::span<const std::intptr_t> handles() const { return handles_; }
  // Whether the wait that ended on handle `woke` ended for the server's
  // endpoint, or for a pairing's.
  bool IsServer(std::size_t woke) const { return woke == 0 && !handles_.empty(); }
  bool IsPairing(std::size_t woke) const { return woke >= 1 && woke < handles_.size(); }

 private:
  std::vector<std::intptr_t> handles_;
};

}  // namespace quorvel
