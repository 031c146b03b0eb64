// Datagram endpoints over the platform's sockets: opening, sending, and the
// main thread's half of the hand-over with the readiness watcher.

#include "net/udp_transport.h"

#include "base/byte_order.h"
#include "net/readiness_watcher.h"
#include "net/socket_platform.h"

namespace quorvel {

namespace {

constexpr std::uint16_t kAddressFamilyIpv4 = 2;

std::uint16_t PortArgument(std::int32_t port) { return PortToNetworkOrder(static_cast<std::uint16_t>(port)); }

}  // namespace

UdpEndpoint::UdpEndpoint() = default;

UdpEndpoint::~UdpEndpoint() {
  watcherThread.reset();
  if (socketHandle != 0) socket_platform::CloseSocket(socketHandle);
}

bool StartNetwork() { return socket_platform::StartSocketLibrary() == 0; }

void StopNetwork() { socket_platform::StopSocketLibrary(); }

std::uint32_t ResolveHost(const char* host) {
  if (host == nullptr) return kUnresolvableAddress;
  const std::uint32_t dotted = socket_platform::ParseDottedAddress(host);
  if (dotted != kUnresolvableAddress) return dotted;
  std::uint32_t first = 0;
  return socket_platform::LookUpHost(host, first) ? first : kUnresolvableAddress;
}

SocketHandle OpenServerEndpoint(UdpEndpoint& endpoint, std::int32_t port) {
  endpoint.socketHandle = 0;
  endpoint.address.sin_family = kAddressFamilyIpv4;
  endpoint.address.sin_port = PortArgument(port);
  // sin_addr stays as it is: 0 in a fresh endpoint, every local interface.
  const SocketHandle socket = socket_platform::OpenDatagramSocket();
  if (socket == 0) return 0;
  if (!socket_platform::BindSocket(socket, endpoint.address)) {
    socket_platform::CloseSocket(socket);
    return 0;
  }
  // A smaller queue than asked for still serves; nothing to report.
  socket_platform::RequestReceiveQueue(socket, kServerReceiveQueue);
  endpoint.socketHandle = socket;
  return socket;
}

SocketHandle OpenClientEndpoint(UdpEndpoint& endpoint, const char* host, std::int32_t port) {
  endpoint.socketHandle = 0;
  endpoint.address.sin_family = kAddressFamilyIpv4;
  endpoint.address.sin_port = PortArgument(port);
  // Kept whatever it is; sends toward 255.255.255.255 are refused by the
  // platform, as no socket here may broadcast.
  endpoint.address.sin_addr = ResolveHost(host);
  const SocketHandle socket = socket_platform::OpenDatagramSocket();
  endpoint.socketHandle = socket;
  return socket;
}

void CloseEndpoint(UdpEndpoint& endpoint) {
  // The socket must not go while a watcher still looks at it.
  StopWatcher(endpoint);
  socket_platform::CloseSocket(endpoint.socketHandle);
  endpoint.socketHandle = 0;
}

void SendDatagram(UdpEndpoint& endpoint, const void* data, std::int32_t length) {
  socket_platform::SendTo(endpoint.socketHandle, data, length, endpoint.address);
}

void SendDatagramTo(UdpEndpoint& endpoint, const PeerAddress& peer, const void* data, std::int32_t length) {
  endpoint.address.sin_port = peer.peerPort;
  endpoint.address.sin_addr = peer.peerIp;
  SendDatagram(endpoint, data, length);
}

bool DatagramsFlagged(const UdpEndpoint& endpoint) {
  return endpoint.watcherThread && endpoint.dataReady.load() != 0;
}

std::int32_t FlaggedDatagramSize(UdpEndpoint& endpoint) {
  if (!DatagramsFlagged(endpoint)) return -1;
  const std::int32_t size = socket_platform::QueuedDatagramSize(endpoint.socketHandle);
  if (size < 0) endpoint.watcherThread->HandBack();
  return size;
}

std::int32_t ReceiveDatagram(UdpEndpoint& endpoint, void* buffer, std::int32_t size) {
  if (!DatagramsFlagged(endpoint)) return 0;
  return socket_platform::ReceiveFrom(endpoint.socketHandle, buffer, size, endpoint.address);
}

std::intptr_t ReadinessHandle(const UdpEndpoint& endpoint) {
  return endpoint.watcherThread ? endpoint.watcherThread->readiness() : 0;
}

std::uint32_t EndpointAddress(const UdpEndpoint& endpoint) { return endpoint.address.sin_addr; }

PeerAddress EndpointPeer(const UdpEndpoint& endpoint) {
  return PeerAddress{endpoint.address.sin_port, endpoint.address.sin_addr};
}

bool StartWatcher(UdpEndpoint& endpoint) {
  if (endpoint.watcherThread) return true;
  auto watcher = std::make_unique<ReadinessWatcher>(endpoint);
  if (!watcher->Start()) return false;
  endpoint.watcherThread = std::move(watcher);
  return true;
}

void StopWatcher(UdpEndpoint& endpoint) {
  endpoint.watcherThread.reset();  // ends the thread and waits for it
}

}  // namespace quorvel
