#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace quorvel {

// A platform socket handle; 0 = no socket.
using SocketHandle = std::intptr_t;

// An IPv4 socket address with port and address in network byte order, as the
// platform's sockaddr_in holds them.
struct SocketAddress {
  std::uint16_t sin_family = 0;
  std::uint16_t sin_port = 0;  // network order
  std::uint32_t sin_addr = 0;  // network order
};

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

}  // namespace quorvel
