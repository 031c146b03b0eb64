#pragma once

// Datagram endpoints over the platform's sockets: opening, sending, and the
// main thread's half of the hand-over with the readiness watcher.

#include <atomic>
#include <cstdint>
#include <memory>

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

class ReadinessWatcher;

// One datagram socket and what belongs to it. Before a receive `address` is
// the destination (or the local address to bind); after one it holds the
// sender of the datagram just taken.
struct UdpEndpoint {
  UdpEndpoint();
  ~UdpEndpoint();  // stops the watcher and closes the socket
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  SocketAddress address;
  SocketHandle socketHandle = 0;
  std::unique_ptr<ReadinessWatcher> watcherThread;  // null = no watcher
  // 1 = the watcher has seen a waiting datagram and handed the socket to the
  // main thread, which takes what is queued and then lowers it again.
  std::atomic<std::uint32_t> dataReady{0};
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
void SendDatagram(UdpEndpoint& endpoint, const void* data, std::int32_t length);
// As SendDatagram, to `peer`; the endpoint keeps that destination afterwards.
void SendDatagramTo(UdpEndpoint& endpoint, const PeerAddress& peer, const void* data, std::int32_t length);

// The receive queue asked for on the server socket: bursts (and the time an
// error box is open) ride it out. Windows' default is far smaller.
inline constexpr std::int32_t kServerReceiveQueue = 1 << 20;

// The main thread's half of the handshake with the readiness watcher. Once
// the watcher has flagged the endpoint (dataReady 1), the socket is the main
// thread's: it takes datagrams with the two calls below, none of which
// waits, until FlaggedDatagramSize finds nothing left and hands the socket
// back.
//
// Length of the datagram at the head of the queue (0 for an empty one),
// taking nothing. When nothing is left, hands the socket back to the watcher
// and returns -1; -1 also when nothing is flagged.
std::int32_t FlaggedDatagramSize(UdpEndpoint& endpoint);
// Takes the datagram at the head of the queue: its length; 0 = nothing taken
// (nothing flagged) or an empty datagram; -1 = the receive failed (a datagram
// longer than the buffer is lost). The socket stays with the main thread.
std::int32_t ReceiveDatagram(UdpEndpoint& endpoint, void* buffer, std::int32_t size);
// Whether the main thread holds the flagged socket, so that datagrams may be
// waiting for it.
bool DatagramsFlagged(const UdpEndpoint& endpoint);
// What the watcher raises when it flags the endpoint, for the main loop's
// wait (Desktop::WaitForWork); 0 when the endpoint has no watcher.
std::intptr_t ReadinessHandle(const UdpEndpoint& endpoint);

std::uint32_t EndpointAddress(const UdpEndpoint& endpoint);
PeerAddress EndpointPeer(const UdpEndpoint& endpoint);

// The readiness watcher: a thread that raises dataReady (and the readiness
// handle) when a datagram is waiting on the endpoint's socket. True when it
// runs (or already ran); false when the platform refused it.
bool StartWatcher(UdpEndpoint& endpoint);
// Ends the watcher, if any, and waits for it.
void StopWatcher(UdpEndpoint& endpoint);

}  // namespace quorvel
